#include "driver/krvmain.h"

namespace kirva {

int run(int /*argc*/, char** /*argv*/) { return 0; }

}  // namespace kirva
