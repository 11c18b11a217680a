#pragma once
// Plain files served by their request path from a folder, the way the desk application's own
// web server would serve its page, styles and scripts.
#include <filesystem>
#include <optional>
#include <string>

struct SiteFile {
  std::string body;
  std::string contentType;
};

// The file `requestPath` ("/a/b.js") names under `folder`; nothing for a path that climbs out
// of it, a hidden name, a folder, or a file that cannot be read.
std::optional<SiteFile> readSiteFile(const std::filesystem::path& folder, const std::string& requestPath);

// The page with `<script src="scriptPath"></script>` added at the end of its body.
std::string withScript(const std::string& page, const std::string& scriptPath);
