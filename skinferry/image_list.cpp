#include "skinferry/image_list.h"

#include <cctype>

#include "platform/platform.h"

namespace skinferry {

namespace {

constexpr int kHighestBitmapNumber = 19;
constexpr int kLinesPerNextRead = 6;

std::string ReplaceAll(std::string_view text, std::string_view marker, std::string_view with) {
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(marker, start);
    if (at == std::string_view::npos) break;
    out.append(text.substr(start, at - start));
    out.append(with);
    start = at + marker.size();
  }
  out.append(text.substr(start));
  return out;
}

bool BeginsWithAlpha(std::string_view line) {
  constexpr std::string_view kAlpha = "alpha";
  if (line.size() < kAlpha.size()) return false;
  for (size_t i = 0; i < kAlpha.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) != kAlpha[i]) return false;
  }
  return true;
}

std::string_view DropLast(std::string_view text, size_t count) {
  return text.substr(0, text.size() >= count ? text.size() - count : 0);
}

}  // namespace

std::optional<std::string> LineSource::Next() {
  if (position_ >= bytes_.size()) return std::nullopt;
  const size_t start = position_;
  while (position_ < bytes_.size()) {
    const char c = bytes_[position_];
    if (c == '\r' || c == '\n' || c == '\0') break;
    ++position_;
  }
  std::string line = bytes_.substr(start, position_ - start);
  if (position_ < bytes_.size()) {
    const char end = bytes_[position_++];
    if (end == '\r' && position_ < bytes_.size() && bytes_[position_] == '\n') ++position_;
  }
  return line;
}

bool IsImageLine(std::string_view line) { return line.size() >= 4 && line.substr(line.size() - 4) == ".BMP"; }

ImageListReader::ImageListReader(Host& host, std::string work_folder, std::string output_folder)
    : host_(host), work_folder_(std::move(work_folder)), output_folder_(std::move(output_folder)) {}

ReadResult ImageListReader::ReadFirstImage(ImageEntry& entry) {
  // Reading the list whole leaves a missing one missing: it is not created.
  lines_.emplace(host_.ReadWholeFile(platform::JoinPath(work_folder_, "index.fsh")).value_or(""));
  while (auto line = lines_->Next()) {
    if (IsImageLine(*line)) return Resolve(*line, entry);
  }
  return ReadResult::kEndOfList;
}

ReadResult ImageListReader::ReadNextImage(ImageEntry& entry) {
  if (!lines_) return ReadResult::kEndOfList;
  for (int read = 1; read <= kLinesPerNextRead; ++read) {
    // Past the end every read gives an empty line, so the loop still ends.
    const std::string line = lines_->Next().value_or("");
    if (IsImageLine(line) && !BeginsWithAlpha(line)) return Resolve(line, entry);
  }
  lines_->Next();  // the seventh line is consumed unseen
  return ReadResult::kEndOfList;
}

void ImageListReader::CloseImageList() { lines_.reset(); }

ReadResult ImageListReader::Resolve(std::string_view line, ImageEntry& entry) {
  const size_t first_space = line.find(' ');
  const std::string entry_name(line.substr(0, first_space));
  std::string pattern;
  if (first_space != std::string_view::npos) {
    const std::string_view rest = line.substr(first_space + 1);
    pattern = std::string(rest.substr(0, rest.find(' ')));
  }

  std::optional<std::string> bitmap = FindBitmap(pattern);
  entry.tga_name = FreeTgaName(entry_name);
  if (!bitmap) {
    entry.bmp_name.clear();
    entry.alpha_name.clear();
    return ReadResult::kNoBitmap;
  }
  entry.bmp_name = std::move(*bitmap);
  entry.alpha_name = FindAlpha(entry.bmp_name);
  return ReadResult::kFound;
}

std::optional<std::string> ImageListReader::FindBitmap(const std::string& pattern) {
  for (int n = kHighestBitmapNumber; n >= 0; --n) {
    std::string candidate = ReplaceAll(pattern, "%d", std::to_string(n));
    if (ExistsIn(work_folder_, candidate)) return candidate;
  }
  return std::nullopt;
}

std::string ImageListReader::FreeTgaName(const std::string& entry_name) {
  std::string name = entry_name + ".tga";
  for (unsigned i = 1; ExistsIn(output_folder_, name); ++i) {
    name = entry_name + "(" + std::to_string(i) + ").tga";
  }
  return name;
}

std::string ImageListReader::FindAlpha(const std::string& bmp_name) {
  const std::string base(DropLast(bmp_name, 4));
  for (const char* ending : {"a.bmp", "-a.bmp"}) {
    std::string candidate = base + ending;
    if (ExistsIn(work_folder_, candidate)) return candidate;
  }
  return std::string(kNoAlphaImage);
}

bool ImageListReader::ExistsIn(const std::string& folder, const std::string& name) {
  // An empty name would name the folder itself, which always exists.
  return !name.empty() && host_.Exists(platform::JoinPath(folder, name));
}

}  // namespace skinferry
