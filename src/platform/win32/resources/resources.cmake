# The executable resources of the Windows programs. desk_resources (every program: the manifest
# and icon 101) and the shell's version resource are object libraries: linking one puts its
# resources into the program.
find_program(DESK_RSVG rsvg-convert REQUIRED)
find_program(DESK_CONVERT convert REQUIRED)
enable_language(RC)

set(desk_svg ${CMAKE_SOURCE_DIR}/src/platform/linux/desktop/tamsel-desk.svg)
set(desk_res_dir ${CMAKE_BINARY_DIR}/resources)
set(desk_res_src ${CMAKE_CURRENT_LIST_DIR})
set(desk_icon ${desk_res_dir}/tamsel-desk.ico)
# Each size drawn from the SVG itself (not scaled down from a large one), then packed.
set(draw)
set(pngs)
foreach(size 256 48 32 24 16)
  list(APPEND draw COMMAND ${DESK_RSVG} -w ${size} -h ${size} ${desk_svg} -o ${desk_res_dir}/icon-${size}.png)
  list(APPEND pngs ${desk_res_dir}/icon-${size}.png)
endforeach()
add_custom_command(OUTPUT ${desk_icon}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${desk_res_dir}
  ${draw}
  COMMAND ${DESK_CONVERT} ${pngs} ${desk_icon}
  DEPENDS ${desk_svg}
  COMMENT "Drawing the program icon"
  VERBATIM)
add_custom_target(desk_icon DEPENDS ${desk_icon})

# The version's forms for the resources: "1.3.0" as "1.3.0.0" and "1,3,0,0".
function(desk_rc_version version)
  string(REPLACE "." ";" parts "${version}")
  list(APPEND parts 0 0 0)
  list(SUBLIST parts 0 4 parts)
  list(JOIN parts "." dots)
  list(JOIN parts "," commas)
  set(DESK_RC_VERSION_TEXT ${version} PARENT_SCOPE)
  set(DESK_RC_VERSION_DOTS ${dots} PARENT_SCOPE)
  set(DESK_RC_VERSION_COMMAS ${commas} PARENT_SCOPE)
endfunction()

desk_rc_version(${PROJECT_VERSION})
configure_file(${desk_res_src}/tamsel-desk.manifest.in ${desk_res_dir}/tamsel-desk.manifest @ONLY)
add_library(desk_resources OBJECT ${desk_res_src}/tamsel-desk.rc)
add_dependencies(desk_resources desk_icon)
set_source_files_properties(${desk_res_src}/tamsel-desk.rc PROPERTIES
  OBJECT_DEPENDS "${desk_icon};${desk_res_dir}/tamsel-desk.manifest")
target_include_directories(desk_resources PRIVATE ${desk_res_dir})

# desk_version_resource(TARGET VERSION): the shell's version resource for VERSION, the
# project's for the program itself (the update tests make a later one).
function(desk_version_resource target version)
  desk_rc_version(${version})
  set(rc ${CMAKE_BINARY_DIR}/resources/${version}/version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc} @ONLY)
  add_library(${target} OBJECT ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/common/version.h)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src)
endfunction()
desk_version_resource(desk_version_resource ${PROJECT_VERSION})
