// A stand-in for a running application in the setup program's tests: it
// runs until the file named by its argument exists (at most a minute).
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  for (int i = 0; i < 600; ++i) {
    if (::GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) return 0;
    ::Sleep(100);
  }
  return 1;
}
