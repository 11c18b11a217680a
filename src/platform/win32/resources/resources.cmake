# The executable resources of every Windows program: manifest and icon 101. desk_resources is
# an object library: linking it puts the resources into the program.
find_program(DESK_RSVG rsvg-convert REQUIRED)
find_program(DESK_CONVERT convert REQUIRED)
enable_language(RC)

set(desk_svg ${CMAKE_SOURCE_DIR}/src/platform/linux/desktop/tamsel-desk.svg)
set(desk_res_dir ${CMAKE_BINARY_DIR}/resources)
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

add_library(desk_resources OBJECT ${CMAKE_CURRENT_LIST_DIR}/tamsel-desk.rc)
add_dependencies(desk_resources desk_icon)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/tamsel-desk.rc PROPERTIES
  OBJECT_DEPENDS "${desk_icon};${CMAKE_CURRENT_LIST_DIR}/tamsel-desk.manifest")
target_include_directories(desk_resources PRIVATE ${desk_res_dir} ${CMAKE_CURRENT_LIST_DIR})
