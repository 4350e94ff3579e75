// Test helper for the one test that lets a real message box appear: shows a
// box through the platform layer and, once it is dismissed, exits with 7 so
// the test knows the call returned.
#include "platform/platform.h"

int main() {
  platform::ShowMessage({"Probe Box", "Press OK", platform::MessageIcon::kError, nullptr});
  return 7;
}
