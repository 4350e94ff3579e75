#include "packrat/ui/explorer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <vector>

#include "manifest.h"
#include "packrat/archive/bytes.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/archive/image_records.h"
#include "packrat/archive/lz.h"
#include "platform/platform.h"

namespace packrat {

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool EndsWithIgnoringCase(const std::string& name, const std::string& ending) {
  return name.size() >= ending.size() &&
         platform::SameFileName(std::string_view(name).substr(name.size() - ending.size()), ending);
}

bool IsDrpName(const std::string& name) { return EndsWithIgnoringCase(name, ".drp"); }

Archive ReadArchiveFile(const ArchiveCodec& codec, const std::string& file) {
  return IsDrpName(file) ? codec.ReadDrp(file) : codec.ReadCrp(file);
}

// The whole file, or its first `limit` + 1 bytes when it is longer, so a
// caller can refuse an oversized file without reading all of it.
std::optional<Bytes> ReadFileUpTo(const std::string& path, std::size_t limit) {
  const FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  Bytes bytes;
  std::uint8_t buffer[1 << 16];
  while (bytes.size() <= limit) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.insert(bytes.end(), buffer, buffer + std::min(got, limit + 1 - bytes.size()));
    if (got < sizeof buffer) break;
  }
  // Some systems open a folder and fail its first read.
  if (std::ferror(file.get()) != 0) return std::nullopt;
  return bytes;
}

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
  return text;
}

std::string Counted(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string ChunkText(const Chunk& chunk) {
  return "id " + Hex32(chunk.id) + ", param " + Hex32(chunk.param) + ", tag " + std::to_string(chunk.tag) +
         ", length " + std::to_string(chunk.length);
}

// ---- Files of an extracted archive ---------------------------------------

// Zero-padded to at least `width` digits, wider for counts that need it, so
// the files of one folder sort in archive order.
std::string Padded(std::size_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

std::size_t WidthFor(std::size_t count, std::size_t least) {
  return std::max(least, std::to_string(count == 0 ? 0 : count - 1).size());
}

// articles/AAA/PP-IIIIIIII.bin and entries/EE-IIIIIIII.bin: the index makes
// every name unique even where ids repeat, the id tells the chunk at a glance.
std::vector<std::string> ChunkFileNames(const Archive& archive) {
  const std::size_t article_width = WidthFor(archive.articles ? archive.articles->size() : 0, 3);
  const std::size_t entry_width = WidthFor(archive.entries ? archive.entries->size() : 0, 2);
  std::vector<std::string> names;
  manifest::ForEachChunk(archive, [&](const Chunk& chunk, long long article, std::size_t index) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(chunk.id));
    if (article < 0) {
      names.push_back("entries/" + Padded(index, entry_width) + "-" + id + ".bin");
    } else {
      const Article& owner = (*archive.articles)[static_cast<std::size_t>(article)];
      names.push_back("articles/" + Padded(static_cast<std::size_t>(article), article_width) + "/" +
                      Padded(index, WidthFor(owner.parts->size(), 2)) + "-" + id + ".bin");
    }
  });
  return names;
}

// Everything an extraction made, taken away again unless it finished: a
// refused or failed extraction leaves the disk as it found it.
class MadeEntries {
 public:
  MadeEntries() = default;
  MadeEntries(const MadeEntries&) = delete;
  MadeEntries& operator=(const MadeEntries&) = delete;
  ~MadeEntries() {
    if (kept_) return;
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      if (it->folder) {
        platform::RemoveEmptyFolder(it->path);
      } else {
        platform::DeleteFileForced(it->path);
      }
    }
  }
  void Folder(const std::string& path) { made_.push_back({path, true}); }
  void File(const std::string& path) { made_.push_back({path, false}); }
  void Keep() { kept_ = true; }

 private:
  struct Made {
    std::string path;
    bool folder;
  };
  std::vector<Made> made_;
  bool kept_ = false;
};

void MakeFolder(const std::string& path, MadeEntries& made) {
  if (!platform::CreateFolder(path)) throw ArchiveError("Folder " + path + " couldn't be created");
  made.Folder(path);
}

