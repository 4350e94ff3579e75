// Asks the top-level window with the given title to close, as its close box
// would: the smoke test ends the real program this way rather than with
// keys, which could leave a modifier held down for the tests after it.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HWND window = FindWindowA(nullptr, argv[1]);
  if (window == nullptr) return 1;
  return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
