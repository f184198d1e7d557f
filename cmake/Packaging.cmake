# Installation of the programs and the manual, and the packages built from them.
include(GNUInstallDirs)

if(TARGET plexor)
  install(TARGETS plexor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The window finds its manual beside itself, under its own base name.
if(TARGET plexor-converter)
  install(TARGETS plexor-converter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/plexor-converter.html DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
