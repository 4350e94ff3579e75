// alphawed colour.bmp alpha.bmp output.tga
// alphawed colour.bmp "No alpha image" output.tga
#include "alphawed/alphawed.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  alphawed::Run(platform::RawCommandLine(argc, argv), platform::ExecutableFolder());
  return 0;  // whatever happened: callers do not look at the status
}
