#pragma once
// The page's shapes as a Wayland input region. A layer surface hears the pointer only over its
// input region, so the shell cannot watch the pointer come near a shape as it does on X11: the
// input region is the shapes themselves, widened as the pointer test widens them, and the drop
// zone while a file is dragged. The core hands them over as the page reports them.
#include <cairo.h>

#include "app/Desktop.h"

class PageShapes {
 public:
  void set(const PageRegion& region) { region_ = region; }
  // In window pixels: the core's client pixels over the window's scale.
  cairo_region_t* region(int windowScale) const;
  // What a window must cover to show every shape and the drop zone, in the same pixels; empty
  // (zero size) when the page has reported none.
  cairo_rectangle_int_t bounds(int windowScale) const;

 private:
  PageRegion region_;
};
