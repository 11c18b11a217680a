#pragma once
// The receiving pieces every LAN reception shares: where part files lie, the one completion
// step, and the fetch worker.
#include <cstdint>
#include <filesystem>
#include <string>

#include "lan/TransferSocketTable.h"

class App;
class WorkerStop;
class LanFrames;
struct FileJob;

// Where a reception lands: the received folder (asked of the desktop on the main thread when
// the reception begins, not created) and the page's sub-folder text. The folder is made only
// when a complete file is put in place.
struct LanSaveFolders {
  std::filesystem::path received;
  std::string dir;
};
LanSaveFolders lanSaveFolders(App& app, const std::string& dir);

// The request a fetch thread works on (made on the main thread by App::lanGet).
struct LanGetJob {
  App* app = nullptr;
  std::string id;    // the page's identifier of the download
  std::string how;   // "open" or "save"
  std::string name;
  std::string url;   // checked peer address
  std::string key;   // 64 characters, not yet decoded
  std::uint64_t size = 0;
  LanSaveFolders folders;
  std::string lid;   // the transfer id: the address after its last "/"
  std::filesystem::path partPath;
  PartFileClaim claim;  // this fetch's hold on partPath
};

// "lan-" + lid + ".part" in the desktop's private part-file folder (main thread).
std::filesystem::path lanPartPath(App& app, const std::string& lid);

void lanGetWorker(LanGetJob& job, WorkerStop& stop);

// Completes a reception with its result code: moves the part file to a unique name in the
// target folder (1), keeps it (0) or removes it (404, -1), and hands the FileJob to the main
// thread. A cancelled lid turns every result into 404. `origin` (the peer's address) goes into
// the saved file's Internet mark. Any thread.
void finishLanTransfer(App& app, const std::string& id, const std::string& how,
                       const std::string& name, LanFrames& frames, int status,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin);
// The file-system half of it, for callers without an App: fills job's path, ok and resume.
void settleLanTransfer(FileJob& job, const std::string& name, LanFrames& frames, int status,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin);

// The failed-at-once outcome: deskFileDone with ok false and resume false (main thread).
void failLanReceptionNow(App& app, const std::string& id, const std::string& how,
                         const std::string& name);

// One line on standard error, "tamsel-desk: LAN: ...", for failures the page only hears as a
// result.
void lanLog(const std::string& line);
// Why frames are not ready: no size, a key that does not decode, or a part file that cannot be
// written (with its path).
std::string lanFramesFailure(const LanFrames& frames);
