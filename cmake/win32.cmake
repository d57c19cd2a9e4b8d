# Flags for the shipped binaries: i386 code, no C runtime DLL, subsystem 4.0,
# fixed base so that Windows 95 loads them without relocations.
set(SHIP_CXX_FLAGS
  -Os -march=i386 -mtune=i686 -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
  -ffunction-sections -fdata-sections -Wall -Wextra -Wno-unused-parameter)
set(SHIP_DEFINES WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0300 NOMINMAX WIN32_LEAN_AND_MEAN)
set(SHIP_LINK_FLAGS
  -nostdlib -Wl,-e,_WinMainCRTStartup -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
  -Wl,--image-base,0x00400000 -Wl,--disable-dynamicbase -Wl,--disable-nxcompat
  -Wl,--disable-reloc-section -Wl,--gc-sections -s)
set(SHIP_LIBS kernel32 user32 advapi32 shell32 gcc)

# Reproducible binaries: the same sources give the same bytes in any folder,
# at any time. ld takes the PE time stamp from SOURCE_DATE_EPOCH at link time
# and computes the checksum after it; the stamp is the one the environment
# gives at configure time, else the commit's, else zero. Resources carry no
# time of their own; paths are mapped away in case code ever names a file.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SHIP_TIMESTAMP "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(SHIP_TIMESTAMP 0)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_failed ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path logs/HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE head_log
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT git_failed AND commit_time MATCHES "^[0-9]+$")
      set(SHIP_TIMESTAMP ${commit_time})
      # A new commit configures again, so its time reaches the binaries.
      if(EXISTS "${head_log}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
      endif()
    endif()
  endif()
endif()
if(NOT SHIP_TIMESTAMP MATCHES "^[0-9]+$" OR SHIP_TIMESTAMP GREATER 4294967295)
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970 that fit the PE header's 32 bits, not '${SHIP_TIMESTAMP}'")
endif()
message(STATUS "PE time stamp of the shipped binaries: ${SHIP_TIMESTAMP}")
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SHIP_TIMESTAMP}")
list(APPEND SHIP_CXX_FLAGS -ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
set(CMAKE_RC_FLAGS "-F pe-i386 -O coff")

# Program code and test doubles alike link against our own start-up.
function(ship_compile target)
  target_compile_options(${target} PRIVATE ${SHIP_CXX_FLAGS})
  target_compile_definitions(${target} PRIVATE ${SHIP_DEFINES})
endfunction()

function(ship_executable target)
  ship_compile(${target})
  set_target_properties(${target} PROPERTIES LINK_FLAGS_INIT "" )
  target_link_options(${target} PRIVATE ${SHIP_LINK_FLAGS})
  target_link_libraries(${target} PRIVATE framework_start ${SHIP_LIBS})
  # No default libraries: CMake would add -lstdc++ and friends otherwise.
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()
set(CMAKE_CXX_STANDARD_LIBRARIES "")
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
