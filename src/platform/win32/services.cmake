# Windows system libraries for the subsystems: CNG and Crypt32 (crypto), WinHTTP (HTTP client),
# Winsock and IP Helper (LAN), the shell and COM (known folders, opening files, the installer).
# Every target of the shell sees the same Windows API level and the wide ("W") functions.
target_compile_definitions(desk_platform_types INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
target_link_libraries(desk_common PUBLIC bcrypt crypt32 winhttp)
target_link_libraries(desk_files PUBLIC shell32 ole32 uuid)
target_link_libraries(desk_lan PUBLIC ws2_32 iphlpapi)
target_link_libraries(desk_update PUBLIC shell32)
include(${CMAKE_CURRENT_LIST_DIR}/resources/resources.cmake)
