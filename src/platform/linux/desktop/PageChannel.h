#pragma once
// How the desk page's messages reach the shell on WebKitGTK, and the files it may name.
//
// WebKit's script message handlers are visible to every frame of the view, and the handler is
// not told which frame posted. So the bridge's prelude, which runs at document start in the top
// frame only, takes the real postMessage of the handler and a secret token into its closure,
// then hides window.webkit so the bridge can put its own object there. Every message travels as
// {"k": token, "m": JSON text of the message, "f": {name,size,lastModified}?}; anything else
// (a frame inside the page, a foreign document, a page that grabbed a fresh handler from an
// iframe) lacks the token and is refused.
//
// WebKit gives pages no file paths either. The shell remembers every file the user handed to the
// page (file chooser, drop), and a "lanOpen" names its file by name, size and modification
// time; the path is only filled in for a remembered file that matches all three.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "web/WebHost.h"

inline constexpr const char kPageHandlerName[] = "tamselDeskShell";

// 32 hexadecimal characters from the system's random source.
std::string newPageToken();

BridgeFlavor linuxBridgeFlavor(const std::string& token);

struct FileDescription {
  std::string name;
  std::uint64_t size = 0;
  std::int64_t lastModifiedMs = 0;
};

struct PageMessage {
  std::string json;                      // the message as JSON text
  std::optional<FileDescription> file;   // the File the bridge handed over, if any
};

// The envelope's message when it carries the token, else nothing.
std::optional<PageMessage> openEnvelope(const std::string& envelope, const std::string& token);

class HandedFiles {
 public:
  void remember(const std::filesystem::path& file);
  void forget() { files_.clear(); }
  // The remembered file with that name, size and modification time (milliseconds, as a page's
  // File.lastModified gives it), still as it was handed over.
  std::optional<std::filesystem::path> match(const FileDescription& description) const;
  std::size_t size() const { return files_.size(); }

 private:
  std::vector<std::filesystem::path> files_;
};
