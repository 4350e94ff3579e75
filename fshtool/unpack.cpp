#include "fshtool/unpack.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>

#include "fshtool/bmp.h"
#include "fshtool/pack.h"
#include "platform/platform.h"

namespace fshtool {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Every output goes through the platform's safe replace, so an interrupted
// or failed write never leaves a partial file under a name the pipeline reads.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target)
      : target_(std::move(target)), file_(platform::BeginReplacing(target_)) {
    if (!file_) throw OutputError("cannot create " + target_);
  }

  bool Write(const void* bytes, std::size_t count) { return file_->Write(bytes, count); }
  void Commit() {
    if (!file_->Commit()) Fail();
  }
  [[noreturn]] void Fail() { throw OutputError("cannot write " + target_); }

 private:
  std::string target_;
  std::unique_ptr<platform::ReplacingFile> file_;
};

void WriteBitmap(const std::string& path, const Picture& picture, BmpPlane plane) {
  ReplacingFile file(path);
  if (!WriteBmp(picture, plane, [&](const std::uint8_t* bytes, std::size_t count) { return file.Write(bytes, count); }))
    file.Fail();
  file.Commit();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  // Looked up as the file system of the pipeline would, ignoring letter case.
  const std::string actual = platform::LongPathName(path).value_or(path);
  if (platform::FindEntry(actual) != platform::EntryKind::kFile) throw OutputError("cannot find the pack " + path);
  FileHandle file(std::fopen(actual.c_str(), "rb"));
  if (!file) throw OutputError("cannot open the pack " + path);
  std::vector<std::uint8_t> bytes;
  std::array<std::uint8_t, 1 << 16> buffer;
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    // Offsets in a pack are 32-bit; nothing past 4 GiB could be reached.
    if (bytes.size() > 0xFFFFFFFFu) throw FshError("the pack is larger than 4 GiB");
    if (got < buffer.size()) break;
  }
  if (std::ferror(file.get())) throw OutputError("cannot read the pack " + path);
  return bytes;
}

bool IsSeparator(char c) { return c == '/' || c == platform::kPathSeparator; }

bool CreateFolders(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && IsSeparator(path[end - 1])) --end;  // "out/" names "out"
  const std::string folder = path.substr(0, end);
  if (platform::FindEntry(folder) == platform::EntryKind::kFolder) return true;
  std::size_t cut = end;
  while (cut > 0 && !IsSeparator(path[cut - 1])) --cut;
  if (cut > 1) CreateFolders(path.substr(0, cut - 1));
  platform::CreateFolder(folder);
  return platform::FindEntry(folder) == platform::EntryKind::kFolder;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) { return platform::SameFileName(a, b); }

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Names the list reader and the progress count would take for this pack's
// bitmaps (numbered bitmaps, both alpha conventions, the "-1" form), the
// list itself, and the temporary files of an interrupted run.
bool IsOutputName(std::string_view name) {
  constexpr std::string_view kPart = ".part";
  if (name.size() > kPart.size() && EqualsIgnoringCase(name.substr(name.size() - kPart.size()), kPart))
    name.remove_suffix(kPart.size());
  if (EqualsIgnoringCase(name, kIndexFileName)) return true;
  constexpr std::string_view kBmp = ".bmp";
  if (name.size() <= kBmp.size() || !EqualsIgnoringCase(name.substr(name.size() - kBmp.size()), kBmp)) return false;
  std::string_view stem = name.substr(0, name.size() - kBmp.size());
  for (std::string_view suffix : {"-a", "a", "-1"}) {
    if (stem.size() > suffix.size() && EqualsIgnoringCase(stem.substr(stem.size() - suffix.size()), suffix)) {
      stem.remove_suffix(suffix.size());
      break;
    }
  }
  return AllDigits(stem);
}

void RemoveEarlierOutput(const std::string& folder) {
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (entry.is_folder || !IsOutputName(entry.name)) continue;
    const std::string path = platform::JoinPath(folder, entry.name);
    if (!platform::DeleteFileForced(path)) throw OutputError("cannot remove the earlier output " + path);
  }
}

