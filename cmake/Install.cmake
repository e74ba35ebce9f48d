# What `cmake --install` puts on a machine: the three programs, their man
# pages, the Python module veltrix when it is built, with the window its
# desktop entry and icon, the copyright file and changelog in
# share/doc/veltrix-logger, and the udev rule that lets the
# group dialout keep the CPUs from deep idle during a capture. Libraries,
# headers and test programs stay in the build folder. veltrix-programs
# builds just what is installed.
include(GNUInstallDirs)

# The changelog of a native Debian package is changelog.gz, compressed as
# lintian asks: -9, and no name or time stamp inside, so builds are the same.
find_program(VELTRIX_GZIP gzip REQUIRED)
set(_changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(
  OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
  COMMAND ${VELTRIX_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(veltrix-changelog ALL DEPENDS ${_changelog})
set(_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/veltrix-logger)
install(FILES packaging/copyright ${_changelog} DESTINATION ${_doc_dir})

set(_programs veltrix-cli veltrix-boardsim)
if(TARGET veltrix-logger)
  list(APPEND _programs veltrix-logger)
  install(FILES packaging/veltrix-logger.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/veltrix-logger.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# udev reads lib/udev/rules.d under /usr and /usr/local alike (not the
# multiarch library folder).
install(FILES packaging/60-veltrix-logger.rules DESTINATION lib/udev/rules.d)

# The Python module, for Debian's python3 (dist-packages is its own folder).
if(TARGET _veltrix)
  set(_python_dir lib/python3/dist-packages/veltrix)
  install(TARGETS _veltrix LIBRARY DESTINATION ${_python_dir})
  install(FILES python/veltrix/__init__.py python/veltrix/__init__.pyi python/veltrix/py.typed DESTINATION ${_python_dir})
  list(APPEND _programs _veltrix)
endif()

add_custom_target(veltrix-programs)
add_dependencies(veltrix-programs ${_programs} veltrix-changelog)

include(cmake/ManPages.cmake)
if(VELTRIX_MAN_PAGES)
  add_dependencies(veltrix-programs veltrix-man-pages)
endif()
