#include "driver/console.h"

#include "driver/progress.h"

namespace kirva {

std::unique_lock<std::mutex> Console::quiet() {
  return progress_ != nullptr ? progress_->pause() : std::unique_lock<std::mutex>();
}

void Console::done(std::unique_lock<std::mutex>& lock) {
  if (lock.owns_lock()) std::fflush(out_);
}

void Console::line(std::string_view items) {
  auto lock = quiet();
  std::fputc(' ', out_);
  std::fwrite(items.data(), 1, items.size(), out_);
  std::fputc('\n', out_);
  done(lock);
}

void Console::formatted(std::string_view text) {
  auto lock = quiet();
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  done(lock);
}

void Console::raw(std::string_view text) {
  auto lock = quiet();
  std::fwrite(text.data(), 1, text.size(), out_);
  done(lock);
}

void Console::prompt(std::string_view text) {
  auto lock = quiet();
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

}  // namespace kirva
