#include <windows.h>

#include "packrat/ui/dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_mode) {
  return packrat::RunPackrat(instance, show_mode);
}
