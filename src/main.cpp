#include "driver/krvmain.h"

int main(int argc, char** argv) {
  return kirva::run(argc, argv);
}
