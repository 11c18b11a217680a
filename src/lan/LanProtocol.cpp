#include "lan/LanProtocol.h"

#include <limits>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits with strtoull's sign handling and saturation; no digits give 0.
std::uint64_t readUnsigned(std::string_view text) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint64_t value = 0;
  bool overflow = false;
  bool any = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    any = true;
    const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      overflow = true;
    } else {
      value = value * 10 + digit;
    }
  }
  if (!any) return 0;
  if (overflow || (negative && value != 0)) return std::numeric_limits<std::uint64_t>::max();
  return value;
}

}  // namespace

bool isLanId(std::string_view text) {
  if (text.size() != kLanIdLength) return false;
  for (char c : text) {
    if (!isDigit(c) && !(c >= 'a' && c <= 'f')) return false;
  }
  return true;
}

std::optional<PeerIpv4> parseIPv4(std::string_view text) {
  PeerIpv4 out;
  std::size_t pos = 0;
  for (int field = 0; field < 4; ++field) {
    if (field > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    const std::size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && isDigit(text[pos]) && pos - start < 3) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
    }
    const std::size_t digits = pos - start;
    if (digits == 0 || value > 255) return std::nullopt;
    if (digits > 1 && text[start] == '0') return std::nullopt;
    out.octets[static_cast<std::size_t>(field)] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return out;
}

bool isPrivate(const PeerIpv4& a) {
  const auto& o = a.octets;
  return o[0] == 10 || (o[0] == 192 && o[1] == 168) || (o[0] == 172 && o[1] >= 16 && o[1] <= 31);
}

bool isPrivateIPv4(std::string_view text) {
  const auto parsed = parseIPv4(text);
  return parsed && isPrivate(*parsed);
}

std::string formatIPv4(const PeerIpv4& a) {
  std::string out;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i) out += '.';
    out += std::to_string(a.octets[i]);
  }
  return out;
}

std::optional<PeerAddress> parsePeerUrl(std::string_view text) {
  constexpr std::string_view prefix = "http://";
  if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::size_t colon = text.find(':', prefix.size());
  const std::size_t slash = text.find('/', prefix.size());
  if (colon == std::string_view::npos || slash == std::string_view::npos || colon > slash) {
    return std::nullopt;
  }
  const std::string_view portText = text.substr(colon + 1, slash - colon - 1);
  if (portText.empty() || portText.size() > 5) return std::nullopt;
  std::uint32_t port = 0;
  for (char c : portText) {
    if (!isDigit(c)) return std::nullopt;
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
  }
  const std::string_view host = text.substr(prefix.size(), colon - prefix.size());
  const auto address = parseIPv4(host);
  if (!address || !isPrivate(*address)) return std::nullopt;
  const std::string_view id = text.substr(slash + 1);
  if (!isLanId(id)) return std::nullopt;
  return PeerAddress{*address, std::string(host), port, std::string(id)};
}

bool isPeerUrl(std::string_view text) { return parsePeerUrl(text).has_value(); }

std::uint64_t lanRecordCount(std::uint64_t plainSize) {
  return plainSize / kLanRecordPlain + (plainSize % kLanRecordPlain ? 1 : 0);
}

std::uint64_t lanEncryptedSize(std::uint64_t plainSize) {
  return plainSize + kLanRecordExtra * lanRecordCount(plainSize);
}

std::optional<std::uint64_t> lanPlainSize(std::uint64_t encryptedSize) {
  const std::uint64_t records = encryptedSize / kLanRecordSpan + (encryptedSize % kLanRecordSpan ? 1 : 0);
  if (records == 0 || encryptedSize <= kLanRecordExtra * records) return std::nullopt;
  const std::uint64_t plain = encryptedSize - kLanRecordExtra * records;
  if (lanRecordCount(plain) != records) return std::nullopt;
  return plain;
}

