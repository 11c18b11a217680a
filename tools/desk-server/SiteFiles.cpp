#include "SiteFiles.h"

#include <fstream>
#include <iterator>

namespace {

std::string contentTypeOf(const std::filesystem::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".js") return "text/javascript; charset=utf-8";
  if (ext == ".json") return "application/json";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".png") return "image/png";
  if (ext == ".txt") return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

}  // namespace

std::optional<SiteFile> readSiteFile(const std::filesystem::path& folder, const std::string& requestPath) {
  if (folder.empty() || requestPath.size() < 2 || requestPath[0] != '/') return std::nullopt;
  std::filesystem::path file = folder;
  for (const auto& piece : std::filesystem::path(requestPath.substr(1))) {
    const std::string name = piece.string();
    // ".." and hidden names never leave or reach outside what the folder offers.
    if (name.empty() || name[0] == '.' || name.find('\\') != std::string::npos) return std::nullopt;
    file /= piece;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  SiteFile out;
  out.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  out.contentType = contentTypeOf(file);
  return out;
}

std::string withScript(const std::string& page, const std::string& scriptPath) {
  const std::string tag = "<script src=\"" + scriptPath + "\"></script>\n";
  const auto end = page.rfind("</body>");
  if (end == std::string::npos) return page + tag;
  return page.substr(0, end) + tag + page.substr(end);
}
