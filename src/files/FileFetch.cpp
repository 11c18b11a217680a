#include "files/FileFetch.h"

#include <string>

#include "common/WorkerLink.h"
#include "common/http.h"
#include "files/Saving.h"

namespace {

bool isHexDigit(WChar c) {
  return (c >= WChar('0') && c <= WChar('9')) || (c >= WChar('a') && c <= WChar('f')) ||
         (c >= WChar('A') && c <= WChar('F'));
}

std::filesystem::path partFileOf(const std::filesystem::path& path) {
  std::filesystem::path part = path;
  part += ".part";
  return part;
}

// The part file is created here, exclusively, so that a file of the user's that took the
// ".part" name after the name was chosen is never truncated; the save moves on to a free name.
std::filesystem::path claimPartFile(FileJob& job) {
  for (;;) {
    if (job.path.empty()) return {};
    const std::filesystem::path part = partFileOf(job.path);
    const FileOpResult created = createNewFile(part);
    if (created == FileOpResult::Done) return part;
    if (created == FileOpResult::Failed) return {};
    ReservedPath next = job.reservation.next();
    if (next.empty()) return {};
    job.reservation = std::move(next);
    job.path = job.reservation.path();
  }
}

}  // namespace

bool isServerFileUrl(WStringView url, WStringView origin) {
  if (origin.empty()) return false;
  WString prefix(origin);
  prefix += DESK_W("/desk-file/");
  if (url.size() != prefix.size() + 32 || url.substr(0, prefix.size()) != prefix) return false;
  for (WChar c : url.substr(prefix.size()))
    if (!isHexDigit(c)) return false;
  return true;
}

void fileFetchWorker(std::shared_ptr<WorkerLink> link, std::unique_ptr<FileJob> job) noexcept {
  try {
    if (!job || !link) return;
    const std::filesystem::path part = claimPartFile(*job);
    if (!part.empty()) {
      std::string unused;
      if (httpGet(job->url, unused, part, kMaxServerFileBytes, 0)) {
        placeSavedFile(*job, part, job->url);
      } else {
        removeFile(part);
      }
    }
    // A job nobody takes (closing, queue gone) is freed here: the page hears nothing.
    link->with([&](WorkerEvents& events) { events.fileDone(std::move(job)); });
  } catch (...) {
  }
}
