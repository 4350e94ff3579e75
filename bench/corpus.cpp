#include "corpus.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <stdexcept>

#include "packrat/archive/codec.h"

namespace bench {

namespace {

void PutLe16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, std::uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

// Floats are built from integers only (no libm), so the bytes cannot differ
// between machines.
void PutFloat(Bytes& out, float value) { PutLe32(out, std::bit_cast<std::uint32_t>(value)); }

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

// A mesh patch: a grid of vertices (position, normal, texture coordinates as
// floats), and the triangle list over it as 16-bit indices.
void MeshPatch(int side, Random& random, Bytes& vertices, Bytes& indices) {
  const int bumps = 1 + static_cast<int>(random.Below(4));
  std::array<int, 12> bump{};
  for (int& b : bump) b = static_cast<int>(random.Below(static_cast<std::uint32_t>(side)));
  for (int j = 0; j < side; ++j) {
    for (int i = 0; i < side; ++i) {
      int height = 0;
      for (int b = 0; b < bumps; ++b) {
        const int dx = i - bump[static_cast<std::size_t>(3 * b)];
        const int dz = j - bump[static_cast<std::size_t>(3 * b + 1)];
        height += 4096 / (16 + dx * dx + dz * dz);
      }
      PutFloat(vertices, static_cast<float>(i) * 0.25f);
      PutFloat(vertices, static_cast<float>(height) / 256.0f);
      PutFloat(vertices, static_cast<float>(j) * 0.25f);
      PutFloat(vertices, static_cast<float>(static_cast<int>(random.Below(64)) - 32) / 256.0f);
      PutFloat(vertices, 1.0f - static_cast<float>(random.Below(32)) / 1024.0f);
      PutFloat(vertices, static_cast<float>(static_cast<int>(random.Below(64)) - 32) / 256.0f);
      PutFloat(vertices, static_cast<float>(i) / static_cast<float>(side - 1));
      PutFloat(vertices, static_cast<float>(j) / static_cast<float>(side - 1));
    }
  }
  for (int j = 0; j + 1 < side; ++j) {
    for (int i = 0; i + 1 < side; ++i) {
      const auto v = static_cast<std::uint32_t>(j * side + i);
      const auto s = static_cast<std::uint32_t>(side);
      for (const std::uint32_t index : {v, v + 1, v + s, v + 1, v + s + 1, v + s}) PutLe16(indices, index);
    }
  }
}

constexpr std::array<const char*, 24> kWords = {
    "car",     "body",   "wheel",   "rim",  "glass",   "interior", "shadow", "light",
    "spoiler", "mirror", "exhaust", "hood", "door",    "bumper",   "grille", "decal",
    "track",   "tree",   "fence",   "sign", "barrier", "road",     "tunnel", "crowd"};

std::string Name(Random& random) {
  char number[8];
  std::snprintf(number, sizeof number, "%02u", random.Below(100));
  return std::string(kWords[random.Below(kWords.size())]) + "_" + kWords[random.Below(kWords.size())] + "_" +
         number;
}

// Definition-file text: materials naming their textures and a few numbers.
Bytes Text(std::size_t size, Random& random) {
  std::string text;
  while (text.size() < size) {
    const std::string name = Name(random);
    char line[256];
    std::snprintf(line, sizeof line,
                  "material %s {\n  texture = \"textures/%s/%s.tga\";\n  shininess = 0.%03u;\n"
                  "  colour = %u %u %u;\n}\n",
                  name.c_str(), kWords[random.Below(kWords.size())], name.c_str(), random.Below(1000),
                  random.Below(256), random.Below(256), random.Below(256));
    text += line;
  }
  return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes NameTag(Random& random) {
  const std::string name = Name(random);
  Bytes out(name.begin(), name.end());
  out.push_back(0);
  return out;
}

constexpr std::uint64_t RoundUp(std::uint64_t value, std::uint64_t align) {
  return (value + align - 1) / align * align;
}

packrat::Chunk MakeChunk(Bytes data, std::uint8_t tag, Random& random) {
  packrat::Chunk chunk;
  chunk.id = static_cast<std::uint32_t>(random.Next());
  chunk.tag = tag;
  chunk.length = static_cast<std::uint32_t>(data.size());
  chunk.param = random.Below(16);
  if (!data.empty()) chunk.data = std::move(data);
  return chunk;
}

}  // namespace

Bytes TexturePixels(int width, int height, int channels, std::uint64_t seed) {
  Random random(seed);
  Bytes out;
  out.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
              static_cast<std::size_t>(channels));
  // The picture is a patchwork of regions 32 pixels square, each a gradient
  // with a little noise, a flat colour, or hard-edged stripes.
  constexpr int kRegion = 32;
  const int regions_x = (width + kRegion - 1) / kRegion;
  const int regions_y = (height + kRegion - 1) / kRegion;
  struct Region {
    int kind;
    std::array<int, 4> base;
    std::array<int, 4> other;
    int gx, gy, stripe;
  };
  std::vector<Region> regions(static_cast<std::size_t>(regions_x * regions_y));
  for (Region& r : regions) {
    const std::uint32_t roll = random.Below(8);
    r.kind = roll < 4 ? 0 : roll < 6 ? 1 : 2;
    for (int c = 0; c < 4; ++c) {
      r.base[static_cast<std::size_t>(c)] = static_cast<int>(random.Below(256));
      r.other[static_cast<std::size_t>(c)] = static_cast<int>(random.Below(256));
    }
    r.base[3] = random.Below(4) == 0 ? static_cast<int>(random.Below(256)) : 255;
    r.other[3] = r.base[3];
    r.gx = static_cast<int>(random.Below(9)) - 4;
    r.gy = static_cast<int>(random.Below(9)) - 4;
    r.stripe = 2 + static_cast<int>(random.Below(6));
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Region& r = regions[static_cast<std::size_t>((y / kRegion) * regions_x + x / kRegion)];
      const int lx = x % kRegion;
      const int ly = y % kRegion;
      for (int c = 0; c < channels; ++c) {
        const auto k = static_cast<std::size_t>(c);
        int value;
        if (r.kind == 0) {
          const int noise = c == 3 ? 0 : static_cast<int>(random.Below(5)) - 2;
          value = r.base[k] + (lx * r.gx + ly * r.gy) / 2 + noise;
        } else if (r.kind == 1) {
          value = r.base[k];
        } else {
          value = ((lx + ly) / r.stripe) % 2 == 0 ? r.base[k] : r.other[k];
        }
        out.push_back(Clamp(value));
      }
    }
  }
  return out;
}

