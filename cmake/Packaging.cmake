# Installation of the programs and the manual, and the packages built from them
# (scripts/package-deb makes the Debian one).
include(GNUInstallDirs)

set(PLEXOR_LINUX_DIR ${CMAKE_SOURCE_DIR}/packaging/linux)

if(TARGET plexor)
  install(TARGETS plexor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# Debian looks for the terms under this name.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/plexor-converter
        RENAME copyright)

if(TARGET plexor-converter)
  install(TARGETS plexor-converter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The window looks beside itself first and then in ../share/plexor-converter/, so the
  # manual is found as long as the two folders keep their usual names.
  install(FILES ${CMAKE_SOURCE_DIR}/docs/plexor-converter.html
          DESTINATION ${CMAKE_INSTALL_DATADIR}/plexor-converter)

  if(UNIX AND NOT APPLE)
    install(FILES ${PLEXOR_LINUX_DIR}/plexor-converter.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PLEXOR_LINUX_DIR}/plexor-converter.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # Menus that cannot draw SVG pick a bitmap of the nearest size; without the tool the
    # scalable icon alone still serves every desktop that matters.
    find_program(PLEXOR_RSVG_CONVERT rsvg-convert)
    if(PLEXOR_RSVG_CONVERT)
      set(PLEXOR_ICON_PNGS)
      foreach(size 48 128 256)
        set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/plexor-converter.png)
        add_custom_command(OUTPUT ${png}
          COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
          COMMAND ${PLEXOR_RSVG_CONVERT} -w ${size} -h ${size}
                  -o ${png} ${PLEXOR_LINUX_DIR}/plexor-converter.svg
          DEPENDS ${PLEXOR_LINUX_DIR}/plexor-converter.svg
          COMMENT "Drawing the ${size}x${size} program icon")
        list(APPEND PLEXOR_ICON_PNGS ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
      endforeach()
      add_custom_target(plexor_icons ALL DEPENDS ${PLEXOR_ICON_PNGS})
    endif()
  endif()
endif()

# The Debian package: one package with both programs, its dependencies found by
# dpkg-shlibdeps from the libraries the programs link against.
set(CPACK_PACKAGE_NAME plexor-converter)
set(CPACK_PACKAGE_VENDOR "Plexor Converter developers")
set(CPACK_PACKAGE_CONTACT "Plexor Converter developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ESRI shapefile to MapInfo MIF/MID converter for Japanese GIS data")
set(CPACK_PACKAGE_DESCRIPTION
    "Plexor Converter turns ESRI shapefiles (.shp with the .dbf beside it) into MapInfo
Interchange pairs (.mif + .mid). Coordinates are copied unchanged and labelled with one
of 41 Japanese coordinate systems; Shift-JIS (code page 932) attributes pass through
byte for byte. The package holds the desktop window plexor-converter, the command-line
tool plexor and the Japanese manual.
.
Plexor Converter は ESRI シェープファイル (.shp と .dbf) を MapInfo の MIF/MID
ファイルに変換します。座標はそのまま写し、41 の日本の座標系のいずれかを付けます。
Shift-JIS の属性はバイト単位でそのまま渡します。デスクトップ版 plexor-converter、
コマンドライン版 plexor と日本語のマニュアルを含みます。")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Plexor Converter developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What no linked library names: the window and Qt's own dialogs speak Japanese, which
# takes Qt's translations and a font with Japanese characters. dpkg-shlibdeps adds the
# libraries after these.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-translations-l10n, fonts-ipafont-gothic | fonts-japanese-gothic")
# Opens the manual in the desktop's browser; without it the window shows it itself.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

if(NOT CPACK_GENERATOR AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
