#pragma once
// The LAN wire protocol: transfer ids, peer addresses, the fixed request and answer heads,
// the record sizes and the resume rule. Everything here is pure text and arithmetic, shared by
// the server, the fetch, the command-line peer and the fuzz targets.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::uint64_t kLanRecordPlain = 1048576;  // plaintext per full record
inline constexpr std::uint64_t kLanRecordSpan = 1048608;   // a full record on the wire
inline constexpr std::uint64_t kLanRecordExtra = 32;       // length field + nonce + tag
inline constexpr std::size_t kLanIdLength = 32;

// The serving side's bodiless answers, by their status; a stream has its own head below.
enum class LanAnswer { Ok = 200, BadRequest = 400, NotFound = 404, OutOfRange = 416 };
// The fixed head of an answer, byte for byte.
std::string_view lanAnswerHead(LanAnswer answer);

struct PeerIpv4 {
  std::array<std::uint8_t, 4> octets{};
  bool operator==(const PeerIpv4&) const = default;
};

// 32 characters, each 0-9 or a-f.
bool isLanId(std::string_view text);

// Four dotted decimal fields of one to three digits, each below 256, nothing else: no signs,
// no spaces, and no leading zeros, because the system's resolver would read "010" as octal and
// reach a different (public) host than the one checked here.
std::optional<PeerIpv4> parseIPv4(std::string_view text);
// The private ranges 10/8, 172.16/12 and 192.168/16.
bool isPrivate(const PeerIpv4& address);
bool isPrivateIPv4(std::string_view text);
std::string formatIPv4(const PeerIpv4& address);

// "http://" host ":" port "/" id, with a private host, one to five port digits and a transfer id.
bool isPeerUrl(std::string_view text);

struct PeerAddress {
  PeerIpv4 address;  // exactly the fields that passed the check: connect to these
  std::string host;     // the host text, for the Host line
  std::uint32_t port = 0;  // as written (up to 99,999; connecting beyond 65,535 fails)
  std::string id;
};
// The parts of a text that passes isPeerUrl; nullopt otherwise.
std::optional<PeerAddress> parsePeerUrl(std::string_view text);

// Records, sizes and the resume rule.
std::uint64_t lanRecordCount(std::uint64_t plainSize);     // N = ceil(P / 1 MiB)
std::uint64_t lanEncryptedSize(std::uint64_t plainSize);   // E = P + 32 N
// The plain size P of an encrypted size E (nullopt when no P gives that E).
std::optional<std::uint64_t> lanPlainSize(std::uint64_t encryptedSize);
// Length of a stream that starts at record `from`; 0 when from * span >= E.
std::uint64_t lanStreamLength(std::uint64_t encryptedSize, std::uint64_t from);

// Request and answer heads, byte for byte.
std::string lanFetchHead(std::string_view id, std::uint64_t from, std::string_view host);
std::string lanPushHead(std::string_view id, std::uint64_t from, std::string_view host,
                        std::uint64_t contentLength);
std::string lanStreamHead(std::uint64_t contentLength);

// How the serving side reads a gathered request head (at most a little over 8,191 bytes).
enum class LanRequestKind { NotFound, Push, Ping, Stream };
struct LanRequest {
  LanRequestKind kind = LanRequestKind::NotFound;
  std::string id;
  std::uint64_t from = 0;   // GET "?from=" value (strtoull rules, saturating)
  bool pushable = false;    // Push: a transfer id followed by " " or "?"
};
// Classifies the request line only; registry questions (is it an offer, a sink) are the caller's.
// A GET whose id is malformed or whose rest is not one of the three forms is NotFound; a POST of
// sufficient length is always Push, which the receiver refuses unless it is pushable.
LanRequest parseLanRequest(std::string_view gathered);

// The status number at byte 9 of an answer, read the way atoi does.
int lanAnswerStatus(std::string_view head);
// The value of an answer head's Content-Length line (name in any case), when it has one.
std::optional<std::uint64_t> lanAnswerContentLength(std::string_view head);
