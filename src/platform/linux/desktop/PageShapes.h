#pragma once
// The page's shapes as a Wayland input region. A layer surface hears the pointer only over its
// input region, so the shell cannot watch the pointer come near a shape as it does on X11: the
// input region is the shapes themselves, widened as the hit test widens them, and the drop zone
// while a file is dragged. They are read from the page's
// own "hits" and "fileDrag" messages on their way to the core.
#include <optional>
#include <string>
#include <vector>

#include <cairo.h>

#include "web/Rect.h"

class PageShapes {
 public:
  // True when the message changed what region() gives.
  bool hear(const std::string& json);
  // In window pixels, which are page pixels times the page's scale over the window's.
  cairo_region_t* region(int windowScale) const;
  // What a window must cover to show every shape and the drop zone, in the same pixels; empty
  // (zero size) when the page has reported none.
  cairo_rectangle_int_t bounds(int windowScale) const;

 private:
  std::vector<Rect> rects_;
  std::optional<Rect> zone_;
  double scale_ = 1.0;
  bool fileDrag_ = false;
};
