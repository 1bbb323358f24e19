// Weekwell: prints today's date and the week number.
#pragma once

// The whole run: reads the clock once and prints the report line. Arguments are ignored.
// Returns the exit code.
int WeekwellMain(int argc, char** argv);
