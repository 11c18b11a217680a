// App's server-file members: accepting a "fileGet", finishing every save on the main thread,
// opening or revealing saved files, and where saves go.
#include <array>
#include <atomic>

#include "app/App.h"
#include "app/SavePlaces.h"
#include "files/FileFetch.h"
#include "files/FileJob.h"
#include "files/Saving.h"
#include "web/Callbacks.h"

namespace {

std::string textOf(const Json& message, const char* key) { return jsonString(message, key).value_or(std::string()); }

// Types that run code when the desktop opens them: the Windows ones, and those a Linux desktop
// executes or installs (launchers, scripts, self-running archives, packages).
// Opening a disk image mounts it, a package installs, a console snap-in, help file, shell
// command file or search/library/settings link runs what it names: those count too.
constexpr std::array<const char*, 52> kRiskyExtensions = {
    ".exe", ".bat", ".cmd", ".com", ".scr", ".msi", ".msp", ".ps1", ".vbs",        ".vbe",
    ".js",  ".jse", ".wsf", ".wsh", ".hta", ".lnk", ".reg", ".cpl", ".pif",        ".jar",
    ".appref-ms", ".url", ".desktop", ".sh", ".bash", ".zsh", ".csh", ".run", ".bin", ".appimage",
    ".deb", ".rpm", ".flatpakref", ".py", ".pl", ".rb",
    ".msc", ".chm", ".scf", ".iso", ".img", ".vhd", ".vhdx", ".appinstaller", ".msix", ".msixbundle",
    ".appx", ".appxbundle", ".xll", ".library-ms", ".search-ms", ".settingcontent-ms"};

// Downloads running at once. A desk page offers a few files at a time; a page stuck in a loop
// must not start a thread per message. The next one fails as a download that cannot start.
constexpr int kMaxFileFetches = 4;
std::atomic<int> runningFetches{0};

FolderModel& foldersOf(const App& app) { return app.saveFolders ? *app.saveFolders : diskFolders(); }

}  // namespace

std::filesystem::path receivedFolderPath(App& app) {
  if (auto downloads = app.desktop().downloadsFolder(); downloads && !downloads->empty()) return *downloads;
  return app.dataDir / "received";
}

std::filesystem::path receivedFolder(App& app) {
  const std::filesystem::path folder = receivedFolderPath(app);
  foldersOf(app).makeFolders(folder);
  return folder;
}

std::filesystem::path saveFolder(App& app, std::string_view dir) {
  return saveFolderUnder(receivedFolder(app), dir, foldersOf(app));
}

ReservedPath uniqueSavePath(App& app, std::string_view name, std::string_view dir) {
  return reserveFreePath(saveFolder(app, dir), cleanFileName(toWide(name)), 0, foldersOf(app));
}

void App::fileGet(const Json& message) {
  const WString url = toWide(textOf(message, "url"));
  if (!isServerFileUrl(url, serverOrigin)) return;
  const bool room = runningFetches.fetch_add(1) < kMaxFileFetches;
  struct Count {
    bool held = true;
    ~Count() {
      if (held) --runningFetches;
    }
  } count;

  auto job = std::make_unique<FileJob>();
  job->id = textOf(message, "id");
  job->how = textOf(message, "how") == "open" ? "open" : "save";
  job->url = url;
  const std::string name = textOf(message, "name");
  const std::string dir = textOf(message, "dir");
  if (room) {
    job->reservation = uniqueSavePath(*this, name, dir);
    job->path = job->reservation.path();
  }
  if (job->path.empty()) {
    // Too many downloads already, or not one free name in a million: the save fails at once.
    onFileDone(std::move(job));
    return;
  }
  // No thread: the job goes with the work and the page is told nothing.
  auto held = std::make_shared<std::unique_ptr<FileJob>>(std::move(job));
  count.held = !desktop_.startWorker("fileFetch", [link = workerLink, held] {
    fileFetchWorker(link, std::move(*held));
    --runningFetches;
  });
}

void App::onFileDone(std::unique_ptr<FileJob> job) {
  if (!job || closing) return;
  bool blocked = false;
  if (job->ok) {
    savedFiles.push_back(job->path);
    if (job->how == "open") {
      if (isRiskyFile(job->path)) {
        revealFile(job->path);
        blocked = true;
      } else {
        openFile(job->path);
      }
    }
  }
  const Json result = {{"blocked", blocked},
                       {"how", job->how},
                       {"id", job->id},
                       {"ok", job->ok},
                       {"path", toNarrow(pathWide(job->path))},
                       {"resume", job->resume}};
  runScript(fileDoneScript(result));
}

bool App::isRiskyFile(const std::filesystem::path& path) const {
  const WString name = pathWide(path.filename());
  const std::size_t dot = name.rfind(WChar('.'));
  if (dot == WString::npos || dot == 0) return false;
  const std::string extension = toNarrow(lowerWide(WStringView(name).substr(dot)));
  for (const char* risky : kRiskyExtensions)
    if (extension == risky) return true;
  return false;
}

void App::revealFile(const std::filesystem::path& path) { desktop().revealFile(path); }

void App::openFile(const std::filesystem::path& path) { desktop().openFile(path); }
