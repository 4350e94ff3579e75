#include <windows.h>

#include "packrat/ui/dialog.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_mode) {
  platform::PrepareProcess();
  return packrat::RunPackrat(instance, show_mode);
}
