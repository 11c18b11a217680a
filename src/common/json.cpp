#include "common/json.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

Json parseJson(std::string_view text) {
  return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                     /*ignore_comments=*/false);
}

Json loadJsonFile(const std::filesystem::path& path) {
  std::string ignored;
  return loadJsonFile(path, ignored);
}

namespace {

// The document parser, remembering where the text stopped being JSON.
struct PositionedParser : nlohmann::detail::json_sax_dom_parser<Json> {
  explicit PositionedParser(Json& result) : json_sax_dom_parser(result, false) {}
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
    errorAt = position;
    return false;
  }
  std::size_t errorAt = 0;
};

}  // namespace

Json loadJsonFile(const std::filesystem::path& path, std::string& whyIgnored) {
  whyIgnored.clear();
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return Json::object();
  std::ifstream in(path, std::ios::binary);
  return loadJsonStream(in, whyIgnored);
}

Json loadJsonStream(std::istream& in) {
  std::string ignored;
  return loadJsonStream(in, ignored);
}

Json loadJsonStream(std::istream& in, std::string& whyIgnored) {
  whyIgnored.clear();
  if (!in) {
    whyIgnored = "cannot be read";
    return Json::object();
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    whyIgnored = "cannot be read";
    return Json::object();
  }
  Json value;
  PositionedParser parser(value);
  if (!Json::sax_parse(text, &parser, Json::input_format_t::json, true, false)) {
    // The parser has read the offending character when it stops.
    const std::size_t at = std::min(parser.errorAt > 0 ? parser.errorAt - 1 : 0, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < at; ++i) {
      if (text[i] == '\n') {
        ++line;
        lineStart = i + 1;
      }
    }
    const std::size_t column = at - lineStart + 1;
    whyIgnored = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": not valid JSON";
    return Json::object();
  }
  if (!value.is_object()) {
    whyIgnored = "not a JSON object";
    return Json::object();
  }
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
