#pragma once
// The receiving pieces every LAN reception shares: where it lands, the one completion step,
// the fetch worker, and the terminal's account of failures.
#include <cstdint>
#include <filesystem>
#include <string>

#include "lan/LanResult.h"
#include "lan/PartFileClaim.h"

class LanFrames;
class WorkerLink;
class WorkerStop;
struct FileJob;
struct LanSeams;

// Where a reception lands: the received folder (asked of the owner on the main thread when
// the reception begins, not created) and the page's sub-folder text. The folder is made only
// when a complete file is put in place.
struct LanSaveFolders {
  std::filesystem::path received;
  std::string dir;
};

// A reception the page asks for: "lanGet" from a peer address, "lanSinkGet" into a sink.
struct LanReceiveRequest {
  std::string id;    // the page's identifier of the download
  std::string how;   // "open" or "save"
  std::string name;
  std::string key;   // 64 characters, not yet decoded
  std::string dir;
  std::uint64_t size = 0;
  std::string url;   // lanGet: the peer address
  std::string lid;   // lanSinkGet: the transfer id
};

// What a fetch thread works on (made on the main thread by LanRuntime::get).
struct LanGetJob {
  LanReceiveRequest request;  // with a checked peer address
  LanSaveFolders folders;
  std::string lid;   // the transfer id: the address after its last "/"
  std::filesystem::path partPath;
  PartFileClaim claim;  // this fetch's hold on partPath
};

void lanGetWorker(LanGetJob& job, WorkerStop& stop, const LanSeams& seams);

// Completes a reception with its result: moves the part file to a unique name in the target
// folder (Complete), keeps it (Incomplete) or removes it (Gone, Broken), and reports the
// FileJob as done. A cancelled lid turns every result into Gone. `origin` (the peer's address)
// goes into the saved file's Internet mark. Any thread.
void finishLanTransfer(WorkerLink& events, const std::string& id, const std::string& how,
                       const std::string& name, LanFrames& frames, LanResult result,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin);
// The file-system half of it, for callers without events: fills job's path, ok and resume.
void settleLanTransfer(FileJob& job, const std::string& name, LanFrames& frames, LanResult result,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin);

// One line on standard error, "tamsel-desk: LAN: ...", for failures the page only hears as a
// result.
void lanLog(const std::string& line);
// Why frames are not ready: no size, a key that does not decode, or a part file that cannot be
// written (with its path).
std::string lanFramesFailure(const LanFrames& frames);
