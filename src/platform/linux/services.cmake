# Linux service libraries for the subsystems: OpenSSL (crypto), libcurl (HTTP client).
find_package(OpenSSL 3 REQUIRED)
find_package(CURL REQUIRED)
target_link_libraries(desk_common PUBLIC OpenSSL::Crypto CURL::libcurl)