packrat::Archive MixedArchive(std::size_t image_size, std::uint64_t seed) {
  if (image_size % 4096 != 0 || image_size < 65536) throw std::invalid_argument("image size");
  Random random(seed);
  std::vector<packrat::Article> articles;
  std::vector<packrat::Chunk> entries;
  std::uint64_t records = 1;  // the header
  std::uint64_t data = 0;     // 16-byte aligned blocks
  auto predicted = [&](std::uint64_t extra_records, std::uint64_t extra_data) {
    return RoundUp(16 * (records + extra_records), 4096) + RoundUp(data + extra_data, 4096);
  };
  // Room kept for the final entry that fills the image exactly.
  constexpr std::uint64_t kReserve = 4096 + 16;

  for (;;) {
    std::vector<packrat::Chunk> chunks;
    const bool article = random.Below(10) < 7;
    if (article) {
      const int side = 64 << random.Below(3);
      const int channels = random.Below(3) == 0 ? 3 : 4;
      chunks.push_back(MakeChunk(TexturePixels(side, side, channels, random.Next()), 1, random));
      Bytes vertices;
      Bytes indices;
      MeshPatch(16 + static_cast<int>(random.Below(33)), random, vertices, indices);
      chunks.push_back(MakeChunk(std::move(vertices), 2, random));
      chunks.push_back(MakeChunk(std::move(indices), 3, random));
      chunks.push_back(MakeChunk(NameTag(random), 4, random));
    } else {
      const std::uint32_t roll = random.Below(10);
      if (roll < 5) {
        chunks.push_back(MakeChunk(Text(4096 + random.Below(28 * 1024), random), 5, random));
      } else if (roll < 8) {
        chunks.push_back(MakeChunk(RandomBytes(8192 + random.Below(56 * 1024), random.Next()), 6, random));
      } else {
        chunks.push_back(MakeChunk(TexturePixels(128, 128, 4, random.Next()), 1, random));
      }
    }
    std::uint64_t added = 0;
    for (const packrat::Chunk& c : chunks) added += RoundUp(c.length, 16);
    const std::uint64_t new_records = chunks.size() + (article ? 1 : 0);
    if (predicted(new_records + 1, added) + kReserve > image_size) break;
    records += new_records;
    data += added;
    if (article) {
      packrat::Article a;
      a.magic = packrat::Article::kMagic;
      a.param = random.Below(4);
      a.part_count = static_cast<std::uint32_t>(chunks.size());
      a.parts = std::move(chunks);
      articles.push_back(std::move(a));
    } else {
      entries.push_back(std::move(chunks.front()));
    }
  }
  // The last entry takes whatever room is left, so the image has exactly the size asked.
  ++records;
  const std::uint64_t directory = RoundUp(16 * records, 4096);
  const std::uint64_t filler = image_size - directory - data;
  entries.push_back(MakeChunk(Text(static_cast<std::size_t>(filler), random), 5, random));

  packrat::Archive archive;
  archive.header_word = 0x00000001;
  archive.article_count = static_cast<std::uint32_t>(articles.size());
  archive.entry_count = static_cast<std::uint32_t>(entries.size());
  archive.articles = std::move(articles);
  archive.entries = std::move(entries);
  return archive;
}

Bytes MixedImage(std::size_t image_size, std::uint64_t seed) {
  const packrat::ImageBuffer image = packrat::ArchiveCodec().BuildImage(MixedArchive(image_size, seed));
  if (image.size != image_size) throw std::logic_error("mixed image came out at the wrong size");
  return Bytes(image.bytes.get(), image.bytes.get() + image.size);
}

Bytes Zeros(std::size_t size) { return Bytes(size, 0); }

Bytes RandomBytes(std::size_t size, std::uint64_t seed) {
  Random random(seed);
  Bytes out(size);
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint64_t word = random.Next();
    for (int b = 0; b < 8; ++b)
      out[i + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(word >> (8 * b));
  }
  for (; i < size; ++i) out[i] = static_cast<std::uint8_t>(random.Next());
  return out;
}

Bytes Pattern(std::size_t size) {
  static constexpr char kUnit[] = "wheel_rim_01;";
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(kUnit[i % (sizeof kUnit - 1)]);
  return out;
}

std::vector<Corpus> CodecCorpora() {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  std::vector<Corpus> corpora;
  corpora.push_back({"mixed-1MiB", MixedImage(1 * kMiB, 1)});
  corpora.push_back({"mixed-4MiB", MixedImage(4 * kMiB, 4)});
  corpora.push_back({"mixed-15MiB", MixedImage(15 * kMiB, 15)});
  corpora.push_back({"zeros-4MiB", Zeros(4 * kMiB)});
  corpora.push_back({"random-4MiB", RandomBytes(4 * kMiB, 99)});
  corpora.push_back({"pattern-4MiB", Pattern(4 * kMiB)});
  return corpora;
}

}  // namespace bench
