#include "synthesis/run.h"

int main(int argc, char** argv) {
  return kirva::syn::run(argc, argv);
}
