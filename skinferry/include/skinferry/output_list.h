// index.txt, the list of the PTX files a run made (CR LF after every line),
// and index_old.txt, a byte-for-byte copy of fshtool's index.fsh.
#pragma once

#include <memory>
#include <string>

#include "skinferry/host.h"

namespace skinferry {

inline constexpr const char* kIndexHeader = "; Index file made by Skinferry";

class OutputList {
 public:
  explicit OutputList(Host& host) : host_(host) {}

  // Replaces output folder/index.txt with a new file holding the header.
  // When it cannot be created every later line is dropped.
  void Create(const std::string& output_folder);
  void WriteLine(const std::string& text);
  void Close();

 private:
  Host& host_;
  std::unique_ptr<OutputFile> file_;
};

// Copies work folder/index.fsh to output folder/index_old.txt, replacing it.
void CopyImageList(Host& host, const std::string& work_folder, const std::string& output_folder);

}  // namespace skinferry
