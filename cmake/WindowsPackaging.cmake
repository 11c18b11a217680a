# The Windows installer, made with NSIS (packaging/windows):
#
#   cmake --build BUILD --target packages   BUILD/packages/TamselDesk-<version>.exe
#
# It carries the program, the WebView2 SDK's loader and, when DESK_SERVER_ORIGIN is set,
# server.json. Given a code-signing certificate (DESK_SIGN_PFX, a PKCS#12 file; its password in
# the environment variable DESK_SIGN_PASSWORD while building), osslsigncode signs the program and
# the installer; without one nothing is signed.
include(${CMAKE_CURRENT_LIST_DIR}/ServerOrigin.cmake)
find_program(DESK_MAKENSIS makensis)
set(DESK_SIGN_PFX "" CACHE FILEPATH "Code-signing certificate (PKCS#12) for the program and its installer")
set(DESK_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service for the signatures (optional)")
if(DESK_SIGN_PFX)
  find_program(DESK_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# desk_windows_installer(TARGET PROGRAM target VERSION v LOADER dll OUTPUT exe [SERVER_JSON file]):
# the target that makes installer OUTPUT of the program.
function(desk_windows_installer name)
  cmake_parse_arguments(arg "" "PROGRAM;VERSION;LOADER;OUTPUT;SERVER_JSON" "" ${ARGN})
  if(NOT DESK_MAKENSIS)
    add_custom_target(${name} COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing (scripts/setup --test installs nsis)"
                      COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
    return()
  endif()
  desk_rc_version(${arg_VERSION})
  set(script ${CMAKE_SOURCE_DIR}/packaging/windows/make-installer.cmake)
  add_custom_command(OUTPUT ${arg_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${arg_PROGRAM}> -DLOADER=${arg_LOADER}
            -DSERVER_JSON=${arg_SERVER_JSON} -DVERSION=${arg_VERSION} -DVERSION_QUAD=${DESK_RC_VERSION_DOTS}
            -DICON=${CMAKE_BINARY_DIR}/resources/tamsel-desk.ico -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DSTAGE=${CMAKE_BINARY_DIR}/packaging/${name} -DOUTPUT=${arg_OUTPUT} -DMAKENSIS=${DESK_MAKENSIS}
            -DSTRIP=${CMAKE_STRIP} -DSIGNER=${DESK_OSSLSIGNCODE} -DPFX=${DESK_SIGN_PFX}
            -DTIMESTAMP=${DESK_SIGN_TIMESTAMP_URL} -P ${script}
    DEPENDS ${arg_PROGRAM} ${arg_LOADER} ${arg_SERVER_JSON} ${script} ${CMAKE_SOURCE_DIR}/packaging/windows/installer.nsi
            ${CMAKE_SOURCE_DIR}/src/common/version.h desk_icon
    COMMENT "Making ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${name} DEPENDS ${arg_OUTPUT})
endfunction()

desk_server_json(${CMAKE_BINARY_DIR}/packaging desk_server_json)
desk_windows_installer(packages PROGRAM tamsel-desk VERSION ${PROJECT_VERSION} LOADER ${DESK_WEBVIEW2_LOADER}
  SERVER_JSON "${desk_server_json}" OUTPUT ${CMAKE_BINARY_DIR}/packages/TamselDesk-${PROJECT_VERSION}.exe)
