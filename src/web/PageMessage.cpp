// The pieces of the page's messages that need no App: the shapes and the local file a message
// may carry.
#include "web/PageMessage.h"

#include <cmath>

namespace {
constexpr double kMaxCoordinate = 100000;
}  // namespace

std::optional<Rect> readRect(const Json& value) {
  if (!value.is_array() || value.size() != 4) return std::nullopt;
  double v[4];
  for (std::size_t i = 0; i < 4; ++i) {
    if (!value[i].is_number()) return std::nullopt;
    v[i] = value[i].get<double>();
    if (!std::isfinite(v[i]) || std::fabs(v[i]) > kMaxCoordinate) return std::nullopt;
  }
  if (v[2] < 0 || v[3] < 0) return std::nullopt;
  return Rect{v[0], v[1], v[2], v[3]};
}

void settleLanPath(Json& message, const std::optional<WString>& filePath) {
  // Only the shell names the local file; whatever the page put there goes.
  message.erase("_path");
  if (!filePath || filePath->empty()) return;
  std::string path = toNarrow(*filePath);
  if (!path.empty()) message["_path"] = std::move(path);
}
