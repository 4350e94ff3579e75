// Captures message boxes without allocating, so the capture itself never
// takes part in an allocation-failure sweep.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace fault_injection {

class QuietBoxes {
 public:
  QuietBoxes() {
    Instance() = this;
    previous_ = platform::SetMessageHandler(&QuietBoxes::Record);
  }
  ~QuietBoxes() {
    platform::SetMessageHandler(std::move(previous_));
    Instance() = nullptr;
  }
  QuietBoxes(const QuietBoxes&) = delete;
  QuietBoxes& operator=(const QuietBoxes&) = delete;

  void Clear() {
    count_ = 0;
    last_title_[0] = last_text_[0] = '\0';
  }
  int count() const { return count_; }
  std::string last_title() const { return last_title_; }
  std::string last_text() const { return last_text_; }

 private:
  static QuietBoxes*& Instance() {
    static QuietBoxes* instance = nullptr;
    return instance;
  }
  static void Record(const platform::MessageRequest& request) {
    QuietBoxes* self = Instance();
    ++self->count_;
    std::snprintf(self->last_title_, sizeof self->last_title_, "%s", request.title.c_str());
    std::snprintf(self->last_text_, sizeof self->last_text_, "%s", request.text.c_str());
  }

  int count_ = 0;
  char last_title_[128] = {};
  char last_text_[512] = {};
  platform::MessageHandler previous_;
};

}  // namespace fault_injection
