# Microsoft's WebView2 SDK, the NuGet package Microsoft.Web.WebView2 (1.0.2903 or later),
# extracted: the Windows program compiles against its WebView2.h and ships its x64
# WebView2Loader.dll. scripts/fetch-webview2 (run by scripts/setup --test) restores it with dotnet
# into build/webview2/; a package got from NuGet another way is named with
# -DWEBVIEW2_SDK_DIR=FOLDER, the folder that holds its build/native.
file(GLOB desk_sdk_headers ${CMAKE_SOURCE_DIR}/build/webview2/microsoft.web.webview2/*/build/native/include/WebView2.h)
list(SORT desk_sdk_headers COMPARE NATURAL ORDER DESCENDING)
# The newest one there, when no folder is named.
set(desk_sdk_default "")
if(desk_sdk_headers)
  list(GET desk_sdk_headers 0 desk_sdk_default)
  string(REGEX REPLACE "/build/native/include/WebView2.h$" "" desk_sdk_default ${desk_sdk_default})
endif()
set(WEBVIEW2_SDK_DIR "" CACHE PATH
  "The extracted NuGet package Microsoft.Web.WebView2 (the folder that holds build/native)")
if(NOT WEBVIEW2_SDK_DIR)
  set(WEBVIEW2_SDK_DIR "${desk_sdk_default}" CACHE PATH "" FORCE)
endif()

set(DESK_WEBVIEW2_LOADER ${WEBVIEW2_SDK_DIR}/build/native/x64/WebView2Loader.dll CACHE INTERNAL "")
if(NOT EXISTS ${WEBVIEW2_SDK_DIR}/build/native/include/WebView2.h OR NOT EXISTS ${DESK_WEBVIEW2_LOADER})
  message(FATAL_ERROR "No WebView2 SDK at \"${WEBVIEW2_SDK_DIR}\" (WebView2.h and the x64 WebView2Loader.dll): "
    "run scripts/setup --test, which fetches it with dotnet, or extract the NuGet package "
    "Microsoft.Web.WebView2 and configure with -DWEBVIEW2_SDK_DIR=FOLDER")
endif()

# The SDK's header, warnings and all, as a system header; MinGW's gaps under it (mingw/).
add_library(desk_webview2 INTERFACE)
target_include_directories(desk_webview2 SYSTEM INTERFACE
  ${CMAKE_SOURCE_DIR}/src/platform/win32/desktop/mingw ${WEBVIEW2_SDK_DIR}/build/native/include)
