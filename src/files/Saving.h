#pragma once
// The saving rules shared by every way a file arrives (server fetch, LAN fetch, LAN sink):
// where it goes, what it is called, how it is put in place and marked.
//
// A save goes like this:
//   auto job = std::make_unique<FileJob>();
//   job->reservation = uniqueSavePath(app, name, dir);   // main thread; the name is now held
//   job->path = job->reservation.path();                 // what the page hears, ok or not
//   ... receive into some part file ...
//   placeSavedFile(*job, partFile, originUrl);           // any thread; sets ok, may renumber
//   app.postPayload(WM_FILE_DONE, 0, std::move(job));    // or app.onFileDone on the main thread
// The name stays held until the FileJob is freed (by App::onFileDone, or by a refused post).
// (Off the main thread, reserveFreePath(folder computed earlier, cleanFileName(name)) does the same.)
#include <filesystem>
#include <string_view>

#include "common/text.h"
#include "files/FileJob.h"
#include "files/FolderModel.h"
#include "files/FilePlatform.h"
#include "files/ReservedPath.h"

class App;

inline constexpr std::size_t kMaxFileNameUnits = 120;
inline constexpr std::size_t kMaxFolderNameUnits = 80;
inline constexpr std::size_t kMaxFolderLevels = 16;
// A longer cleaned name loses leading characters until its UTF-8 form fits too, leaving room
// for " (n)" and ".part" under the 255-byte limit of common file systems.
inline constexpr std::size_t kMaxFileNameBytes = 230;

// The user's Downloads folder, else dataDir/"received"; created with its parents (a failure is
// ignored). Main thread (it asks the desktop).
std::filesystem::path receivedFolder(App& app);
// The same folder, not created: for a save that makes it only once it has a file to put there.
std::filesystem::path receivedFolderPath(App& app);

// The received folder plus the cleaned levels of `dir` ("/" or "\\" separated, "." and ".."
// pieces skipped, each level at most 80 units, at most 16 levels), created. When it cannot be
// created, the received folder itself. Main thread.
std::filesystem::path saveFolder(App& app, std::string_view dir);
// The same below a given received folder; touches nothing but `folders`.
std::filesystem::path saveFolderUnder(const std::filesystem::path& received, std::string_view dir,
                                      FolderModel& folders = diskFolders());

// The last path component with control characters and <>:"/\|?* made "_", trailing dots and
// spaces removed, at most 120 units (the last ones kept), never empty ("_"), and with "_" put
// before a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, judged on the part before
// the first dot).
WString cleanFileName(WStringView name);

// The final path for a save of `name` into `dir`, held (see ReservedPath.h): the first of clean,
// "stem (1).ext", "stem (2).ext"... that is free, numbering on past 999. Empty only when no
// free name exists at all. Main thread. These App forms ask the App's saveFolders (the disk
// unless a fuzz target set it).
ReservedPath uniqueSavePath(App& app, std::string_view name, std::string_view dir);

// Puts a finished part file in place at job.path without ever replacing anything: when the name
// was taken meanwhile, the next free name is held instead and job.path follows it. Then the file
// loses any execute bit and gets the Internet mark for originUrl. Sets and returns job.ok.
// On failure the part file stays where it is. Any thread.
bool placeSavedFile(FileJob& job, const std::filesystem::path& partFile, WStringView originUrl);
