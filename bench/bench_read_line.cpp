// ReadLine over a 50 MB list, against a plain buffered copy of the same file in the same run.
//
// The list has lines of 8 to 64 bytes (mostly ASCII, one in 40 with a 2- or 3-byte character), CR LF after
// each. BM_BufferedBlockCopy copies the file through a 4096-byte buffer with fread/fwrite;
// BM_BufferedByteCopy copies it byte by byte with getc/putc (stdio's own buffering). The target is that
// ReadLine reaches at least a third of the copy's throughput.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "files/list_file.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kListBytes = 50u << 20;

class ListFixture {
 public:
  ListFixture() {
    dir_ = fs::temp_directory_path() / ("vw-bench-read-line-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    std::mt19937 rng(42);
    std::string bytes;
    bytes.reserve(kListBytes + 128);
    std::size_t line = 0;
    while (bytes.size() < kListBytes) {
      const std::size_t length = 8 + rng() % 57;
      std::string text = "www.";
      while (text.size() < length) text += static_cast<char>('a' + rng() % 26);
      if (line % 40 == 0) text += (line % 80 == 0) ? "\xC3\xA9" : "\xE2\x82\xAC";
      bytes += text;
      bytes += "\r\n";
      ++line;
    }
    lines_ = line;
    size_ = bytes.size();
    std::ofstream(List(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  ~ListFixture() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  ListFixture(const ListFixture&) = delete;
  ListFixture& operator=(const ListFixture&) = delete;

  fs::path List() const { return dir_ / "TrustFile_SafeSites.txt"; }
  fs::path Copy() const { return dir_ / "copy.txt"; }
  std::size_t size() const { return size_; }
  std::size_t lines() const { return lines_; }

 private:
  fs::path dir_;
  std::size_t size_ = 0;
  std::size_t lines_ = 0;
};

const ListFixture& Fixture() {
  static const ListFixture fixture;
  return fixture;
}

void BM_ReadLine(benchmark::State& state) {
  const ListFixture& f = Fixture();
  const vw::Text name = f.List().u16string();
  for (auto _ : state) {
    if (!vw::OpenForReading(0, name)) {
      state.SkipWithError("cannot open the list");
      break;
    }
    std::size_t lines = 0;
    std::size_t units = 0;
    while (!vw::AtEnd(0)) {
      const vw::Text line = vw::ReadLine(0);
      units += line.size();
      ++lines;
    }
    vw::CloseListFile(0);
    benchmark::DoNotOptimize(units);
    if (lines != f.lines()) state.SkipWithError("wrong number of lines");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size()));
  state.counters["lines"] = static_cast<double>(f.lines());
}

void BM_BufferedBlockCopy(benchmark::State& state) {
  const ListFixture& f = Fixture();
  for (auto _ : state) {
    std::FILE* in = std::fopen(f.List().string().c_str(), "rb");
    std::FILE* out = std::fopen(f.Copy().string().c_str(), "wb");
    if (in == nullptr || out == nullptr) {
      state.SkipWithError("cannot open the files");
      break;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, out);
    std::fclose(in);
    std::fclose(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size()));
}

void BM_BufferedByteCopy(benchmark::State& state) {
  const ListFixture& f = Fixture();
  for (auto _ : state) {
    std::FILE* in = std::fopen(f.List().string().c_str(), "rb");
    std::FILE* out = std::fopen(f.Copy().string().c_str(), "wb");
    if (in == nullptr || out == nullptr) {
      state.SkipWithError("cannot open the files");
      break;
    }
    int c;
    while ((c = std::getc(in)) != EOF) std::putc(c, out);
    std::fclose(in);
    std::fclose(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size()));
}

BENCHMARK(BM_ReadLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferedBlockCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferedByteCopy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
