// The desk page's messages: checked for their source, parsed, and either acted on at once
// (pointer state, focus, hide, open) or handed whole to the subsystem that owns the work.
// Nothing answers the page from here except the "file gone" callback.
#include "app/PageMessage.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "common/url.h"
#include "web/Callbacks.h"

namespace {
constexpr std::size_t kMaxHitRects = 2048;
constexpr double kMaxCoordinate = 100000;
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 8;
constexpr double kMaxHideMs = 86400000;
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

bool App::isDeskPage(const WString& url) const {
  const ParsedUrl candidate = crackUrl(url);
  const ParsedUrl page = crackUrl(pageUrl);
  return candidate.valid && page.valid && candidate.scheme == page.scheme && candidate.host == page.host &&
         candidate.port == page.port && candidate.path == page.path && candidate.extra.empty();
}

bool App::isSavedFile(const std::filesystem::path& path) const {
  std::error_code ec;
  const auto type = std::filesystem::status(path, ec).type();
  if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::none) return false;
  return std::find(savedFiles.begin(), savedFiles.end(), path) != savedFiles.end();
}

void App::onWebMessage(const WString& source, const WString& json, const std::optional<WString>& filePath) {
  onPageMessage(source, json, filePath);
}

void App::onPageMessage(const WString& source, const WString& json, const std::optional<WString>& filePath) {
  // A handed-on operation that throws loses this one message; the next is handled normally.
  try {
    if (!isDeskPage(source)) return;
    Json message = parseJson(toNarrow(json));
    if (!message.is_object()) return;
    const auto type = jsonString(message, "t");
    if (!type) return;
    const std::string& t = *type;

    if (t == "hits") {
      const Json* rects = jsonArray(message, "rects");
      if (rects && rects->size() <= kMaxHitRects) {
        std::vector<Rect> shapes;
        shapes.reserve(rects->size());
        for (const Json& element : *rects)
          if (auto r = readRect(element)) shapes.push_back(*r);
        hitRects = std::move(shapes);
        // A zone that is missing or rejected leaves no zone at all.
        const auto zoneEntry = message.find("zone");
        const std::optional<Rect> zoneValue = zoneEntry != message.end() ? readRect(*zoneEntry) : std::nullopt;
        zoneValid = zoneValue.has_value();
        if (zoneValue) zoneRect = *zoneValue;
        if (auto scale = jsonNumber(message, "scale"); scale && std::isfinite(*scale) && *scale >= kMinScale &&
                                                         *scale <= kMaxScale)
          pageScale = *scale;
      }
    }
    if (t == "press") {
      if (auto down = jsonBool(message, "down")) pressDown = *down;
    }
    if (t == "fileDrag") {
      if (auto on = jsonBool(message, "on")) fileDragging = *on;
    }
    if (t == "inputFocus") focusInput();
    if (t == "open") {
      if (auto url = jsonString(message, "url")) openUrl(toWide(*url));
    }
    if (t == "updateNow") installUpdate();
    if (t == "screenDrag") {
      if (auto on = jsonBool(message, "on")) screenDragging = *on;
    }
    if (t == "fileGet") fileGet(message);
    if (t == "lanOpen") settleLanPath(message, filePath);
    if (t.rfind("lan", 0) == 0) lanMessage(t, message);
    if (t == "fileOpenPath" || t == "fileReveal") {
      if (auto text = jsonString(message, "path")) {
        const std::filesystem::path path = widePath(toWide(*text));
        if (!isSavedFile(path)) {
          runScript(fileGoneScript());
        } else if (t == "fileReveal" || isRiskyFile(path)) {
          revealFile(path);
        } else {
          openFile(path);
        }
      }
    }
    if (t == "updateCheck") checkForUpdate(jsonIsTrue(message, "manual"));
    if (t == "hide") {
      if (auto ms = jsonNumber(message, "ms"); ms && std::isfinite(*ms) && *ms > 0) {
        hide();
        hideUntil = desktop_.tickMs() + static_cast<std::uint64_t>(std::min(*ms, kMaxHideMs));
      }
    }
  } catch (...) {
  }
}
