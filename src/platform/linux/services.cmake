# Linux service libraries for the subsystems: OpenSSL (crypto), libcurl (HTTP client).
find_package(OpenSSL 3 REQUIRED)
find_package(CURL REQUIRED)
# libssl for the trust store that the HTTP tests extend.
target_link_libraries(desk_common PUBLIC OpenSSL::Crypto OpenSSL::SSL CURL::libcurl)
# Records are sealed straight into the caller's string without zeroing it first, which needs
# std::string::resize_and_overwrite (C++23); the file falls back to resize without it.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/platform/linux/common/gcm.cpp
  PROPERTIES COMPILE_OPTIONS -std=c++2b)
