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