std::uint64_t lanStreamLength(std::uint64_t encryptedSize, std::uint64_t from) {
  // Written so that a huge "from" cannot wrap the product around.
  if (from >= encryptedSize / kLanRecordSpan + 1) return 0;
  const std::uint64_t skipped = from * kLanRecordSpan;
  return encryptedSize > skipped ? encryptedSize - skipped : 0;
}

std::string lanFetchHead(std::string_view id, std::uint64_t from, std::string_view host) {
  std::string head = "GET /";
  head += id;
  if (from != 0) {
    head += "?from=";
    head += std::to_string(from);
  }
  head += " HTTP/1.1\r\nHost: ";
  head += host;
  head += "\r\nConnection: close\r\n\r\n";
  return head;
}

std::string lanPushHead(std::string_view id, std::uint64_t from, std::string_view host,
                        std::uint64_t contentLength) {
  std::string head = "POST /";
  head += id;
  head += "?from=";
  head += std::to_string(from);
  head += " HTTP/1.1\r\nHost: ";
  head += host;
  head += "\r\nContent-Type: application/octet-stream\r\nContent-Length: ";
  head += std::to_string(contentLength);
  head += "\r\nConnection: close\r\n\r\n";
  return head;
}

std::string lanStreamHead(std::uint64_t contentLength) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
         std::to_string(contentLength) + "\r\nConnection: close\r\n\r\n";
}

std::string_view lanAnswerHead(LanAnswer answer) {
  switch (answer) {
    case LanAnswer::Ok: return "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    case LanAnswer::BadRequest: return "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    case LanAnswer::NotFound: return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    case LanAnswer::OutOfRange: break;
  }
  return "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

LanRequest parseLanRequest(std::string_view gathered) {
  LanRequest request;
  if (gathered.size() >= 38 && gathered.substr(0, 6) == "POST /") {
    request.kind = LanRequestKind::Push;
    request.id = std::string(gathered.substr(6, kLanIdLength));
    request.pushable = isLanId(request.id) && gathered.size() > 38 && (gathered[38] == ' ' || gathered[38] == '?');
    return request;
  }
  if (gathered.size() < 37 || gathered.substr(0, 5) != "GET /") return request;
  request.id = std::string(gathered.substr(5, kLanIdLength));
  std::string_view rest = gathered.substr(37);
  const std::size_t space = rest.find(' ');
  if (space != std::string_view::npos) rest = rest.substr(0, space);
  if (!isLanId(request.id)) return request;
  constexpr std::string_view fromKey = "?from=";
  if (rest == "/ping") {
    request.kind = LanRequestKind::Ping;
  } else if (rest.empty()) {
    request.kind = LanRequestKind::Stream;
  } else if (rest.substr(0, fromKey.size()) == fromKey) {
    request.kind = LanRequestKind::Stream;
    request.from = readUnsigned(rest.substr(fromKey.size()));
  }
  return request;
}

int lanAnswerStatus(std::string_view head) {
  std::string_view s = head.size() >= 9 ? head.substr(9) : std::string_view{};
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < s.size() && isDigit(s[i]); ++i) {
    if (value < 1000000000) value = value * 10 + (s[i] - '0');  // clamp instead of overflowing
  }
  return static_cast<int>(negative ? -value : value);
}

std::optional<std::uint64_t> lanAnswerContentLength(std::string_view head) {
  constexpr std::string_view name = "\r\ncontent-length:";
  for (std::size_t at = head.find("\r\n"); at != std::string_view::npos; at = head.find("\r\n", at + 2)) {
    if (head.size() - at < name.size()) break;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      const char c = head[at + i];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == name[i];
    }
    if (!same) continue;
    std::size_t i = at + name.size();
    while (i < head.size() && head[i] == ' ') ++i;
    const std::size_t digits = i;
    std::uint64_t value = 0;
    for (; i < head.size() && isDigit(head[i]) && i - digits < 19; ++i) value = value * 10 + static_cast<std::uint64_t>(head[i] - '0');
    if (i == digits) return std::nullopt;
    return value;
  }
  return std::nullopt;
}
