# What `cmake --install` puts on a machine: the three programs, their man
# pages, and with the window its desktop entry and icon. Libraries, headers and
# test programs stay in the build folder. veltrix-programs builds just what is
# installed.
include(GNUInstallDirs)

set(_programs veltrix-cli veltrix-boardsim)
if(TARGET veltrix-logger)
  list(APPEND _programs veltrix-logger)
  install(FILES packaging/veltrix-logger.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/veltrix-logger.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

add_custom_target(veltrix-programs)
add_dependencies(veltrix-programs ${_programs})

include(cmake/ManPages.cmake)
if(VELTRIX_MAN_PAGES)
  add_dependencies(veltrix-programs veltrix-man-pages)
endif()
