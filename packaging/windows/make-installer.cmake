# Makes the installer TamselDesk-<version>.exe (installer.nsi): stages the program, stripped,
# with the WebView2 loader and server.json beside it, signs the program when a code-signing
# certificate is given, runs makensis, and signs the installer.
#   cmake -DPROGRAM=EXE -DLOADER=DLL [-DSERVER_JSON=FILE] -DVERSION=V -DVERSION_QUAD=V.0 -DICON=ICO
#         -DSOURCE_DIR=DIR -DSTAGE=DIR -DOUTPUT=EXE -DMAKENSIS=PATH -DSTRIP=PATH
#         [-DSIGNER=osslsigncode -DPFX=FILE [-DTIMESTAMP=URL]] -P make-installer.cmake
# The certificate's password comes from the environment variable DESK_SIGN_PASSWORD.
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}\n${out}")
  endif()
endfunction()

# Signs FILE in place with the certificate, SHA-256, named as the program.
function(sign file)
  if(NOT PFX)
    return()
  endif()
  if(NOT DEFINED ENV{DESK_SIGN_PASSWORD})
    message(FATAL_ERROR "DESK_SIGN_PFX is set: the certificate's password must be in DESK_SIGN_PASSWORD")
  endif()
  # The password reaches osslsigncode in a file of the stage only the user can read.
  set(pass ${STAGE}/sign-password)
  file(WRITE ${pass} "$ENV{DESK_SIGN_PASSWORD}")
  file(CHMOD ${pass} PERMISSIONS OWNER_READ OWNER_WRITE)
  set(stamp)
  if(TIMESTAMP)
    set(stamp -ts ${TIMESTAMP})
  endif()
  execute_process(COMMAND ${SIGNER} sign -pkcs12 ${PFX} -readpass ${pass} -h sha256 -n "${NAME}" ${stamp}
                          -in ${file} -out ${file}.signed
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(REMOVE ${pass})
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "osslsigncode could not sign ${file} with ${PFX}:\n${out}")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()

file(STRINGS ${SOURCE_DIR}/src/common/version.h NAME REGEX "^#define DESK_DISPLAY_NAME ")
string(REGEX REPLACE "^#define DESK_DISPLAY_NAME \"(.*)\"$" "\\1" NAME "${NAME}")

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
run(${STRIP} -o ${STAGE}/tamsel-desk.exe ${PROGRAM})
file(COPY_FILE ${LOADER} ${STAGE}/WebView2Loader.dll)
if(SERVER_JSON)
  file(COPY_FILE ${SERVER_JSON} ${STAGE}/server.json)
endif()
sign(${STAGE}/tamsel-desk.exe)

get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
run(${MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${VERSION} -DVERSION_QUAD=${VERSION_QUAD} -DSTAGE=${STAGE}
    -DICON=${ICON} -DSOURCE_DIR=${SOURCE_DIR} -DOUTFILE=${OUTPUT}.new ${CMAKE_CURRENT_LIST_DIR}/installer.nsi)
sign(${OUTPUT}.new)
file(RENAME ${OUTPUT}.new ${OUTPUT})
