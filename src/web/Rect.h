#pragma once
// A shape the page reports, in page pixels.

struct Rect {
  double x = 0;
  double y = 0;
  double w = 0;
  double h = 0;
};
