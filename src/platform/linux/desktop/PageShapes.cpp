#include "PageShapes.h"

#include <cmath>

#include "common/json.h"
#include "web/PageMessage.h"

namespace {

constexpr std::size_t kMaxShapes = 2048;
constexpr double kShapeMargin = 2.0;
constexpr double kFileDropMargin = 12.0;
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 8;

void addRect(cairo_region_t* region, const Rect& r, double margin, double factor) {
  const double left = std::floor((r.x - margin) * factor);
  const double top = std::floor((r.y - margin) * factor);
  const double right = std::ceil((r.x + r.w + margin) * factor);
  const double bottom = std::ceil((r.y + r.h + margin) * factor);
  const cairo_rectangle_int_t box{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                                  static_cast<int>(bottom - top)};
  cairo_region_union_rectangle(region, &box);
}

}  // namespace

bool PageShapes::hear(const std::string& json) {
  const Json body = parseJson(json);
  if (!body.is_object()) return false;
  const auto type = jsonString(body, "t");
  if (type == "fileDrag") {
    const auto on = jsonBool(body, "on");
    if (!on || *on == fileDrag_) return false;
    fileDrag_ = *on;
    return zone_.has_value();
  }
  if (type != "hits") return false;
  // The core's rules: too many shapes change nothing, a bad zone leaves none.
  const Json* rects = jsonArray(body, "rects");
  if (!rects || rects->size() > kMaxShapes) return false;
  rects_.clear();
  for (const Json& element : *rects)
    if (auto r = readRect(element)) rects_.push_back(*r);
  const auto zoneEntry = body.find("zone");
  zone_ = zoneEntry != body.end() ? readRect(*zoneEntry) : std::nullopt;
  if (auto scale = jsonNumber(body, "scale"); scale && std::isfinite(*scale) && *scale >= kMinScale &&
                                              *scale <= kMaxScale)
    scale_ = *scale;
  return true;
}

cairo_rectangle_int_t PageShapes::bounds(int windowScale) const {
  cairo_region_t* all = region(windowScale);
  if (zone_) addRect(all, *zone_, kFileDropMargin, scale_ / std::max(1, windowScale));
  cairo_rectangle_int_t box{};
  cairo_region_get_extents(all, &box);
  cairo_region_destroy(all);
  return box;
}

cairo_region_t* PageShapes::region(int windowScale) const {
  cairo_region_t* region = cairo_region_create();
  const double factor = scale_ / std::max(1, windowScale);
  for (const Rect& r : rects_) addRect(region, r, kShapeMargin, factor);
  if (fileDrag_ && zone_) addRect(region, *zone_, kFileDropMargin, factor);
  return region;
}