std::string FileNamePart(std::string_view path) {
  std::size_t cut = path.size();
  while (cut > 0 && !IsSeparator(path[cut - 1]) && path[cut - 1] != '\\') --cut;
  return std::string(path.substr(cut));
}

// Control bytes would break the line structure of the list.
std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}

bool IsReservedDeviceName(std::string_view name) {
  // Windows opens these devices whatever extension follows the first dot.
  const std::string_view base = name.substr(0, name.find('.'));
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
    if (EqualsIgnoringCase(base, device)) return true;
  if (base.size() == 4 && (EqualsIgnoringCase(base.substr(0, 3), "COM") || EqualsIgnoringCase(base.substr(0, 3), "LPT")))
    return base[3] >= '0' && base[3] <= '9';
  return false;
}

}  // namespace

std::string BitmapName(std::size_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "%04zu.BMP", number);
  return text;
}

std::string AlphaBitmapName(std::size_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "%04zu-a.BMP", number);
  return text;
}

std::string EntryName(std::string_view directory_name, unsigned stored_mip_levels) {
  std::string name;
  for (char c : directory_name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) break;
    const bool unsafe = byte <= 0x20 || byte == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    name += unsafe ? '_' : c;
  }
  if (name.empty()) name += '_';
  // The list reader skips later image lines that begin with "alpha", and the
  // file system would open a device for a reserved name.
  if (EqualsIgnoringCase(std::string_view(name).substr(0, 5), "alpha") || IsReservedDeviceName(name))
    name = "_" + name;
  if (stored_mip_levels > 0) {
    const unsigned levels = std::min(stored_mip_levels + 1, kMaxMipRequest);
    name += '-';
    name += static_cast<char>('0' + levels);
  } else if (name.size() >= 2 && name[name.size() - 2] == '-') {
    // "-" before the last character is how the pipeline marks a mip request;
    // a name that only happens to look like one must not ask for levels.
    name[name.size() - 2] = '_';
  }
  return name;
}

std::string IndexHeaderLine(std::string_view pack_name, std::string_view directory_id) {
  // Ends in ")" so that it is never read as an image line.
  return "FSH pack " + Printable(pack_name) + " (directory id " + Printable(directory_id) + ")";
}

UnpackReport UnpackPack(const std::string& pack_path, const std::string& work_folder) {
  const PackReader pack(ReadWholeFile(pack_path));

  if (!CreateFolders(work_folder)) throw OutputError("cannot create the work folder " + work_folder);
  RemoveEarlierOutput(work_folder);

  UnpackReport report;
  std::string index = IndexHeaderLine(FileNamePart(pack_path), pack.DirectoryId()) + "\r\n";
  const std::vector<DirectoryEntry>& entries = pack.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DecodedObject object = pack.DecodeObject(i);
    if (object.kind == ObjectKind::kPalette) continue;
    if (object.kind == ObjectKind::kBroken) {
      report.problems.push_back("object " + std::to_string(i) + " \"" + Printable(entries[i].name) + "\" " +
                                object.problem + "; skipped");
      continue;
    }
    // Numbers run without gaps over the images written, which keeps the
    // pipeline's progress count (the highest number present) exact.
    const std::size_t number = report.images;
    WriteBitmap(platform::JoinPath(work_folder, BitmapName(number)), object.picture, BmpPlane::kColour);
    if (object.picture.has_alpha)
      WriteBitmap(platform::JoinPath(work_folder, AlphaBitmapName(number)), object.picture, BmpPlane::kAlpha);
    index += EntryName(entries[i].name, object.mip_levels) + " " + BitmapName(number) + "\r\n";
    ++report.images;
  }

  ReplacingFile list(platform::JoinPath(work_folder, kIndexFileName));
  if (!list.Write(index.data(), index.size())) list.Fail();
  list.Commit();
  return report;
}

}  // namespace fshtool
