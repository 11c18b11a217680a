// The desk page's messages: checked for their source, parsed, and looked up in the catalogue
// below, which either acts at once (pointer state, focus, hide, open) or hands the message
// whole to the subsystem that owns the work. Nothing answers the page from here except the
// "file gone" callback.
#include <cmath>
#include <string_view>

#include "app/App.h"
#include "common/url.h"
#include "web/PageMessage.h"

namespace {

constexpr std::size_t kMaxHitRects = 2048;
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 8;

struct PageMessage {
  const std::string& type;
  Json& body;
  const std::optional<WString>& filePath;  // the file object handed over with it, if any
};

void takeHits(App& app, const PageMessage& m) {
  const Json* rects = jsonArray(m.body, "rects");
  if (!rects || rects->size() > kMaxHitRects) return;  // then nothing changes, not even the zone
  std::vector<Rect> shapes;
  shapes.reserve(rects->size());
  for (const Json& element : *rects)
    if (auto r = readRect(element)) shapes.push_back(*r);
  app.hitRects = std::move(shapes);
  // A zone that is missing or rejected leaves no zone at all.
  const auto zoneEntry = m.body.find("zone");
  const std::optional<Rect> zone = zoneEntry != m.body.end() ? readRect(*zoneEntry) : std::nullopt;
  app.zoneValid = zone.has_value();
  if (zone) app.zoneRect = *zone;
  if (auto scale = jsonNumber(m.body, "scale"); scale && std::isfinite(*scale) && *scale >= kMinScale &&
                                                 *scale <= kMaxScale)
    app.pageScale = *scale;
  app.reportPageRegion();
}

void takeFlag(const PageMessage& m, const char* key, bool& flag) {
  if (auto value = jsonBool(m.body, key)) flag = *value;
}

void openOrReveal(App& app, const PageMessage& m) {
  if (auto path = jsonString(m.body, "path")) app.openSavedFile(widePath(toWide(*path)), m.type == "fileReveal");
}

struct PageEntry {
  std::string_view type;
  bool prefix;        // matches every type that begins with `type`
  const char* reads;  // the keys it reads, and their kinds
  void (*handle)(App&, const PageMessage&);
};

// In the order of the checks; every entry that matches runs, so "lanOpen" has its "_path"
// settled before the LAN catalogue sees it.
const PageEntry kCatalogue[] = {
    {"hits", false, "rects array, zone rect, scale number", takeHits},
    {"press", false, "down boolean", [](App& app, const PageMessage& m) { takeFlag(m, "down", app.pressDown); }},
    {"fileDrag", false, "on boolean",
     [](App& app, const PageMessage& m) {
       takeFlag(m, "on", app.fileDragging);
       app.reportPageRegion();
     }},
    {"inputFocus", false, "nothing", [](App& app, const PageMessage&) { app.focusInput(); }},
    {"open", false, "url string",
     [](App& app, const PageMessage& m) {
       if (auto url = jsonString(m.body, "url")) app.openUrl(toWide(*url));
     }},
    {"updateNow", false, "nothing", [](App& app, const PageMessage&) { app.installUpdate(); }},
    {"screenDrag", false, "on boolean", [](App& app, const PageMessage& m) { takeFlag(m, "on", app.screenDragging); }},
    {"fileGet", false, "the whole message", [](App& app, const PageMessage& m) { app.fileGet(m.body); }},
    {"lanOpen", false, "the handed-over file", [](App&, const PageMessage& m) { settleLanPath(m.body, m.filePath); }},
    {"lan", true, "the whole message", [](App& app, const PageMessage& m) { app.lanMessage(m.type, m.body); }},
    {"fileOpenPath", false, "path string", openOrReveal},
    {"fileReveal", false, "path string", openOrReveal},
    {"updateCheck", false, "manual true",
     [](App& app, const PageMessage& m) { app.checkForUpdate(jsonIsTrue(m.body, "manual")); }},
    {"hide", false, "ms number",
     [](App& app, const PageMessage& m) {
       if (auto ms = jsonNumber(m.body, "ms")) app.hideFor(*ms);
     }},
};

bool matches(const PageEntry& entry, std::string_view type) {
  return entry.prefix ? type.substr(0, entry.type.size()) == entry.type : type == entry.type;
}

}  // namespace

bool App::isDeskPage(const WString& url) const {
  const ParsedUrl candidate = crackUrl(url);
  const ParsedUrl page = crackUrl(pageUrl);
  return candidate.valid && page.valid && candidate.scheme == page.scheme && candidate.host == page.host &&
         candidate.port == page.port && candidate.path == page.path && candidate.extra.empty();
}

void App::onWebMessage(const WString& source, const WString& json, const std::optional<WString>& filePath) {
  onPageMessage(source, json, filePath);
}

void App::onPageMessage(const WString& source, const WString& json, const std::optional<WString>& filePath) {
  if (!isDeskPage(source)) return;
  Json body = parseJson(toNarrow(json));
  if (!body.is_object()) return;
  const auto type = jsonString(body, "t");
  if (!type) return;
  const PageMessage message{*type, body, filePath};
  for (const PageEntry& entry : kCatalogue) {
    if (!matches(entry, *type)) continue;
    // A handed-on operation that throws (a file system call, an allocation) loses this one
    // message and leaves the state as it got it; the page hears nothing, as for any message
    // it could not have meant, and the next message is handled normally.
    try {
      entry.handle(*this, message);
    } catch (...) {
      return;
    }
  }
}
