# Host build: the same program sources against the simulated Windows.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
set(HOST_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(FUZZ)
  # Everything the fuzzers reach carries coverage; only the targets link the
  # fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
function(ship_compile target)
  target_compile_options(${target} PRIVATE ${HOST_WARNINGS})
endfunction()
