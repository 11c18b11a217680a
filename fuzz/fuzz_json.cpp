// Arbitrary text through the JSON readers and writers: a key reads as at most one kind, a whole
// number read as unsigned is that number, a parsed value dumps and parses back to itself, and
// any text embedded with scriptString reads back, in the page, as exactly that text.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/json.h"

namespace {

bool allFinite(const Json& v) {
  if (v.is_number_float()) return std::isfinite(v.get<double>());
  if (v.is_structured()) {
    for (const Json& e : v)
      if (!allFinite(e)) return false;
  }
  return true;
}

void checkKey(const Json& object, const char* key) {
  const int kinds = jsonString(object, key).has_value() + jsonBool(object, key).has_value() +
                    jsonNumber(object, key).has_value() + (jsonArray(object, key) != nullptr) +
                    (jsonObject(object, key) != nullptr);
  if (kinds > 1) std::abort();
  if (jsonIsTrue(object, key) && jsonBool(object, key) != true) std::abort();
  const auto whole = jsonUnsigned(object, key);
  if (!whole) return;
  const Json& value = object.at(key);
  if (value.is_number_unsigned() && value.get<std::uint64_t>() != *whole) std::abort();
  if (value.is_number_integer() && !value.is_number_unsigned() && value.get<std::int64_t>() != static_cast<std::int64_t>(*whole)) std::abort();
  if (value.is_number_float() && value.get<double>() != static_cast<double>(*whole)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Json value = parseJson(text);
  if (value.is_object()) {
    for (const auto& item : value.items()) checkKey(value, item.key().c_str());
    checkKey(value, "t");
  }
  if (!value.is_discarded() && allFinite(value) && parseJson(jsonDump(value)) != value) std::abort();

  const WString literal = scriptString(text);
  if (literal.size() < 2 || literal.front() != WChar('"') || literal.back() != WChar('"')) std::abort();
  const Json back = parseJson(toNarrow(literal));
  if (!back.is_string()) std::abort();
  if (toWide(text).size() > 0 || text.empty()) {
    if (back.get<std::string>() != text) std::abort();
  }
  return 0;
}
