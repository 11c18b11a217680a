# nlohmann-json for the cross build: Debian's headers, but only their own folder. Exposing
# /usr/include itself would let glibc's headers shadow MinGW's, so a private include folder
# holds nothing but a link to /usr/include/nlohmann.
set(DESK_JSON_HEADERS /usr/include/nlohmann CACHE PATH "Folder of nlohmann-json's json.hpp")
if(NOT EXISTS ${DESK_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json not found in ${DESK_JSON_HEADERS} (scripts/setup installs nlohmann-json3-dev)")
endif()
set(desk_json_include ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${desk_json_include})
file(CREATE_LINK ${DESK_JSON_HEADERS} ${desk_json_include}/nlohmann SYMBOLIC)
add_library(desk_json INTERFACE)
target_include_directories(desk_json SYSTEM INTERFACE ${desk_json_include})
add_library(nlohmann_json::nlohmann_json ALIAS desk_json)
