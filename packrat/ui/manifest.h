// The manifest of an extracted archive, `archive.json`: the archive's
// descriptors in archive order, with the file that holds each chunk's bytes.
// Users edit it by hand, so reading it checks everything and names the key
// at fault in every refusal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "packrat/archive/model.h"

namespace packrat::manifest {

inline constexpr const char* kFileName = "archive.json";
inline constexpr const char* kFormat = "crp-folder";
inline constexpr int kVersion = 1;

// One chunk's file as the manifest names it.
struct ChunkFile {
  std::string where;               // the key, for messages: "articles[2].parts[0].file"
  std::string path;                // as written: relative, '/' between names
  std::vector<std::string> names;  // its names from the folder down, "." and empty ones left out
};

struct Manifest {
  Archive archive;               // every chunk with length 0 and no data yet
  std::vector<ChunkFile> files;  // in chunk order (see ForEachChunk)
};

// Visits every chunk in the order its data lies in an image: the parts of
// each article in turn, then the data entries. `visit(chunk, article, index)`
// gets the article's index, or -1 for a data entry, and the chunk's index there.
template <typename ArchiveT, typename Visit>
void ForEachChunk(ArchiveT& archive, Visit visit) {
  if (archive.articles) {
    for (std::size_t a = 0; a < archive.articles->size(); ++a) {
      auto& article = (*archive.articles)[a];
      if (!article.parts) continue;
      for (std::size_t p = 0; p < article.parts->size(); ++p) {
        visit((*article.parts)[p], static_cast<long long>(a), p);
      }
    }
  }
  if (archive.entries) {
    for (std::size_t e = 0; e < archive.entries->size(); ++e) visit((*archive.entries)[e], -1LL, e);
  }
}

// The manifest text for `archive`; `files` names each chunk's file, in chunk order.
std::string Write(const Archive& archive, const std::vector<std::string>& files);

// The same shape without file names and with each chunk's length: what
// `list --json` prints.
std::string Describe(const Archive& archive);

// Reads a manifest. Every refusal is an ArchiveError of one line,
// "archive.json: <key>: <problem>". Files are not looked at here.
Manifest Read(std::string_view text);

// "archive.json: <key>: <problem>", or "archive.json: <problem>" at the top.
std::string Problem(const std::string& where, const std::string& problem);

}  // namespace packrat::manifest
