// The archive engine against other codecs and plain memory copies, on the same
// bytes in the same run. After the usual benchmark output it prints tables of
// the medians and their ratios (and writes them to --table_out=FILE, and the
// ratios the targets are judged by to --figures_out=FILE).
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "corpus.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/lz.h"

namespace bench {
namespace {

// A sink with room for the whole stream, so the benchmark measures the
// encoder and not the growth of a vector.
class BufferSink final : public packrat::ByteSink {
 public:
  explicit BufferSink(std::size_t capacity) : buffer_(capacity) {}
  void Append(const std::uint8_t* bytes, std::size_t count) override {
    if (count > buffer_.size() - used_) throw std::length_error("sink full");
    std::memcpy(buffer_.data() + used_, bytes, count);
    used_ += count;
  }
  void Clear() { used_ = 0; }
  std::size_t size() const { return used_; }
  const std::uint8_t* data() const { return buffer_.data(); }

 private:
  Bytes buffer_;
  std::size_t used_ = 0;
};

std::size_t StreamBound(std::size_t size) { return size + size / 112 + 64; }

Bytes EncodeOurs(const Bytes& input) {
  BufferSink sink(StreamBound(input.size()));
  packrat::EncodeLz(input, sink);
  return Bytes(sink.data(), sink.data() + sink.size());
}

Bytes EncodeLz4(const Bytes& input) {
  Bytes out(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(input.size()))));
  const int n =
      LZ4_compress_default(reinterpret_cast<const char*>(input.data()), reinterpret_cast<char*>(out.data()),
                           static_cast<int>(input.size()), static_cast<int>(out.size()));
  if (n <= 0) throw std::runtime_error("LZ4 compression failed");
  out.resize(static_cast<std::size_t>(n));
  return out;
}

Bytes EncodeZstd(const Bytes& input, int level) {
  Bytes out(ZSTD_compressBound(input.size()));
  const std::size_t n = ZSTD_compress(out.data(), out.size(), input.data(), input.size(), level);
  if (ZSTD_isError(n)) throw std::runtime_error("zstd compression failed");
  out.resize(n);
  return out;
}

// How many operations a stream of ours holds: what one decoding step costs is
// the time divided by this.
std::size_t CountOperations(const Bytes& stream) {
  std::size_t count = 0;
  std::size_t at = packrat::kLzHeaderSize;
  while (at < stream.size()) {
    const unsigned b0 = stream[at];
    ++count;
    if (b0 >= 0xFC) break;
    if (b0 >= 0xE0) {
      at += 1 + ((b0 & 0x1F) + 1) * 4;
    } else if (b0 >= 0xC0) {
      at += 4 + (b0 & 3);
    } else if (b0 >= 0x80) {
      at += 3 + (at + 1 < stream.size() ? std::size_t{stream[at + 1]} >> 6 : 0);
    } else {
      at += 2 + (b0 & 3);
    }
  }
  return count;
}

