// Coverage-guided fuzzing of the line reader and the free-format reader (libFuzzer). The first
// byte chooses what each data line is read as (two bits per value: integer, real or text, up to
// four values); the rest is the text of the file, read line by line. Each read either gives a
// value or stops with one line; a text value is never longer than an input line.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "driver/freeformat.h"
#include "stop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned plan = data[0];
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  kirva::InputUnit unit{in, "fuzz.inp", 0};
  std::string buf;
  try {
    for (int line = 0; line < 64; ++line) {
      kirva::nextline(unit, buf, "a line");
      if (buf.size() != static_cast<std::size_t>(kirva::linelen)) std::abort();
      kirva::FreeFormat f(unit, buf);
      try {
        for (int v = 0; v < 4; ++v) {
          switch ((plan >> (2 * v)) & 3u) {
            case 0:
              f.integer("an integer");
              break;
            case 1:
              f.real("a real");
              break;
            default:
              if (f.text("a text").size() > static_cast<std::size_t>(kirva::linelen)) std::abort();
          }
        }
      } catch (const kirva::Stop& s) {
        const std::string m = s.what();
        if (m.find('\n') != std::string::npos || m.rfind(" Error in krvmain: ", 0) != 0)
          std::abort();
      }
    }
  } catch (const kirva::Stop&) {
    // the end of the file
  }
  return 0;
}
