#include "PostBox.h"

std::uintptr_t PostBox::file(PayloadPtr payload) {
  std::lock_guard<std::mutex> hold(lock_);
  const std::uintptr_t number = ++next_;
  filed_.emplace(number, std::move(payload));
  return number;
}

PayloadPtr PostBox::take(std::uintptr_t number) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = filed_.find(number);
  if (it == filed_.end()) return nullptr;
  PayloadPtr payload = std::move(it->second);
  filed_.erase(it);
  return payload;
}

void PostBox::clear() {
  std::map<std::uintptr_t, PayloadPtr> gone;
  {
    std::lock_guard<std::mutex> hold(lock_);
    gone.swap(filed_);
  }
}
