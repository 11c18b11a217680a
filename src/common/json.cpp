#include "common/json.h"

#include <cmath>
#include <fstream>

Json parseJson(std::string_view text) {
  return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                     /*ignore_comments=*/false);
}

Json loadJsonFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return loadJsonStream(in);
}

Json loadJsonStream(std::istream& in) {
  if (!in) return Json::object();
  Json value = Json::parse(in, nullptr, false, false);
  if (!value.is_object()) return Json::object();
  return value;
}

std::string jsonDump(const Json& value) {
  // Strict handling of invalid UTF-8 would throw; the callers only dump text that came from
  // toNarrow or from a parse, but replacing keeps a stray byte from ever ending the process.
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

WString scriptString(std::string_view utf8) {
  return toWide(jsonDump(Json(std::string(utf8))));
}

namespace {
const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}
}  // namespace

std::optional<std::string> jsonString(const Json& object, const char* key) {
  const Json* v = member(object, key);
  if (!v || !v->is_string()) return std::nullopt;
  return v->get_ref<const std::string&>();
}

std::optional<bool> jsonBool(const Json& object, const char* key) {
  const Json* v = member(object, key);
  if (!v || !v->is_boolean()) return std::nullopt;
  return v->get<bool>();
}

std::optional<double> jsonNumber(const Json& object, const char* key) {
  const Json* v = member(object, key);
  if (!v || !v->is_number()) return std::nullopt;
  return v->get<double>();
}

std::optional<std::uint64_t> jsonUnsigned(const Json& object, const char* key) {
  const Json* v = member(object, key);
  if (!v || !v->is_number()) return std::nullopt;
  if (v->is_number_unsigned()) return v->get<std::uint64_t>();
  if (v->is_number_integer()) {
    const auto i = v->get<std::int64_t>();
    if (i < 0) return std::nullopt;
    return static_cast<std::uint64_t>(i);
  }
  // A floating value counts only when it holds a whole non-negative number in range.
  const double d = v->get<double>();
  if (!std::isfinite(d) || d < 0 || d != std::floor(d) || d >= 18446744073709551616.0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(d);
}

const Json* jsonArray(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v && v->is_array() ? v : nullptr;
}

const Json* jsonObject(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v && v->is_object() ? v : nullptr;
}

bool jsonIsTrue(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v && v->is_boolean() && v->get<bool>();
}
