# Every target links veltrix_flags: warnings, warnings as errors, and the
# sanitizer chosen for this build folder. Nothing edits CMAKE_CXX_FLAGS.
add_library(veltrix_flags INTERFACE)
target_compile_options(veltrix_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(VELTRIX_WERROR)
  target_compile_options(veltrix_flags INTERFACE -Werror)
endif()

if(VELTRIX_SANITIZER STREQUAL "address")
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
