// Holds a file open without sharing it, as an editor or a scanner may, until told to let go:
// the end-to-end tests show what the programs do with a file another program keeps open.
//
// usage: hold_open FILE STOP
// Opens FILE with share mode 0, prints "holding" once it is open, and exits when STOP exists.
// Exits with 1 at once when FILE cannot be opened.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hold_open FILE STOP\n");
    return 2;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_open: cannot open %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  std::printf("holding\n");
  std::fflush(stdout);
  while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(10);
  CloseHandle(file);
  return 0;
}
