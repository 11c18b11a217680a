#include "lan/LanFrames.h"

#include <algorithm>

#include "common/records.h"
#include "lan/LanProtocol.h"

namespace {

std::uint32_t readLength(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

bool lengthOk(std::uint32_t length) {
  return length >= kMinRecordLength && length <= kMaxRecordLength;
}

}  // namespace

LanFrames::LanFrames(std::string_view keyHex, std::filesystem::path path, std::uint64_t totalBytes)
    : LanFrames(keyHex, std::make_unique<LanPartFile>(path), totalBytes) {
  partPath = std::move(path);
}

LanFrames::LanFrames(std::string_view keyHex, std::unique_ptr<LanPartStore> store, std::uint64_t totalBytes)
    : total(totalBytes), store_(std::move(store)) {
  if (total == 0 || !store_) return;
  key = openGcmKey(keyHex);
  if (!key) return;
  const std::uint64_t existing = store_->prepare();
  std::uint64_t keep = 0;
  if (existing < total) {
    keep = existing / kLanRecordPlain * kLanRecordPlain;
    nextIndex = static_cast<std::uint32_t>(existing / kLanRecordPlain);
  } else {
    keep = total;
    nextIndex = static_cast<std::uint32_t>(lanRecordCount(total));
  }
  ready = store_->openAt(keep) && pipe_.valid();
  received = keep;
  takeBuffer();
}

LanFrames::~LanFrames() {
  // What was received still reaches the file, even when nobody closed it.
  pipe_.end();
  if (writer_.joinable()) writer_.join();
}

void LanFrames::takeBuffer() {
  buffer_ = pipe_.takeEmpty();
  pending = buffer_ ? std::span<char>(reinterpret_cast<char*>(buffer_->record()), kLanRecordSpan)
                    : std::span<char>();
}

void LanFrames::writeRecord(const RecordBuffer& buffer) {
  // After a refusal nothing more is written: the part file keeps only records in order.
  if (refused_.load()) return;
  if (!store_->append(reinterpret_cast<const char*>(buffer.payload()), buffer.bytes)) refused_.store(true);
}

void LanFrames::writeRecords() {
  try {
    while (RecordBuffer* buffer = pipe_.takeFull()) {
      writeRecord(*buffer);
      pipe_.giveBack(buffer);
    }
  } catch (...) {
    // Nothing leaves the thread; the receiving side stops at its next record.
    refused_.store(true);
    try {
      pipe_.close();
    } catch (...) {
    }
  }
}

bool LanFrames::openOne(unsigned char* record, std::uint32_t length) {
  const std::size_t n = length - kRecordOverhead;
  // Every record but the last is full, and none goes past the stated total: anything else
  // would leave a part file whose whole-record count no longer names the resume point.
  if (received + n > total || (n != kMaxRecordPlain && received + n != total)) return false;
  const unsigned char* nonce = record + 4;
  unsigned char* cipher = record + 4 + kGcmNonceBytes;
  const unsigned char* tag = cipher + n;
  // Opened in place: the plaintext takes the ciphertext's bytes, so one record-sized buffer
  // is all a transfer holds.
  if (!key || !openRecord(*key, nextIndex, nonce, cipher, n, tag, cipher)) return false;
  if (refused_.load()) {
    writeFailed = true;
    return false;
  }
  buffer_->bytes = n;
  if (!writer_.joinable()) {
    try {
      writer_ = std::thread([this] { writeRecords(); });
    } catch (...) {
    }
  }
  if (writer_.joinable()) {
    pipe_.passFull(buffer_);
    takeBuffer();
  } else {
    // No thread to spare: the record is written here and now.
    writeRecord(*buffer_);
    if (refused_.load()) {
      writeFailed = true;
      return false;
    }
  }
  received += n;
  ++nextIndex;
  return true;
}

std::span<char> LanFrames::receiveSpace() {
  // Until the length is known, no more than the shortest record (4 + 29 bytes) can be asked for.
  std::size_t end = 4 + kMinRecordLength;
  if (pendingBytes >= 4) {
    end = std::size_t{readLength(reinterpret_cast<const unsigned char*>(pending.data()))} + 4;
  }
  if (end > pending.size() || end <= pendingBytes) return {};
  return std::span<char>(pending.data() + pendingBytes, end - pendingBytes);
}

bool LanFrames::commit(std::size_t bytes) {
  const std::size_t before = pendingBytes;
  pendingBytes += bytes;
  if (pendingBytes < 4) return true;
  auto* head = reinterpret_cast<unsigned char*>(pending.data());
  const std::uint32_t length = readLength(head);
  if (before < 4 && !lengthOk(length)) return false;
  if (pendingBytes < std::size_t{length} + 4) return true;
  pendingBytes = 0;
  return openOne(head, length);
}

bool LanFrames::feed(std::string_view chunk) {
  while (!chunk.empty()) {
    const std::span<char> space = receiveSpace();
    if (space.empty()) return false;
    const std::size_t n = std::min(space.size(), chunk.size());
    std::copy_n(chunk.data(), n, space.data());
    chunk.remove_prefix(n);
    if (!commit(n)) return false;
  }
  return true;
}

bool LanFrames::flushWrites() {
  pipe_.waitDrained();
  if (refused_.load()) writeFailed = true;
  return !writeFailed;
}

void LanFrames::restart() {
  pipe_.waitDrained();
  refused_.store(false);
  if (store_) store_->openAt(0);
  nextIndex = 0;
  received = 0;
  pendingBytes = 0;
  writeFailed = false;
}

bool LanFrames::close() {
  flushWrites();
  if (store_ && !store_->close()) writeFailed = true;
  return !writeFailed;
}
