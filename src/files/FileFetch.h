#pragma once
// Downloads of files the desk page offers from its server.
#include <cstdint>
#include <memory>

#include "common/text.h"
#include "files/FileJob.h"

class WorkerLink;

// 20 MiB and one byte: the largest body a server file may have.
inline constexpr std::uint64_t kMaxServerFileBytes = 20971521;

// True only for origin + "/desk-file/" + exactly 32 hexadecimal digits (either case), nothing
// after them; the prefix compared case-sensitively.
bool isServerFileUrl(WStringView url, WStringView origin);

// The worker of one fetch: claims job->path + ".part", downloads into it, puts it in place and
// hands the job to the main thread with WM_FILE_DONE (or frees it when that is refused).
// Never throws.
// Reaches the App only through the link, so an App destroyed meanwhile is never touched.
void fileFetchWorker(std::shared_ptr<WorkerLink> link, std::unique_ptr<FileJob> job) noexcept;
