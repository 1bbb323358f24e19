#include "platform/program.h"
#include "sweepwell/sweepwell.h"

int main(int argc, char** argv) {
  return platform::RunProgram("Sweepwell", argc, argv, platform::InitProgram, SweepwellMain);
}
