#include "manifest.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>

#include "packrat/archive/error.h"

namespace packrat::manifest {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// ---- Writing -------------------------------------------------------------

// One chunk as one line of JSON, keys in the order a reader expects them.
std::string ChunkLine(const Chunk& chunk, const std::string* file) {
  OrderedJson line;
  line["id"] = chunk.id;
  line["tag"] = chunk.tag;
  line["param"] = chunk.param;
  if (file != nullptr) {
    line["file"] = *file;
  } else {
    line["length"] = chunk.length;
  }
  return line.dump();
}

// Laid out by hand so that each chunk takes one line: a manifest of a few
// hundred chunks stays easy to read and to edit.
std::string Compose(const Archive& archive, const std::vector<std::string>* files) {
  std::size_t next_file = 0;
  auto chunk_line = [&](const Chunk& chunk) {
    return ChunkLine(chunk, files != nullptr ? &(*files)[next_file++] : nullptr);
  };
  std::string text = "{\n";
  text += "  \"format\": " + Json(kFormat).dump() + ",\n";
  text += "  \"version\": " + std::to_string(kVersion) + ",\n";
  text += "  \"header_word\": " + std::to_string(archive.header_word) + ",\n";
  text += "  \"articles\": [";
  const std::size_t article_count = archive.articles ? archive.articles->size() : 0;
  for (std::size_t a = 0; a < article_count; ++a) {
    const Article& article = (*archive.articles)[a];
    text += a == 0 ? "\n" : ",\n";
    text += "    { \"param\": " + std::to_string(article.param) + ", \"parts\": [";
    const std::size_t part_count = article.parts ? article.parts->size() : 0;
    for (std::size_t p = 0; p < part_count; ++p) {
      text += p == 0 ? "\n" : ",\n";
      text += "      " + chunk_line((*article.parts)[p]);
    }
    text += part_count == 0 ? "] }" : "\n    ] }";
  }
  text += article_count == 0 ? "],\n" : "\n  ],\n";
  text += "  \"entries\": [";
  const std::size_t entry_count = archive.entries ? archive.entries->size() : 0;
  for (std::size_t e = 0; e < entry_count; ++e) {
    text += e == 0 ? "\n" : ",\n";
    text += "    " + chunk_line((*archive.entries)[e]);
  }
  text += entry_count == 0 ? "]\n" : "\n  ]\n";
  text += "}\n";
  return text;
}

// ---- Reading -------------------------------------------------------------

[[noreturn]] void Refuse(const std::string& where, const std::string& problem) {
  throw ArchiveError(Problem(where, problem));
}

std::string Join(const std::string& where, const std::string& key) {
  return where.empty() ? key : where + "." + key;
}

std::string Index(const std::string& where, std::size_t index) {
  return where + "[" + std::to_string(index) + "]";
}

std::string TypeOf(const Json& value) {
  if (value.is_number_integer()) return "a whole number";
  if (value.is_number_float()) return "a number";
  const std::string name = value.type_name();
  return (name == "object" || name == "array") ? "an " + name : "a " + name;
}

// An object holding exactly the keys given: a misspelt key would otherwise
// be dropped without a word and its value lost.
const Json& Object(const Json& value, const std::string& where, std::initializer_list<const char*> keys) {
  if (!value.is_object()) Refuse(where, "expected an object, found " + TypeOf(value));
  for (const char* key : keys) {
    if (!value.contains(key)) Refuse(where, std::string("missing key \"") + key + "\"");
  }
  for (const auto& item : value.items()) {
    bool known = false;
    for (const char* key : keys) known = known || item.key() == key;
    if (!known) Refuse(Join(where, item.key()), "unknown key");
  }
  return value;
}

const Json& Array(const Json& value, const std::string& where) {
  if (!value.is_array()) Refuse(where, "expected an array, found " + TypeOf(value));
  return value;
}

std::uint32_t Number(const Json& value, const std::string& where, std::uint32_t most) {
  const std::string range = " is not 0.." + std::to_string(most);
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number > most) Refuse(where, std::to_string(number) + range);
    return static_cast<std::uint32_t>(number);
  }
  if (value.is_number_integer()) Refuse(where, std::to_string(value.get<std::int64_t>()) + range);
  if (value.is_number_float()) {
    // Integers too long for 64 bits arrive as floating point.
    const double number = value.get<double>();
    if (std::isfinite(number) && number == std::trunc(number)) Refuse(where, value.dump() + range);
    Refuse(where, value.dump() + " is not a whole number");
  }
  Refuse(where, "expected a whole number, found " + TypeOf(value));
}

const std::string& String(const Json& value, const std::string& where) {
  if (!value.is_string()) Refuse(where, "expected a string, found " + TypeOf(value));
  return value.get_ref<const std::string&>();
}

