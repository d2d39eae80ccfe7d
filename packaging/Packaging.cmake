# Installation and the Debian package.
#   cmake --install <build> --prefix <prefix>   installs into any prefix;
#   cmake --build <build> --target package      builds vrma_<version>_<arch>.deb (CPack).
# Layout under the prefix:
#   bin/vrma, bin/vrma-calib
#   share/vrma/VRMAHelp, share/vrma/examples/decimal-{comma,point}
#                                               (found from bin/ as ../share/vrma)
#   share/applications/vrma.desktop, share/metainfo/ru.vrma.vrma.metainfo.xml
#   share/icons/hicolor/<n>x<n>/apps/vrma.png, share/icons/hicolor/scalable/apps/vrma.svg
#   share/man/ru/man1/vrma.1.gz, share/man/ru/man1/vrma-calib.1.gz
#   share/doc/vrma/copyright, share/doc/vrma/changelog.gz
include(GNUInstallDirs)

set(VRMA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
# What is made here goes into this project's own binary folder (which is not the top one
# when the checkout is built as a subproject with add_subdirectory()).
set(VRMA_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${VRMA_PACKAGING_OUT})
set(VRMA_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/vrma)
set(VRMA_ICON_SIZES 16 22 24 32 48 64 128 256)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The examples beside the built program too, as the guide is, so that the program finds
# them the same way in a build folder and in an installation.
add_custom_command(TARGET vrma POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${VRMA_ROOT}/examples $<TARGET_FILE_DIR:vrma>/examples)

# The program's icon in the sizes of the hicolor theme, drawn at build time.
add_executable(vrma-icon ${VRMA_PACKAGING_DIR}/vrma-icon.cpp)
target_link_libraries(vrma-icon PRIVATE Qt6::Gui)
vrma_warnings(vrma-icon)
set(_icons)
foreach(size ${VRMA_ICON_SIZES})
  list(APPEND _icons ${VRMA_PACKAGING_OUT}/icons/${size}/vrma.png)
endforeach()
add_custom_command(OUTPUT ${_icons}
  COMMAND vrma-icon ${VRMA_PACKAGING_OUT}/icons ${VRMA_ICON_SIZES}
  DEPENDS vrma-icon
  COMMENT "Drawing the program icon")

# Manual pages and the Debian changelog, compressed as Debian wants them.
set(_compressed)
foreach(source man/vrma.1 man/vrma-calib.1 changelog)
  get_filename_component(_name ${source} NAME)
  set(_out ${VRMA_PACKAGING_OUT}/${_name}.gz)
  add_custom_command(OUTPUT ${_out}
    COMMAND gzip -9 -n -c ${VRMA_PACKAGING_DIR}/${source} > ${_out}
    DEPENDS ${VRMA_PACKAGING_DIR}/${source}
    VERBATIM)
  list(APPEND _compressed ${_out})
endforeach()
add_custom_target(vrma_install_files ALL DEPENDS ${_icons} ${_compressed})

install(TARGETS vrma vrma-calib RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${VRMA_ROOT}/VRMAHelp ${VRMA_ROOT}/examples
        DESTINATION ${VRMA_DATA_DESTINATION})
install(FILES ${VRMA_PACKAGING_DIR}/vrma.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VRMA_PACKAGING_DIR}/ru.vrma.vrma.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${VRMA_ICON_SIZES})
  install(FILES ${VRMA_PACKAGING_OUT}/icons/${size}/vrma.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${VRMA_PACKAGING_DIR}/vrma.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VRMA_PACKAGING_OUT}/vrma.1.gz ${VRMA_PACKAGING_OUT}/vrma-calib.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/ru/man1)
install(FILES ${VRMA_PACKAGING_DIR}/copyright ${VRMA_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vrma)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VENDOR "VRMA")
set(CPACK_PACKAGE_CONTACT "VRMA developers <vrma@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VRMA developers <vrma@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries that the programs link are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The report and the test field's sheet are set in DejaVu Sans; fonts are not libraries,
# so they are named here (a minimal system has no DejaVu: its fontconfig takes whichever
# font comes first). Qt's Russian texts for its own dialogs and buttons ("Да", "Нет",
# "Отмена"), which the program loads whatever the locale, are no library either.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, qt6-translations-l10n")
# The window's fallback font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pixel aspect ratio of a camera from a planar test field")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${VRMA_PACKAGING_DIR}/description.txt)
# The package is this project's only when it is built on its own: as a subproject it
# leaves the packaging to the project that holds it (its installation rules stay).
if(PROJECT_IS_TOP_LEVEL)
  include(CPack)
endif()
