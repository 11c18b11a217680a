#include "Samples.h"

#include <cstddef>

namespace {

// The shell takes at most 20 MiB + 1 byte from its server; this sample is one byte more.
constexpr std::size_t kOverCap = 20971522;

struct Sample {
  const char* id;
  const char* name;
  const char* kind;  // "ordinary", "oversize" or "risky": what the page tells the user to expect
};

constexpr Sample kSamples[] = {
    {"5a17c0de0d1e4b3a9c2f00000000a001", "小屋说明-readme.txt", "ordinary"},
    {"5a17c0de0d1e4b3a9c2f00000000b002", "too-big-21MiB.bin", "oversize"},
    {"5a17c0de0d1e4b3a9c2f00000000c003", "setup-helper.sh", "risky"},
};

std::string bodyOf(const Sample& sample) {
  const std::string kind = sample.kind;
  if (kind == "oversize") return std::string(kOverCap, '\0');
  if (kind == "risky") {
    return "#!/bin/sh\n"
           "# A sample script from the Tamsel demo desk. The shell never starts a script it downloaded;\n"
           "# it only shows it in its folder.\n"
           "echo 'Tamsel demo: this script does nothing.'\n";
  }
  return "在线Tamsel桌面小屋 · 示例文件\n"
         "Tamsel desk companion · sample file\n"
         "\n"
         "这个文件由演示服务器提供，由桌面小屋下载到“下载”文件夹并打开。\n"
         "The demo server offered this file; the desk companion saved it in your Downloads folder\n"
         "under a clean, unique name and opened it with its default application.\n";
}

}  // namespace

nlohmann::json sampleList() {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& s : kSamples) {
    const std::size_t size = std::string(s.kind) == "oversize" ? kOverCap : bodyOf(s).size();
    list.push_back({{"id", s.id}, {"name", s.name}, {"kind", s.kind}, {"size", size}});
  }
  return list;
}

std::optional<std::string> sampleBody(const std::string& id) {
  for (const auto& s : kSamples) {
    if (id == s.id) return bodyOf(s);
  }
  return std::nullopt;
}