void WriteNewFile(const std::string& path, const std::uint8_t* bytes, std::size_t size, MadeEntries& made) {
  FileHandle file(std::fopen(path.c_str(), "wb"));
  if (!file) throw ArchiveError(texts::FileCouldNotBeWritten(path));
  made.File(path);
  const bool written = size == 0 || std::fwrite(bytes, 1, size, file.get()) == size;
  if (!written || std::fclose(file.release()) != 0) throw ArchiveError(texts::FileCouldNotBeWritten(path));
}

// The folder to extract into, made when it does not exist; the spelling to use.
std::string PrepareFolder(const std::string& folder, MadeEntries& made) {
  if (folder.empty()) throw ArchiveError("No folder specified");
  switch (platform::FindEntry(folder)) {
    case platform::EntryKind::kFile:
      throw ArchiveError("Folder " + folder + " can't be made: a file has that name");
    case platform::EntryKind::kFolder:
      // A linked folder is not listed, so its content cannot be told.
      if (platform::IsLink(folder))
        throw ArchiveError("Folder " + folder + " is a link; give the folder it leads to");
      if (!platform::ListFolder(folder).empty()) throw ArchiveError("Folder " + folder + " is not empty");
      return platform::LongPathName(folder).value_or(folder);
    case platform::EntryKind::kMissing:
      break;
  }
  MakeFolder(folder, made);
  return folder;
}

// ---- Building ------------------------------------------------------------

// Reads one chunk's file into the chunk. The path has passed the manifest's
// checks (relative, no ".."); what is left is the disk: a link anywhere on
// the way could lead out of the folder, so none is followed.
[[noreturn]] void Refuse(const manifest::ChunkFile& file, const std::string& problem) {
  throw ArchiveError(manifest::Problem(file.where, problem));
}

void LoadChunk(const std::string& root, const manifest::ChunkFile& file, Chunk& chunk) {
  std::string path = root;
  std::string shown;
  for (const std::string& name : file.names) {
    // The manifest is UTF-8; the disk may spell names in another code page.
    const std::optional<std::string> spelt = platform::NameFromUtf8(name);
    if (!spelt)
      Refuse(file, file.path + ": the name \"" + name + "\" can't be spelt in this system's code page");
    path = platform::JoinPath(path, *spelt);
    shown += (shown.empty() ? "" : "/") + name;
    if (platform::IsLink(path)) {
      Refuse(file, (shown == file.path ? file.path : file.path + ": " + shown) +
                       " is a link, which could lead out of the folder");
    }
  }
  switch (platform::FindEntry(path)) {
    case platform::EntryKind::kMissing:
      Refuse(file, file.path + " doesn't exist");
    case platform::EntryKind::kFolder:
      Refuse(file, file.path + " is a folder, not a file");
    case platform::EntryKind::kFile:
      break;
  }
  std::optional<Bytes> bytes = ReadFileUpTo(platform::LongPathName(path).value_or(path), kMaxChunkLength);
  if (!bytes) Refuse(file, file.path + " couldn't be read");
  if (bytes->size() > kMaxChunkLength) {
    Refuse(file,
           file.path + " is longer than a chunk can be (" + std::to_string(kMaxChunkLength) + " bytes)");
  }
  chunk.length = static_cast<std::uint32_t>(bytes->size());
  if (!bytes->empty()) chunk.data = std::move(*bytes);
}

}  // namespace

