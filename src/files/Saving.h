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
//   events.fileDone(std::move(job));                     // or app.onFileDone on the main thread
// The name stays held until the FileJob is freed (by App::onFileDone, or by a refused post).
// (Off the main thread, reserveFreePath(folder computed earlier, cleanFileName(name)) does the same.)
// The App's forms (uniqueSavePath and the received folder) are in app/SavePlaces.h.
#include <filesystem>
#include <string_view>

#include "common/text.h"
#include "files/FileJob.h"
#include "files/FolderModel.h"
#include "files/FilePlatform.h"
#include "files/ReservedPath.h"
#include "desk_file_names.h"

inline constexpr std::size_t kMaxFileNameUnits = 120;
inline constexpr std::size_t kMaxFolderNameUnits = 80;
inline constexpr std::size_t kMaxFolderLevels = 16;
// Where the file system counts bytes, a longer cleaned name loses leading characters until its
// UTF-8 form fits too, leaving room for " (n)" and ".part" under the 255-byte limit. Where it
// counts UTF-16 units (NTFS), 120 units and those suffixes are always within its 255.
inline constexpr std::size_t kMaxFileNameBytes = 230;
static_assert(kMaxFileNameUnits + 20 < 255);

// The received folder plus the cleaned levels of `dir` ("/" or "\\" separated, "." and ".."
// pieces skipped, each level at most 80 units, at most 16 levels), created in `folders`. When it
// cannot be created, the received folder itself. Any thread.
std::filesystem::path saveFolderUnder(const std::filesystem::path& received, std::string_view dir,
                                      FolderModel& folders = diskFolders());

// The last path component with control characters and <>:"/\|?* made "_", trailing dots and
// spaces removed, at most 120 units (the last ones kept), never empty ("_"), and with "_" put
// before a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, judged on the part before
// the first dot).
WString cleanFileName(WStringView name);

// Puts a finished part file in place at job.path without ever replacing anything: when the name
// was taken meanwhile, the next free name is held instead and job.path follows it. Then the file
// loses any execute bit and gets the Internet mark for originUrl. Sets and returns job.ok.
// On failure the part file stays where it is. Any thread.
bool placeSavedFile(FileJob& job, const std::filesystem::path& partFile, WStringView originUrl);
