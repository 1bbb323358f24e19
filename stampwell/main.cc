#include "platform/program.h"
#include "stampwell/stampwell.h"

int main(int argc, char** argv) {
  return platform::RunProgram("Stampwell", argc, argv, platform::InitProgram, StampwellMain);
}
