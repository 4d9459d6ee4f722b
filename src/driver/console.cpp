#include "driver/console.h"

namespace kirva {

void Console::line(std::string_view items) {
  std::fputc(' ', out_);
  std::fwrite(items.data(), 1, items.size(), out_);
  std::fputc('\n', out_);
}

void Console::formatted(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
}

void Console::raw(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out_);
}

void Console::prompt(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

}  // namespace kirva
