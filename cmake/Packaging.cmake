# What `cmake --install` places beside the program and its menu entry, the .deb (CPack) and the
# self-extracting update installer TamselDesk-<version>.run.
#
#   cmake --build BUILD --target packages   BUILD/packages/tamsel-desk_<version>_<arch>.deb and
#                                           BUILD/packages/TamselDesk-<version>.run
include(GNUInstallDirs)
set(desk_pkg_dir ${CMAKE_BINARY_DIR}/packaging)
set(desk_pkg_src ${CMAKE_SOURCE_DIR}/packaging/linux)
file(MAKE_DIRECTORY ${desk_pkg_dir})

include(${CMAKE_CURRENT_LIST_DIR}/ServerOrigin.cmake)
set(DESK_RELEASE_DATE "2025-01-01" CACHE STRING "Release date of this version, for the AppStream data (YYYY-MM-DD)")

# The program lives in a folder of its own (src/platform/linux/desktop installs it), so that
# server.json can lie beside it; the command is a link to it.
file(CREATE_LINK ../lib/tamsel-desk/tamsel-desk ${desk_pkg_dir}/tamsel-desk SYMBOLIC)
install(FILES ${desk_pkg_dir}/tamsel-desk DESTINATION ${CMAKE_INSTALL_BINDIR})

desk_server_json(${desk_pkg_dir} desk_server_json)
if(desk_server_json)
  install(FILES ${desk_server_json} DESTINATION lib/tamsel-desk)
endif()

configure_file(${desk_pkg_src}/tamsel-desk.metainfo.xml.in ${desk_pkg_dir}/example.tamsel.Desk.metainfo.xml @ONLY)
install(FILES ${desk_pkg_dir}/example.tamsel.Desk.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
configure_file(${desk_pkg_src}/changelog.in ${desk_pkg_dir}/changelog @ONLY)
execute_process(COMMAND gzip -9 --no-name --stdout ${desk_pkg_dir}/changelog OUTPUT_FILE ${desk_pkg_dir}/changelog.gz)
install(FILES ${desk_pkg_src}/copyright ${desk_pkg_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tamsel-desk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamsel-desk)
set(CPACK_PACKAGE_VENDOR Tamsel)
set(CPACK_PACKAGE_CONTACT "Tamsel desk team <desk@tamsel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop companion of the Tamsel web application")
set(CPACK_PACKAGE_DESCRIPTION "Shows the desk page of the Tamsel web application in a transparent,
always-on-top window that lets clicks through except over the page's
shapes, with a tray menu. For the page it downloads files, moves files
between two devices on the same network (encrypted) and keeps itself up
to date from a signed manifest.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://desk.tamsel.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The page and the shell's own boxes are Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)

set(desk_stage ${CMAKE_BINARY_DIR}/packaging/stage)
add_custom_target(run-installer
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${desk_stage}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${desk_stage}/usr --strip
  COMMAND ${desk_pkg_src}/make-run-installer ${desk_stage} ${PROJECT_VERSION}
          ${CMAKE_BINARY_DIR}/packages/TamselDesk-${PROJECT_VERSION}.run
  COMMENT "Making TamselDesk-${PROJECT_VERSION}.run"
  VERBATIM)
add_custom_target(packages
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Making the .deb"
  VERBATIM)
add_dependencies(run-installer tamsel-desk desk-lan)
add_dependencies(packages run-installer)