void SetThroughput(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// What every benchmark of one corpus shares, made once before any runs.
struct Prepared {
  std::string name;
  Bytes input;
  Bytes ours;  // our stream, header included
  Bytes lz4;
  Bytes zstd;  // level 1
  std::size_t operations = 0;  // in our stream, the stop included
  bool is_image = false;
  packrat::Archive archive;
};

// ---- Decoding ------------------------------------------------------------------

void DecodeOurs(benchmark::State& state, const Prepared* p) {
  Bytes output(p->input.size());
  const std::span<const std::uint8_t> ops = std::span(p->ours).subspan(packrat::kLzHeaderSize);
  for (auto _ : state) {
    if (packrat::DecodeLz(ops, output) != packrat::LzStatus::kComplete) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  if (output != p->input) state.SkipWithError("decoded bytes differ");
  SetThroughput(state, p->input.size());
}

void DecodeLz4(benchmark::State& state, const Prepared* p) {
  Bytes output(p->input.size());
  for (auto _ : state) {
    const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(p->lz4.data()),
                                      reinterpret_cast<char*>(output.data()), static_cast<int>(p->lz4.size()),
                                      static_cast<int>(output.size()));
    if (n != static_cast<int>(output.size())) state.SkipWithError("LZ4 decode failed");
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
}

void DecodeZstd(benchmark::State& state, const Prepared* p) {
  Bytes output(p->input.size());
  for (auto _ : state) {
    const std::size_t n = ZSTD_decompress(output.data(), output.size(), p->zstd.data(), p->zstd.size());
    if (n != output.size()) state.SkipWithError("zstd decode failed");
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
}

void Memcpy(benchmark::State& state, const Prepared* p) {
  Bytes output(p->input.size());
  for (auto _ : state) {
    std::memcpy(output.data(), p->input.data(), p->input.size());
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
}

// ---- Encoding ------------------------------------------------------------------

void EncodeOursBench(benchmark::State& state, const Prepared* p) {
  BufferSink sink(StreamBound(p->input.size()));
  for (auto _ : state) {
    sink.Clear();
    packrat::EncodeLz(p->input, sink);
    benchmark::DoNotOptimize(sink.data());
    benchmark::ClobberMemory();
  }
  if (Bytes(sink.data(), sink.data() + sink.size()) != p->ours) state.SkipWithError("stream differs");
  SetThroughput(state, p->input.size());
  state.counters["ratio"] = static_cast<double>(p->input.size()) / static_cast<double>(sink.size());
}

void EncodeZlib(benchmark::State& state, const Prepared* p, int level) {
  Bytes output(compressBound(static_cast<uLong>(p->input.size())));
  uLongf size = 0;
  for (auto _ : state) {
    size = static_cast<uLongf>(output.size());
    if (compress2(output.data(), &size, p->input.data(), static_cast<uLong>(p->input.size()), level) !=
        Z_OK) {
      state.SkipWithError("zlib failed");
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
  state.counters["ratio"] = static_cast<double>(p->input.size()) / static_cast<double>(size);
}

void EncodeZstdBench(benchmark::State& state, const Prepared* p, int level) {
  Bytes output(ZSTD_compressBound(p->input.size()));
  // One context for all iterations, as a program compressing many files would keep.
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
  std::size_t size = 0;
  for (auto _ : state) {
    size = ZSTD_compressCCtx(context.get(), output.data(), output.size(), p->input.data(), p->input.size(), level);
    if (ZSTD_isError(size)) state.SkipWithError("zstd failed");
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
  state.counters["ratio"] = static_cast<double>(p->input.size()) / static_cast<double>(size);
}

void EncodeLz4Bench(benchmark::State& state, const Prepared* p) {
  Bytes output(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(p->input.size()))));
  int size = 0;
  for (auto _ : state) {
    size = LZ4_compress_default(reinterpret_cast<const char*>(p->input.data()),
                                reinterpret_cast<char*>(output.data()), static_cast<int>(p->input.size()),
                                static_cast<int>(output.size()));
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
  state.counters["ratio"] = static_cast<double>(p->input.size()) / static_cast<double>(size);
}

// ---- Images --------------------------------------------------------------------

void ParseImageBench(benchmark::State& state, const Prepared* p) {
  const packrat::ArchiveCodec codec;
  for (auto _ : state) {
    packrat::Archive archive = codec.ParseImage(p->input.data(), p->input.size());
    benchmark::DoNotOptimize(archive);
  }
  SetThroughput(state, p->input.size());
}

void BuildImageBench(benchmark::State& state, const Prepared* p) {
  const packrat::ArchiveCodec codec;
  for (auto _ : state) {
    packrat::ImageBuffer image = codec.BuildImage(p->archive);
    benchmark::DoNotOptimize(image.bytes.get());
    benchmark::ClobberMemory();
  }
  SetThroughput(state, p->input.size());
}

// ---- Tables --------------------------------------------------------------------

struct Result {
  double bytes_per_second = 0;
  double ratio = 0;
};

// Collects the median of every benchmark's repetitions (or its single run).
class TableReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      if (run.error_occurred) continue;
      Result& r = results[run.run_name.str()];
      if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end())
        r.bytes_per_second = it->second;
      if (auto it = run.counters.find("ratio"); it != run.counters.end()) r.ratio = it->second;
    }
  }
  std::map<std::string, Result> results;
};

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Throughput(double bytes_per_second) {
  return bytes_per_second > 0 ? Fixed(bytes_per_second / 1e6, 0) : "n/a";
}

std::string Ratio(double a, double b) { return a > 0 && b > 0 ? Fixed(a / b, 2) + "×" : "n/a"; }

std::string Tables(const std::vector<std::unique_ptr<Prepared>>& prepared,
                   const std::map<std::string, Result>& r, const AllocationCount& encode_allocations,
                   const AllocationCount& decode_allocations, std::size_t encoded_size) {
  auto get = [&](const std::string& name) {
    const auto it = r.find(name);
    return it == r.end() ? Result{} : it->second;
  };
  std::ostringstream out;
  out << "### LZ decoding (MB/s of output; ns per operation of our stream)\n\n"
      << "| input | DecodeLz | ns / op | bytes / op | LZ4 | zstd | memcpy | DecodeLz / LZ4 | DecodeLz / zstd | "
         "DecodeLz / memcpy |\n"
      << "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
  for (const auto& p : prepared) {
    const Result ours = get("decode/DecodeLz/" + p->name);
    const Result lz4 = get("decode/LZ4/" + p->name);
    const Result zstd = get("decode/zstd/" + p->name);
    const Result copy = get("decode/memcpy/" + p->name);
    const double ns_per_op = ours.bytes_per_second > 0
                                 ? static_cast<double>(p->input.size()) / ours.bytes_per_second * 1e9 /
                                       static_cast<double>(p->operations)
                                 : 0;
    out << "| " << p->name << " | " << Throughput(ours.bytes_per_second) << " | "
        << (ns_per_op > 0 ? Fixed(ns_per_op, 2) : "n/a") << " | "
        << Fixed(static_cast<double>(p->input.size()) / static_cast<double>(p->operations), 1) << " | "
        << Throughput(lz4.bytes_per_second) << " | " << Throughput(zstd.bytes_per_second) << " | "
        << Throughput(copy.bytes_per_second) << " | " << Ratio(ours.bytes_per_second, lz4.bytes_per_second)
        << " | " << Ratio(ours.bytes_per_second, zstd.bytes_per_second) << " | "
        << Ratio(ours.bytes_per_second, copy.bytes_per_second) << " |\n";
  }
  out << "\nzstd decodes its level-1 stream.\n";
  out << "\n### LZ encoding (MB/s of input, compression ratio in brackets)\n\n"
      << "| input | EncodeLz | zlib 1 | zlib 6 | zstd 1 | zstd 3 | LZ4 | EncodeLz / zlib 1 | EncodeLz / zlib 6 | "
         "EncodeLz / zstd 1 | EncodeLz / zstd 3 |\n"
      << "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
  for (const auto& p : prepared) {
    const Result ours = get("encode/EncodeLz/" + p->name);
    const Result z1 = get("encode/zlib-1/" + p->name);
    const Result z6 = get("encode/zlib-6/" + p->name);
    const Result zs1 = get("encode/zstd-1/" + p->name);
    const Result zs3 = get("encode/zstd-3/" + p->name);
    const Result lz4 = get("encode/LZ4/" + p->name);
    auto cell = [](const Result& x) {
      return Throughput(x.bytes_per_second) + " (" + Fixed(x.ratio, 2) + ")";
    };
    out << "| " << p->name << " | " << cell(ours) << " | " << cell(z1) << " | " << cell(z6) << " | " << cell(zs1)
        << " | " << cell(zs3) << " | " << cell(lz4) << " | " << Ratio(ours.bytes_per_second, z1.bytes_per_second)
        << " | " << Ratio(ours.bytes_per_second, z6.bytes_per_second) << " | "
        << Ratio(ours.bytes_per_second, zs1.bytes_per_second) << " | "
        << Ratio(ours.bytes_per_second, zs3.bytes_per_second) << " |\n";
  }
  out << "\n### CRP images (MB/s of image)\n\n"
      << "| image | ParseImage | BuildImage | memcpy | ParseImage / memcpy | BuildImage / memcpy |\n"
      << "|---|--:|--:|--:|--:|--:|\n";
  for (const auto& p : prepared) {
    if (!p->is_image) continue;
    const Result parse = get("image/ParseImage/" + p->name);
    const Result build = get("image/BuildImage/" + p->name);
    const Result copy = get("decode/memcpy/" + p->name);
    out << "| " << p->name << " | " << Throughput(parse.bytes_per_second) << " | "
        << Throughput(build.bytes_per_second) << " | " << Throughput(copy.bytes_per_second) << " | "
        << Ratio(parse.bytes_per_second, copy.bytes_per_second) << " | "
        << Ratio(build.bytes_per_second, copy.bytes_per_second) << " |\n";
  }
  out << "\n### Heap use of one call on mixed-15MiB\n\n"
      << "| call | allocations | bytes allocated |\n|---|--:|--:|\n"
      << "| EncodeLz (stream of " << encoded_size << " bytes) | " << encode_allocations.calls << " | "
      << encode_allocations.bytes << " |\n"
      << "| DecodeLz (from memory) | " << decode_allocations.calls << " | " << decode_allocations.bytes
      << " |\n";
  return out.str();
}

// The ratios the targets are judged by, one "name input ratio" line each, for
// scripts/bench.sh to put into its table of targets.
std::string Figures(const std::vector<std::unique_ptr<Prepared>>& prepared, const std::map<std::string, Result>& r) {
  auto speed = [&](const std::string& name) {
    const auto it = r.find(name);
    return it == r.end() ? 0.0 : it->second.bytes_per_second;
  };
  std::ostringstream out;
  for (const auto& p : prepared) {
    if (!p->is_image) continue;
    const double decode = speed("decode/DecodeLz/" + p->name);
    const double encode = speed("encode/EncodeLz/" + p->name);
    const double lz4 = speed("decode/LZ4/" + p->name);
    const double zlib1 = speed("encode/zlib-1/" + p->name);
    if (decode > 0 && lz4 > 0) out << "decode-vs-lz4 " << p->name << ' ' << Fixed(decode / lz4, 2) << '\n';
    if (encode > 0 && zlib1 > 0) out << "encode-vs-zlib1 " << p->name << ' ' << Fixed(encode / zlib1, 2) << '\n';
  }
  return out.str();
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  using namespace bench;
  std::string table_out;
  std::string figures_out;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--table_out=", 0) == 0) {
      table_out = arg.substr(12);
    } else if (arg.rfind("--figures_out=", 0) == 0) {
      figures_out = arg.substr(14);
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());

  std::vector<std::unique_ptr<Prepared>> prepared;
  for (Corpus& corpus : CodecCorpora()) {
    auto p = std::make_unique<Prepared>();
    p->name = corpus.name;
    p->input = std::move(corpus.bytes);
    p->ours = EncodeOurs(p->input);
    p->lz4 = EncodeLz4(p->input);
    p->zstd = EncodeZstd(p->input, 1);
    p->operations = CountOperations(p->ours);
    p->is_image = p->name.rfind("mixed-", 0) == 0;
    if (p->is_image) p->archive = packrat::ArchiveCodec().ParseImage(p->input.data(), p->input.size());
    prepared.push_back(std::move(p));
  }

  // Heap use of one call each, outside any timing.
  const Prepared& largest = *prepared[2];
  AllocationCount before = AllocationsSoFar();
  const std::size_t encoded_size = EncodeOurs(largest.input).size();
  AllocationCount after = AllocationsSoFar();
  // EncodeOurs itself allocates the sink's buffer and the copy it returns.
  const std::size_t sink_bytes = StreamBound(largest.input.size()) + encoded_size;
  const AllocationCount encode_allocations{after.calls - before.calls - 2,
                                           after.bytes - before.bytes - sink_bytes};
  Bytes output(largest.input.size());
  before = AllocationsSoFar();
  packrat::DecodeLz(std::span(largest.ours).subspan(packrat::kLzHeaderSize), output);
  after = AllocationsSoFar();
  const AllocationCount decode_allocations{after.calls - before.calls, after.bytes - before.bytes};

  for (const auto& owned : prepared) {
    const Prepared* p = owned.get();
    benchmark::RegisterBenchmark(("decode/DecodeLz/" + p->name).c_str(), DecodeOurs, p);
    benchmark::RegisterBenchmark(("decode/LZ4/" + p->name).c_str(), DecodeLz4, p);
    benchmark::RegisterBenchmark(("decode/zstd/" + p->name).c_str(), DecodeZstd, p);
    benchmark::RegisterBenchmark(("decode/memcpy/" + p->name).c_str(), Memcpy, p);
    benchmark::RegisterBenchmark(("encode/EncodeLz/" + p->name).c_str(), EncodeOursBench, p);
    benchmark::RegisterBenchmark(("encode/zlib-1/" + p->name).c_str(), EncodeZlib, p, 1);
    benchmark::RegisterBenchmark(("encode/zlib-6/" + p->name).c_str(), EncodeZlib, p, 6);
    benchmark::RegisterBenchmark(("encode/LZ4/" + p->name).c_str(), EncodeLz4Bench, p);
    benchmark::RegisterBenchmark(("encode/zstd-1/" + p->name).c_str(), EncodeZstdBench, p, 1);
    benchmark::RegisterBenchmark(("encode/zstd-3/" + p->name).c_str(), EncodeZstdBench, p, 3);
    if (p->is_image) {
      benchmark::RegisterBenchmark(("image/ParseImage/" + p->name).c_str(), ParseImageBench, p);
      benchmark::RegisterBenchmark(("image/BuildImage/" + p->name).c_str(), BuildImageBench, p);
    }
  }

  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const std::string tables =
      Tables(prepared, reporter.results, encode_allocations, decode_allocations, encoded_size);
  std::cout << '\n' << tables;
  if (!table_out.empty()) std::ofstream(table_out) << tables;
  if (!figures_out.empty()) std::ofstream(figures_out) << Figures(prepared, reporter.results);
  return 0;
}
