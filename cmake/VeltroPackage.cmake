# The Debian package (./package.sh runs `cpack -G DEB` on a release build).
# The program and its read-only data go to /usr/lib/veltro-lite; a system
# install keeps settings and the album in each user's own folders, which the
# program chooses by itself when its folder is not writable. Launchers and
# the icon go where the desktop looks for them; the runtime libraries are
# declared by dpkg-shlibdeps from what the programs link.
set(VELTRO_PACKAGE_NAME veltro-lite)
set(VELTRO_PACKAGE_DIR lib/${VELTRO_PACKAGE_NAME})
set(VELTRO_PACKAGE_PROGRAMS veltrolt veltrotool)

foreach(program ${VELTRO_PACKAGE_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${VELTRO_PACKAGE_DIR})
  endif()
endforeach()
foreach(dir res template doc)
  install(DIRECTORY ${VELTRO_DIST_DIR}/${dir}/ DESTINATION ${VELTRO_PACKAGE_DIR}/${dir})
endforeach()
# The first-run sample clip, made at build time.
install(DIRECTORY ${VELTRO_DIST_DIR}/samples/ DESTINATION ${VELTRO_PACKAGE_DIR}/samples OPTIONAL)
install(FILES ${CMAKE_SOURCE_DIR}/license.txt DESTINATION ${VELTRO_PACKAGE_DIR})

# Launchers for the applications menu, and the icon in the hicolor theme.
set(VELTRO_INSTALLED_DIR /usr/${VELTRO_PACKAGE_DIR})
configure_file(${CMAKE_SOURCE_DIR}/packaging/veltro-lite.desktop.in
               ${CMAKE_BINARY_DIR}/packaging/veltro-lite.desktop @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/veltro-lite-manual.desktop.in
               ${CMAKE_BINARY_DIR}/packaging/veltro-lite-manual.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/veltro-lite.desktop
              ${CMAKE_BINARY_DIR}/packaging/veltro-lite-manual.desktop
        DESTINATION share/applications)
install(FILES ${VELTRO_DIST_DIR}/res/appicon.png
        DESTINATION share/icons/hicolor/128x128/apps RENAME ${VELTRO_PACKAGE_NAME}.png)

# Debian's documentation files: the copyright and a compressed changelog.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/${VELTRO_PACKAGE_NAME})
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the package changelog")
add_custom_target(package_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION share/doc/${VELTRO_PACKAGE_NAME})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELTRO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "authoring tool for drag-to-play web objects")
# The synopsis is the summary above; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VELTRO Lite turns a short clip (a movie file, a list of still pictures or a
camera recording) into a web page on which a visitor drags along a path
drawn over the picture to move the clip through its frames. Pages are kept
in an album and play in current browsers.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VELTRO Lite maintainers <maintainers@veltro-lite.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Fonts the interface is drawn with and the opener of help pages and pages.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, xdg-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
