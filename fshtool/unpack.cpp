#include "fshtool/unpack.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>

#include "fshtool/bmp.h"
#include "fshtool/pack.h"
#include "platform/platform.h"

namespace fshtool {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Writes beside the target and renames over it only when the content is
// complete, so an interrupted or failed write never leaves a partial file
// under a name the pipeline reads.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target)
      : target_(std::move(target)), temporary_(target_ + ".part"), file_(std::fopen(temporary_.c_str(), "wb")) {
    if (!file_) throw OutputError("cannot create " + temporary_);
  }
  ~ReplacingFile() {
    if (file_) {
      file_.reset();
      std::remove(temporary_.c_str());
    }
  }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool Write(const void* bytes, std::size_t count) {
    return count == 0 || std::fwrite(bytes, 1, count, file_.get()) == count;
  }
  void Commit() {
    const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!flushed || !closed || !platform::MoveFileReplacing(temporary_, target_)) {
      std::remove(temporary_.c_str());
      throw OutputError("cannot write " + target_);
    }
  }
  [[noreturn]] void Fail() { throw OutputError("cannot write " + target_); }

 private:
  std::string target_;
  std::string temporary_;
  FileHandle file_;
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

constexpr std::string_view kPartEnding = ".part";
constexpr std::string_view kIndexHeaderStart = "FSH pack ";
constexpr std::string_view kIndexHeaderMiddle = " (directory id ";

// The number a bitmap name of ours carries, and the rest of the name after
// it; nullopt when the name does not begin with at least four digits.
std::optional<std::pair<std::size_t, std::string_view>> LeadingNumber(std::string_view name) {
  std::size_t digits = 0;
  std::size_t number = 0;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') {
    if (digits == 18) return std::nullopt;  // more than any pack can hold
    number = number * 10 + static_cast<std::size_t>(name[digits] - '0');
    ++digits;
  }
  if (digits < 4) return std::nullopt;
  return std::make_pair(number, name.substr(digits));
}

// Exactly a name this program writes (byte for byte, so "0007.bmp" is not
// one): the number, or nullopt.
std::optional<std::size_t> OurBitmapNumber(std::string_view name) {
  const auto number = LeadingNumber(name);
  if (!number || (name != BitmapName(number->first) && name != AlphaBitmapName(number->first))) return std::nullopt;
  return number->first;
}

// The names an earlier run of this program wrote into the folder, read from
// its list: the list itself and the bitmaps its image lines name, with their
// alpha bitmaps and temporary files. Empty when the folder's index.fsh was
// not written by this program (its first line tells).
std::set<std::string> EarlierOutput(const std::string& folder) {
  std::set<std::string> names;
  const auto path = platform::LongPathName(platform::JoinPath(folder, kIndexFileName));
  if (!path || platform::FindEntry(*path) != platform::EntryKind::kFile) return names;
  FileHandle file(std::fopen(path->c_str(), "rb"));
  if (!file) return names;
  // The header line decides before the rest of a file that may not be a
  // list at all is read.
  std::vector<std::string> lines(1);
  bool header_checked = false;
  for (int c; (c = std::fgetc(file.get())) != EOF;) {
    if (c != '\r' && c != '\n') {
      lines.back() += static_cast<char>(c);
      if (!header_checked && lines.back().size() > 4096) return names;
      continue;
    }
    if (lines.back().empty()) continue;
    if (!header_checked) {
      const std::string& header = lines.front();
      if (header.compare(0, kIndexHeaderStart.size(), kIndexHeaderStart) != 0 ||
          header.find(kIndexHeaderMiddle) == std::string::npos || header.back() != ')') {
        return names;
      }
      header_checked = true;
    }
    lines.emplace_back();
  }
  if (!header_checked) return names;  // a header line needs its line end
  const std::string list_name = path->substr(path->find_last_of("/\\") + 1);
  for (const std::string& name : {list_name, list_name + std::string(kPartEnding)}) names.insert(name);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t space = lines[i].rfind(' ');
    if (space == std::string::npos) continue;
    const auto number = OurBitmapNumber(std::string_view(lines[i]).substr(space + 1));
    if (!number) continue;
    for (const std::string& name : {BitmapName(*number), AlphaBitmapName(*number)}) {
      names.insert(name);
      names.insert(name + std::string(kPartEnding));
    }
  }
  return names;
}

// A name this run may write, or one the pipeline would take for it (the
// file system ignores letter case, and "0000a.bmp" would pass for the alpha
// of 0000.BMP), among the first `count` numbers.
bool ClashesWithOutput(std::string_view name, std::size_t count) {
  if (EqualsIgnoringCase(name, kIndexFileName)) return true;
  const auto number = LeadingNumber(name);
  if (!number || number->first >= count) return false;
  const std::string plain = BitmapName(number->first);
  const std::string stem = plain.substr(0, plain.size() - 4);
  for (const std::string& ours : {plain, AlphaBitmapName(number->first), stem + "a.bmp"})
    if (EqualsIgnoringCase(name, ours)) return true;
  return false;
}

// Removes what an earlier run of this program left in the folder, and only
// that. Anything else under a name this run would write is the user's: the
// run then stops before it removes or writes anything.
void RemoveEarlierOutput(const std::string& folder, std::size_t count) {
  const std::set<std::string> earlier = EarlierOutput(folder);
  const std::vector<platform::FolderEntry> entries = platform::ListFolder(folder);
  for (const platform::FolderEntry& entry : entries) {
    if (ClashesWithOutput(entry.name, count) && (entry.is_folder || earlier.count(entry.name) == 0)) {
      throw OutputError(platform::JoinPath(folder, entry.name) +
                        " was not written by fshtool and is left as it is; unpack into another folder");
    }
  }
  for (const platform::FolderEntry& entry : entries) {
    if (entry.is_folder || earlier.count(entry.name) == 0) continue;
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

UnpackReport WriteOutput(const PackReader& pack, const std::string& pack_path, const std::string& work_folder,
                         std::vector<std::string>& written) {
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
    written.push_back(platform::JoinPath(work_folder, BitmapName(number)));
    WriteBitmap(written.back(), object.picture, BmpPlane::kColour);
    if (object.picture.has_alpha) {
      written.push_back(platform::JoinPath(work_folder, AlphaBitmapName(number)));
      WriteBitmap(written.back(), object.picture, BmpPlane::kAlpha);
    }
    index += EntryName(entries[i].name, object.mip_levels) + " " + BitmapName(number) + "\r\n";
    ++report.images;
  }

  ReplacingFile list(platform::JoinPath(work_folder, kIndexFileName));
  if (!list.Write(index.data(), index.size())) list.Fail();
  list.Commit();
  return report;
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
  return std::string(kIndexHeaderStart) + Printable(pack_name) + std::string(kIndexHeaderMiddle) +
         Printable(directory_id) + ")";
}

UnpackReport UnpackPack(const std::string& pack_path, const std::string& work_folder) {
  const PackReader pack(ReadWholeFile(pack_path));

  if (!CreateFolders(work_folder)) throw OutputError("cannot create the work folder " + work_folder);
  RemoveEarlierOutput(work_folder, pack.Entries().size());

  // A run that fails takes its own bitmaps with it: left behind without a
  // list, they could not be told from the user's files by the next run.
  std::vector<std::string> written;
  try {
    return WriteOutput(pack, pack_path, work_folder, written);
  } catch (...) {
    for (const std::string& path : written) platform::DeleteFileForced(path);
    throw;
  }
}

}  // namespace fshtool
