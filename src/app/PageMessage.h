#pragma once
// Reading the page's messages: the shapes it reports for hit testing.
#include <optional>
#include <string>

#include "app/App.h"
#include "common/json.h"

// [x, y, w, h]: four finite numbers of at most 100,000 in absolute value, w and h not negative.
std::optional<Rect> readRect(const Json& value);

// A "lanOpen" message names its local file in "_path" only when the web host handed one over
// (filePath); any "_path" the page wrote itself is removed first.
void settleLanPath(Json& message, const std::optional<WString>& filePath);
