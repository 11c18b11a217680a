#include "PageShapes.h"

#include <algorithm>

namespace {

int divideDown(int value, int by) { return value >= 0 ? value / by : -((-value + by - 1) / by); }
int divideUp(int value, int by) { return -divideDown(-value, by); }

void addRect(cairo_region_t* region, const ScreenRect& r, int windowScale) {
  const int left = divideDown(r.left, windowScale), top = divideDown(r.top, windowScale);
  const cairo_rectangle_int_t box{left, top, divideUp(r.right, windowScale) - left,
                                  divideUp(r.bottom, windowScale) - top};
  cairo_region_union_rectangle(region, &box);
}

}  // namespace

cairo_region_t* PageShapes::region(int windowScale) const {
  const int scale = std::max(1, windowScale);
  cairo_region_t* region = cairo_region_create();
  for (const ScreenRect& r : region_.shapes) addRect(region, r, scale);
  if (region_.zoneTakesMouse && region_.zone) addRect(region, *region_.zone, scale);
  return region;
}

cairo_rectangle_int_t PageShapes::bounds(int windowScale) const {
  cairo_region_t* all = region(windowScale);
  if (region_.zone) addRect(all, *region_.zone, std::max(1, windowScale));
  cairo_rectangle_int_t box{};
  cairo_region_get_extents(all, &box);
  cairo_region_destroy(all);
  return box;
}