void ListArchive(const std::string& file, bool json, std::ostream& out) {
  TranslatingMemoryFailure([&] {
    const ArchiveCodec codec;
    // The sizes come from the file itself; the engine reads the model.
    const std::optional<Bytes> bytes = ReadFileUpTo(file, SIZE_MAX - 1);
    if (!bytes) throw ArchiveError(texts::FileCouldNotBeOpened(file));
    const bool drp = IsDrpName(file);
    const Archive archive = drp ? codec.ReadDrp(file) : codec.ReadCrpBytes(*bytes, file);
    if (json) {
      out << manifest::Describe(archive);
      return;
    }
    out << "header word " << Hex32(archive.header_word) << '\n';
    std::uint64_t chunks = 0;
    std::uint64_t data_bytes = 0;
    manifest::ForEachChunk(archive, [&](const Chunk& chunk, long long, std::size_t) {
      ++chunks;
      data_bytes += chunk.length;
    });
    const std::size_t article_count = archive.articles ? archive.articles->size() : 0;
    for (std::size_t a = 0; a < article_count; ++a) {
      const Article& article = (*archive.articles)[a];
      const std::size_t parts = article.parts ? article.parts->size() : 0;
      out << "article " << a << ": param " << Hex32(article.param) << ", " << Counted(parts, "part", "parts")
          << '\n';
      for (std::size_t p = 0; p < parts; ++p)
        out << "  part " << p << ": " << ChunkText((*article.parts)[p]) << '\n';
    }
    const std::size_t entry_count = archive.entries ? archive.entries->size() : 0;
    for (std::size_t e = 0; e < entry_count; ++e)
      out << "entry " << e << ": " << ChunkText((*archive.entries)[e]) << '\n';

    const bool compressed =
        !drp && bytes->size() >= kLzHeaderSize && (*bytes)[0] == kLzMagic0 && (*bytes)[1] == kLzMagic1;
    const std::uint64_t image_size = compressed ? LoadBe24(bytes->data() + 2) : bytes->size();
    out << Counted(article_count, "article", "articles") << ", " << Counted(entry_count, "entry", "entries")
        << ", " << Counted(chunks, "chunk", "chunks") << ", "
        << Counted(data_bytes, "data byte", "data bytes") << ", image " << image_size << " bytes";
    if (compressed) {
      out << ", compressed " << bytes->size() << " bytes";
    } else if (!drp) {
      out << ", stored without compression";
    }
    out << '\n';
  });
}

std::string DefaultExtractFolder(const std::string& file) {
  const std::size_t dot = file.rfind('.');
  const std::size_t separator = file.find_last_of("/\\");
  if (dot == std::string::npos || dot == 0 || (separator != std::string::npos && dot <= separator + 1))
    return file;
  return file.substr(0, dot);
}

std::size_t ExtractArchive(const std::string& file, const std::string& folder) {
  return TranslatingMemoryFailure([&] {
    const ArchiveCodec codec;
    // The whole archive is read before anything is made on disk.
    const Archive archive = ReadArchiveFile(codec, file);
    const std::vector<std::string> names = ChunkFileNames(archive);
    MadeEntries made;
    const std::string root = PrepareFolder(folder, made);
    std::set<std::string> folders;
    std::size_t next = 0;
    manifest::ForEachChunk(archive, [&](const Chunk& chunk, long long, std::size_t) {
      const std::string& name = names[next++];
      std::string path = root;
      std::size_t start = 0;
      for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', start)) {
        path = platform::JoinPath(path, name.substr(start, slash - start));
        if (folders.insert(path).second) MakeFolder(path, made);
        start = slash + 1;
      }
      path = platform::JoinPath(path, name.substr(start));
      WriteNewFile(path, chunk.data ? chunk.data->data() : nullptr, chunk.length, made);
    });
    // The manifest last: a folder that has one is complete.
    const std::string text = manifest::Write(archive, names);
    WriteNewFile(platform::JoinPath(root, manifest::kFileName),
                 reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), made);
    made.Keep();
    return names.size();
  });
}

std::size_t BuildArchive(const std::string& folder, const std::string& output) {
  return TranslatingMemoryFailure([&] {
    const bool compressed = EndsWithIgnoringCase(output, ".crp");
    if (!compressed && !IsDrpName(output)) {
      throw ArchiveError("Output name " + output + " ends neither in .crp nor in .drp");
    }
    if (platform::FindEntry(folder) != platform::EntryKind::kFolder) {
      throw ArchiveError("Folder " + folder + " couldn't be opened");
    }
    const std::string root = platform::LongPathName(folder).value_or(folder);
    const std::string manifest_path = platform::JoinPath(root, manifest::kFileName);
    const std::optional<Bytes> text =
        ReadFileUpTo(platform::LongPathName(manifest_path).value_or(manifest_path), SIZE_MAX - 1);
    if (!text)
      throw ArchiveError(texts::FileCouldNotBeOpened(platform::JoinPath(folder, manifest::kFileName)));
    manifest::Manifest read =
        manifest::Read(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));

    std::size_t next = 0;
    manifest::ForEachChunk(read.archive, [&](Chunk& chunk, long long, std::size_t) {
      LoadChunk(root, read.files[next++], chunk);
    });
    const ArchiveCodec codec;
    if (compressed) {
      codec.WriteCrp(read.archive, output);
    } else {
      codec.WriteDrp(read.archive, output);
    }
    return read.files.size();
  });
}

}  // namespace packrat
