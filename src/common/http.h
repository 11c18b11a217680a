#pragma once
// One blocking GET, for worker threads only. True only when the whole body arrived with
// status 200 and was stored. timeoutMs 0 is server mode (https, or http to a local host;
// the system's proxy settings; default time-outs); a positive timeoutMs is LAN mode
// (no proxy, every time-out timeoutMs, plain http to any host).
// In file mode the file is created or truncated only after a 200, and never holds more
// than maxBytes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/text.h"
#include "common/version.h"

constexpr const char* kUserAgent = DESK_PRODUCT_NAME "/" DESK_VERSION;

bool httpGet(WStringView url, std::string& body, const std::optional<std::filesystem::path>& file,
             std::uint64_t maxBytes, std::int32_t timeoutMs);

// Tests only: trust this extra PEM certificate file (in addition to the system store) in this
// process. Verification itself can never be switched off.
void httpTrustExtraCertificateForTests(const std::filesystem::path& pemFile);
