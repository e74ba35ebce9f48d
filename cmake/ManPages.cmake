# A man page for each installed program, made by help2man from the program's
# own --help so the two cannot drift apart. Sets VELTRIX_MAN_PAGES when it
# made them. Needs the programs to run on the build machine: not when
# cross-compiling, and not with a sanitizer (a ThreadSanitizer program may not
# start outside `setarch -R`; such builds are never packaged).
set(VELTRIX_MAN_PAGES OFF)
if(VELTRIX_SANITIZER OR CMAKE_CROSSCOMPILING)
  return()
endif()
find_program(VELTRIX_HELP2MAN help2man)
find_program(VELTRIX_GZIP gzip)
if(NOT VELTRIX_HELP2MAN OR NOT VELTRIX_GZIP)
  message(WARNING "help2man or gzip not found: no man pages are built or installed (scripts/install-deps installs them)")
  return()
endif()

set(_man_dir ${PROJECT_BINARY_DIR}/man)
set(_man_pages)
# veltrix_man_page(PROGRAM "one-line NAME section text"); packaging/man/PROGRAM.h2m
# adds the sections --help has no place for.
function(veltrix_man_page program summary)
  set(page ${_man_dir}/${program}.1)
  set(sections ${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_man_dir}
    COMMAND ${VELTRIX_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION} --name=${summary}
            --include=${sections} --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${VELTRIX_GZIP} -9nf ${page}
    DEPENDS ${program} ${sections}
    COMMENT "Man page of ${program}"
    VERBATIM)
  set(_man_pages ${_man_pages} ${page}.gz PARENT_SCOPE)
endfunction()

veltrix_man_page(veltrix-cli "read, write and record Veltrix motion sensors from scripts")
veltrix_man_page(veltrix-boardsim "a simulated Veltrix evaluation board on a pseudo-terminal")
if(TARGET veltrix-logger)
  veltrix_man_page(veltrix-logger "read, set and record Veltrix motion sensors in a window")
endif()

add_custom_target(veltrix-man-pages ALL DEPENDS ${_man_pages})
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(VELTRIX_MAN_PAGES ON)
