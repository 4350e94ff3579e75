// The one error of ptxtool: a refused input or an output that could not be
// written, carrying the line the user sees (without the program's name).
#pragma once

#include <stdexcept>
#include <string>

namespace ptxtool {

class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace ptxtool
