#include "platform/program.h"
#include "weekwell/weekwell.h"

int main(int argc, char** argv) {
  return platform::RunProgram("Weekwell", argc, argv, platform::InitProgram, WeekwellMain);
}