// The names of a chunk file's path, refusing every path that could reach
// outside the folder on either system. Links are a matter of the disk and
// are checked when the file is read.
std::vector<std::string> PathNames(const std::string& path, const std::string& where) {
  if (path.empty()) Refuse(where, "the path is empty");
  if (path.front() == '/') Refuse(where, path + " is an absolute path, not one inside the folder");
  if (path.find('\\') != std::string::npos)
    Refuse(where, path + " holds a backslash; names are separated by /");
  if (path.find(':') != std::string::npos) {
    Refuse(where, path + " holds a colon, which Windows reads as a drive or a stream");
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") Refuse(where, path + " leaves the folder through ..");
    // Windows drops trailing dots and spaces from a name, so "a." would
    // quietly be "a" there, and ". ." something else again.
    if (name.back() == '.' || name.back() == ' ') {
      Refuse(where, path + ": the name \"" + name + "\" ends in a dot or a space");
    }
    names.push_back(std::move(name));
  }
  if (names.empty()) Refuse(where, path + " names the folder itself, not a file");
  return names;
}

Chunk ReadChunk(const Json& value, const std::string& where, std::vector<ChunkFile>& files) {
  const Json& object = Object(value, where, {"id", "tag", "param", "file"});
  Chunk chunk;
  chunk.id = Number(object["id"], Join(where, "id"), UINT32_MAX);
  chunk.tag = static_cast<std::uint8_t>(Number(object["tag"], Join(where, "tag"), UINT8_MAX));
  chunk.param = Number(object["param"], Join(where, "param"), UINT32_MAX);
  const std::string file_where = Join(where, "file");
  const std::string& path = String(object["file"], file_where);
  files.push_back({file_where, path, PathNames(path, file_where)});
  return chunk;
}

std::vector<Chunk> ReadChunks(const Json& value, const std::string& where, std::vector<ChunkFile>& files) {
  const Json& array = Array(value, where);
  std::vector<Chunk> chunks;
  chunks.reserve(array.size());
  for (std::size_t i = 0; i < array.size(); ++i)
    chunks.push_back(ReadChunk(array[i], Index(where, i), files));
  return chunks;
}

// A count that the model keeps in 32 bits.
std::uint32_t Count(std::size_t size, const std::string& where) {
  if (size > UINT32_MAX) Refuse(where, "too many elements");
  return static_cast<std::uint32_t>(size);
}

// Where the reader stopped, as line and column of the last character it
// took that was not white space: the library counts one character of look-
// ahead past a number, which may already be on the next line.
std::string SyntaxProblem(std::string_view text, const Json::parse_error& error) {
  std::size_t at =
      std::min<std::size_t>(error.byte == 0 ? 0 : error.byte - 1, text.empty() ? 0 : text.size() - 1);
  while (at > 0 && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) --at;
  const std::size_t line_start = text.empty() ? std::string_view::npos : text.rfind('\n', at);
  const std::size_t line = 1 + static_cast<std::size_t>(std::count(
                                   text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
  const std::size_t column = line_start == std::string_view::npos ? at + 1 : at - line_start;
  // The library's text starts with its own tag and position, which mean
  // nothing to a user; the description follows the position.
  std::string message = error.what();
  const std::size_t description = message.find(": ", message.find("parse error"));
  if (description != std::string::npos) message = message.substr(description + 2);
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

}  // namespace

std::string Problem(const std::string& where, const std::string& problem) {
  return std::string(kFileName) + ": " + (where.empty() ? "" : where + ": ") + problem;
}

std::string Write(const Archive& archive, const std::vector<std::string>& files) {
  return Compose(archive, &files);
}

std::string Describe(const Archive& archive) { return Compose(archive, nullptr); }

Manifest Read(std::string_view text) {
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& error) {
    Refuse("", SyntaxProblem(text, error));
  }
  Object(root, "", {"format", "version", "header_word", "articles", "entries"});
  const std::string& format = String(root["format"], "format");
  if (format != kFormat) Refuse("format", Json(format).dump() + " is not \"" + kFormat + "\"");
  const std::uint32_t version = Number(root["version"], "version", UINT32_MAX);
  if (version != kVersion) {
    Refuse("version", std::to_string(version) + " is not supported; this program reads version " +
                          std::to_string(kVersion));
  }

  Manifest manifest;
  Archive& archive = manifest.archive;
  archive.header_word = Number(root["header_word"], "header_word", UINT32_MAX);

  const Json& articles = Array(root["articles"], "articles");
  archive.articles.emplace();
  archive.articles->reserve(articles.size());
  for (std::size_t a = 0; a < articles.size(); ++a) {
    const std::string where = Index("articles", a);
    const Json& object = Object(articles[a], where, {"param", "parts"});
    Article article;
    article.magic = Article::kMagic;
    article.param = Number(object["param"], Join(where, "param"), UINT32_MAX);
    article.parts = ReadChunks(object["parts"], Join(where, "parts"), manifest.files);
    article.part_count = Count(article.parts->size(), Join(where, "parts"));
    archive.articles->push_back(std::move(article));
  }
  archive.article_count = Count(archive.articles->size(), "articles");
  archive.entries = ReadChunks(root["entries"], "entries", manifest.files);
  archive.entry_count = Count(archive.entries->size(), "entries");
  return manifest;
}

}  // namespace packrat::manifest
