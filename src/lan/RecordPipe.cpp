#include "lan/RecordPipe.h"

#include "lan/LanProtocol.h"

namespace {

// A page before the record for its head, the record, and the rest of its last page.
constexpr std::size_t kRecordRoom = (4096 + kLanRecordSpan + 4095) / 4096 * 4096;

}  // namespace

RecordBuffer::RecordBuffer() : base_(static_cast<unsigned char*>(allocatePages(kRecordRoom))) {}

RecordBuffer::~RecordBuffer() {
  if (base_) freePages(base_, kRecordRoom);
}

RecordPipe::RecordPipe(std::size_t depth) {
  for (std::size_t i = 0; i < depth; ++i) {
    auto buffer = std::make_unique<RecordBuffer>();
    valid_ = valid_ && buffer->valid();
    empty_.push_back(buffer.get());
    buffers_.push_back(std::move(buffer));
  }
}

RecordBuffer* RecordPipe::takeEmpty() {
  std::unique_lock guard(lock_);
  wake_.wait(guard, [&] { return closed_ || !empty_.empty(); });
  if (closed_) return nullptr;
  RecordBuffer* buffer = empty_.back();
  empty_.pop_back();
  return buffer;
}

void RecordPipe::passFull(RecordBuffer* buffer) {
  {
    std::lock_guard guard(lock_);
    full_.push_back(buffer);
    ++passed_;
  }
  wake_.notify_all();
}

void RecordPipe::end() {
  {
    std::lock_guard guard(lock_);
    ended_ = true;
  }
  wake_.notify_all();
}

RecordBuffer* RecordPipe::takeFull() {
  std::unique_lock guard(lock_);
  wake_.wait(guard, [&] { return closed_ || ended_ || !full_.empty(); });
  if (closed_ || full_.empty()) return nullptr;
  RecordBuffer* buffer = full_.front();
  full_.pop_front();
  return buffer;
}

void RecordPipe::giveBack(RecordBuffer* buffer) {
  {
    std::lock_guard guard(lock_);
    empty_.push_back(buffer);
    --passed_;
  }
  wake_.notify_all();
}

void RecordPipe::waitDrained() {
  std::unique_lock guard(lock_);
  wake_.wait(guard, [&] { return closed_ || passed_ == 0; });
}

void RecordPipe::close() {
  {
    std::lock_guard guard(lock_);
    closed_ = true;
  }
  wake_.notify_all();
}
