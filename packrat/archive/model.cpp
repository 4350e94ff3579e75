#include "packrat/archive/model.h"

#include <new>

#include "packrat/archive/error.h"

namespace packrat {

namespace {

// Storage that is present but shorter than its count cannot back it: such
// a model must never reach the builder, which would read past the storage.
template <typename T>
bool Backs(const std::optional<std::vector<T>>& storage, std::uint32_t count) {
  return count == 0 || (storage.has_value() && storage->size() >= count);
}

template <typename T>
bool AllValid(const std::optional<std::vector<T>>& items, std::uint32_t count) {
  if (count == 0) return true;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!(*items)[i].IsValid()) return false;
  }
  return true;
}

}  // namespace

// ---- Chunk ---------------------------------------------------------------------

Chunk::Chunk(const Chunk& other) { *this = other; }

Chunk& Chunk::operator=(const Chunk& other) {
  if (this == &other) return *this;
  data.reset();
  id = other.id;
  tag = other.tag;
  length = other.length;
  param = other.param;
  if (other.data) {
    try {
      data.emplace(*other.data);
    } catch (const std::bad_alloc&) {
      data.reset();
      throw ArchiveError(texts::kNoMemory);
    }
  }
  return *this;
}

bool Chunk::IsValid() const { return length == 0 || (data.has_value() && data->size() >= length); }

// ---- Article -------------------------------------------------------------------

Article::Article(const Article& other) { *this = other; }

Article& Article::operator=(const Article& other) {
  if (this == &other) return *this;
  parts.reset();
  magic = other.magic;
  param = other.param;
  part_count = other.part_count;
  if (other.parts) {
    try {
      parts.emplace(other.parts->size());
    } catch (const std::bad_alloc&) {
      parts.reset();
      throw ArchiveError(texts::kNoMemory);
    }
    for (size_t j = 0; j < other.parts->size(); ++j) (*parts)[j] = (*other.parts)[j];
  }
  return *this;
}

bool Article::IsValid() const { return Backs(parts, part_count) && AllValid(parts, part_count); }

// ---- Archive -------------------------------------------------------------------

Archive::Archive(const Archive& other)
    : header_word(other.header_word), article_count(other.article_count), entry_count(other.entry_count) {
  try {
    if (other.articles) articles.emplace(other.articles->size());
    if (other.entries) entries.emplace(other.entries->size());
  } catch (const std::bad_alloc&) {
    throw ArchiveError(texts::kNoMemory);
  }
  if (articles) {
    for (size_t i = 0; i < articles->size(); ++i) (*articles)[i] = (*other.articles)[i];
  }
  if (entries) {
    for (size_t k = 0; k < entries->size(); ++k) (*entries)[k] = (*other.entries)[k];
  }
}

Archive& Archive::operator=(const Archive& other) {
  if (this != &other) {
    Archive copy(other);
    *this = std::move(copy);
  }
  return *this;
}

bool Archive::IsValid() const {
  if (!Backs(articles, article_count) || !Backs(entries, entry_count)) return false;
  return AllValid(articles, article_count) && AllValid(entries, entry_count);
}

// ---- Equality (content only: what a round trip must preserve) -----------------

namespace {
template <typename T>
bool SameItems(const std::optional<std::vector<T>>& a, const std::optional<std::vector<T>>& b,
               std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!((*a)[i] == (*b)[i])) return false;
  }
  return true;
}
}  // namespace

bool operator==(const Chunk& a, const Chunk& b) {
  if (a.id != b.id || a.tag != b.tag || a.length != b.length || a.param != b.param) return false;
  if (a.length == 0) return true;
  if (!a.data || !b.data) return a.data.has_value() == b.data.has_value();
  return std::equal(a.data->begin(), a.data->begin() + a.length, b.data->begin(), b.data->begin() + b.length);
}

bool operator==(const Article& a, const Article& b) {
  if (a.magic != b.magic || a.param != b.param || a.part_count != b.part_count) return false;
  if (!a.IsValid() || !b.IsValid()) return a.parts.has_value() == b.parts.has_value();
  return SameItems(a.parts, b.parts, a.part_count);
}

bool operator==(const Archive& a, const Archive& b) {
  if (a.header_word != b.header_word || a.article_count != b.article_count || a.entry_count != b.entry_count) {
    return false;
  }
  if (!a.IsValid() || !b.IsValid()) return false;
  return SameItems(a.articles, b.articles, a.article_count) && SameItems(a.entries, b.entries, a.entry_count);
}

}  // namespace packrat
