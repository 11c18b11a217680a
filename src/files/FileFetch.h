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
// reports the job as done (or frees it when nobody takes it). Never throws.
// Reaches its owner only through the link, so an owner gone meanwhile is never touched.
void fileFetchWorker(std::shared_ptr<WorkerLink> link, std::unique_ptr<FileJob> job) noexcept;
