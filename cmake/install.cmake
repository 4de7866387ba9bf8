# The installed tree, laid out as the Filesystem Hierarchy Standard has it,
# and the Debian package built from it with `cpack -G DEB`.
#
# bin/ and share/ are fixed rather than taken from GNUInstallDirs: the
# program finds its images in ../share/larkspur/ from its own directory.

install(TARGETS larkspur RUNTIME DESTINATION bin)
list(TRANSFORM LARKSPUR_RESOURCE_FILES PREPEND resources/ OUTPUT_VARIABLE larkspur_images)
install(FILES ${larkspur_images} DESTINATION share/larkspur)

# The application icon in the theme: the sizes drawn as PNGs, and the drawing.
set(larkspur_icons share/icons/hicolor)
install(FILES resources/fancy_app_icon.png DESTINATION ${larkspur_icons}/128x128/apps
        RENAME larkspur.png)
install(FILES resources/fancy_app_iconx2.png DESTINATION ${larkspur_icons}/256x256/apps
        RENAME larkspur.png)
install(FILES resources/src/fancy_app_icon.svg DESTINATION ${larkspur_icons}/scalable/apps
        RENAME larkspur.svg)

install(FILES data/larkspur.desktop DESTINATION share/applications)
install(FILES data/larkspur.metainfo.xml DESTINATION share/metainfo)
install(FILES data/larkspur.1 DESTINATION share/man/man1)

# Debian wants the manual page compressed, and its own changelog and
# copyright (and our notes for lintian) in the package; a plain
# `cmake --install` does without them.
install(CODE "set(larkspur_debian_docs \"${CMAKE_CURRENT_SOURCE_DIR}/data/debian\")")
install(CODE [[
  if(LARKSPUR_DEBIAN_PACKAGE)
    set(docs "${CMAKE_INSTALL_PREFIX}/share/doc/larkspur")
    file(INSTALL "${larkspur_debian_docs}/copyright" DESTINATION "${docs}")  # adds DESTDIR
    file(INSTALL "${larkspur_debian_docs}/lintian-overrides"
         DESTINATION "${CMAKE_INSTALL_PREFIX}/share/lintian/overrides" RENAME larkspur)
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    execute_process(COMMAND gzip -9nf "${root}/share/man/man1/larkspur.1"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND gzip -9nc "${larkspur_debian_docs}/changelog"
                    OUTPUT_FILE "$ENV{DESTDIR}${docs}/changelog.Debian.gz"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkspur)
set(CPACK_PACKAGE_CONTACT "The Larkspur developers <larkspur@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control the Spotify player from the system tray")
set(CPACK_PACKAGE_DESCRIPTION "Larkspur lives in the system tray and remote-controls the Spotify desktop
player over MPRIS: the playing track's title next to an icon, a menu with
the player's commands and the album artwork, a track-details window and
six global hotkeys.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_CUSTOM_INSTALL_VARIABLES LARKSPUR_DEBIAN_PACKAGE=ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://larkspur.example.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "Open" hands web addresses to xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
