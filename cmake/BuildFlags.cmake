# Every target links veltrix_flags: warnings, warnings as errors, and the
# sanitizer chosen for this build folder. Nothing edits CMAKE_CXX_FLAGS.
add_library(veltrix_flags INTERFACE)
target_compile_options(veltrix_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(VELTRIX_WERROR)
  target_compile_options(veltrix_flags INTERFACE -Werror)
  # GCC 12 at -O3 reports overlapping copies inside libstdc++'s own string
  # code (<regex>, operator+), a known false positive; it stays a warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(veltrix_flags INTERFACE -Wno-error=restrict)
  endif()
endif()

if(VELTRIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELTRIX_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(NOT VELTRIX_SANITIZER STREQUAL "")
    message(FATAL_ERROR "VELTRIX_FUZZ brings its own sanitizers: leave VELTRIX_SANITIZER empty")
  endif()
  # Coverage for libFuzzer in the libraries under test; the fuzz programs add
  # -fsanitize=fuzzer at link time for libFuzzer's main.
  set(_san -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(VELTRIX_SANITIZER STREQUAL "address")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(VELTRIX_SANITIZER STREQUAL "thread")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT VELTRIX_SANITIZER STREQUAL "")
  message(FATAL_ERROR "VELTRIX_SANITIZER must be empty, address or thread")
endif()
if(_san)
  target_compile_options(veltrix_flags INTERFACE ${_san})
  target_link_options(veltrix_flags INTERFACE ${_san})
endif()
