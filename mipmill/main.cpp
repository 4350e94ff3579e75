// mipmill: converts a TGA picture to a PTX texture with its mip chain.
#include "mipmill/encoder.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  return mipmill::RunEncoderProgram(platform::RawCommandLine(argc, argv));
}
