#pragma once
// The receiving end of one LAN transfer: the part file, the key, the resume point, and the
// record opener. Set-up keeps the whole records an earlier attempt stored and resumes after
// them; feed() opens the records as they arrive, in place, and hands their plaintext to a
// writer thread through a few page-aligned record buffers, so the disk and the crypto use two
// cores and memory stays at a few records whatever the file size.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "common/gcm.h"
#include "lan/LanPartStore.h"
#include "lan/PartFileClaim.h"
#include "lan/RecordPipe.h"

class LanFrames {
 public:
  // Never throws for bad input; `ready` tells the outcome. Size 0 or a key that is not
  // 64 hexadecimal digits leaves the part file untouched.
  LanFrames(std::string_view keyHex, std::filesystem::path partPath, std::uint64_t total);
  // The same over any store (partPath stays empty).
  LanFrames(std::string_view keyHex, std::unique_ptr<LanPartStore> store, std::uint64_t total);
  ~LanFrames();
  LanFrames(const LanFrames&) = delete;
  LanFrames& operator=(const LanFrames&) = delete;

  // Opens every whole record in `chunk` (with what is pending from earlier pieces) and queues
  // its plaintext for the writer; the record then counts as received. False means the stream
  // is broken: a bad length, a failed tag, a record that is short before the end or goes past
  // the total, or a write the disk refused earlier (then writeFailed is set).
  bool feed(std::string_view chunk);
  // The same without a copy: a receiver reads straight into receiveSpace() (never past the
  // record being assembled, so nothing after the last record is read) and then commits the
  // bytes that arrived. False from commit() means the stream is broken, as for feed().
  std::span<char> receiveSpace();
  bool commit(std::size_t bytes);
  // Waits until the system has taken the plaintext of every received record; false (and
  // writeFailed set) when the disk refused some.
  bool flushWrites();
  // Empties the part file and starts again from record 0 (between two requests of one fetch).
  void restart();
  // Flushes and closes the part file; false when that failed (the file may be short), which
  // also sets writeFailed.
  bool close();

  // The claim on the part file, held until the transfer has put its file in place.
  void adoptClaim(PartFileClaim claim) { claim_ = std::move(claim); }
  void releaseClaim() { claim_.release(); }
  // Hands the claim on to the frames that take over the same part file.
  PartFileClaim yieldClaim() { return std::move(claim_); }

  std::optional<GcmKey> key;
  std::filesystem::path partPath;
  std::uint64_t total = 0;
  std::uint64_t received = 0;
  std::uint32_t nextIndex = 0;
  // The record being assembled: the first pendingBytes bytes of a buffer one record long.
  std::span<char> pending;
  std::size_t pendingBytes = 0;
  bool ready = false;
  // The disk refused plaintext (full, or gone): the part file holds whole records up to
  // `received` at most, so a later transfer can resume after them.
  bool writeFailed = false;

 private:
  bool openOne(unsigned char* record, std::uint32_t length);
  void takeBuffer();
  void writeRecord(const RecordBuffer& buffer);
  void writeRecords();
  PartFileClaim claim_;
  std::unique_ptr<LanPartStore> store_;
  RecordPipe pipe_;
  RecordBuffer* buffer_ = nullptr;  // holds `pending`
  // Set by the writer: the disk refused a record, and nothing after it is written.
  std::atomic<bool> refused_{false};
  std::thread writer_;
};
