#include "skinferry/output_list.h"

#include "platform/platform.h"

namespace skinferry {

void OutputList::Create(const std::string& output_folder) {
  file_ = host_.CreateOutputFile(platform::JoinPath(output_folder, "index.txt"));
  WriteLine(kIndexHeader);
}

void OutputList::WriteLine(const std::string& text) {
  if (file_) file_->Write(text + "\r\n");
}

void OutputList::Close() {
  if (file_) file_->Close();
  file_.reset();
}

void CopyImageList(Host& host, const std::string& work_folder, const std::string& output_folder) {
  host.CopyFileReplacing(platform::JoinPath(work_folder, "index.fsh"),
                         platform::JoinPath(output_folder, "index_old.txt"));
}

}  // namespace skinferry
