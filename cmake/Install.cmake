# Where an installed copy puts its files. On Linux the program lives in its own folder below
# lib/ (it looks for nothing beside itself, but keeps the portable layout), with a link in bin/
# and the desktop's menu entry, icons, metainfo and manual page. On Windows the program sits at
# the root of the folder the ZIP unpacks to.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/InstallWindows.cmake)
  return()
endif()

include(GNUInstallDirs)
set(CORVALITE_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/linux)
set(CORVALITE_GENERATED ${PROJECT_BINARY_DIR}/packaging)
set(CORVALITE_ICON ${PROJECT_SOURCE_DIR}/src/resources/corvalite-update.svg)
set(CORVALITE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/corvalite-update)

install(TARGETS update RUNTIME DESTINATION lib/corvalite-update)
# A relative link works in every prefix and inside the package.
file(MAKE_DIRECTORY ${CORVALITE_GENERATED})
file(CREATE_LINK ../lib/corvalite-update/update ${CORVALITE_GENERATED}/corvalite-update SYMBOLIC)
install(FILES ${CORVALITE_GENERATED}/corvalite-update DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CORVALITE_PACKAGING}/corvalite-update.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${CORVALITE_PACKAGING}/example.zelmarock.CorvaliteUpdate.metainfo.xml
               ${CORVALITE_GENERATED}/example.zelmarock.CorvaliteUpdate.metainfo.xml @ONLY)
install(FILES ${CORVALITE_GENERATED}/example.zelmarock.CorvaliteUpdate.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CORVALITE_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Bitmap icons for menus and docks that do not draw SVG, rendered from the one drawing.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icons)
foreach(size 16 24 32 48 64 128 256)
  set(png ${CORVALITE_GENERATED}/icons/${size}/corvalite-update.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVALITE_GENERATED}/icons/${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CORVALITE_ICON}
    DEPENDS ${CORVALITE_ICON} VERBATIM)
  list(APPEND icons ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual page and changelog compressed as Debian wants them, without time stamps.
configure_file(${CORVALITE_PACKAGING}/corvalite-update.1 ${CORVALITE_GENERATED}/corvalite-update.1 @ONLY)
set(man ${CORVALITE_GENERATED}/corvalite-update.1.gz)
set(changelog ${CORVALITE_GENERATED}/changelog.Debian.gz)
add_custom_command(OUTPUT ${man}
  COMMAND gzip -9nkf ${CORVALITE_GENERATED}/corvalite-update.1
  DEPENDS ${CORVALITE_PACKAGING}/corvalite-update.1 VERBATIM)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
add_custom_target(install_files ALL DEPENDS ${icons} ${man} ${changelog})
install(FILES ${man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${CORVALITE_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/screenshot.png DESTINATION ${CORVALITE_DOCDIR})
