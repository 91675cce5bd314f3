// Helpers shared by the list file tests: a scratch folder, raw file bytes, hex dumps.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "files/list_file.h"

namespace vw::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  // In `parent`: by default the system's temporary folder.
  explicit TempDir(const fs::path& parent = fs::temp_directory_path()) {
    std::random_device rd;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = parent / ("vw-list-file-" + std::to_string(stamp) + "-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(path_, ec)) {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);  // read-only files too
    }
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  fs::path File(const std::string& leaf) const { return path_ / leaf; }
  Text Name(const std::string& leaf) const { return File(leaf).u16string(); }

 private:
  fs::path path_;
};

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << file;
}

inline std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Hex(std::string_view bytes, std::size_t limit = 64) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    out += ' ';
  }
  if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

// Lines as the load procedures read them: ReadLine while not AtEnd.
inline std::vector<Text> ReadAllLines(int slot) {
  std::vector<Text> lines;
  while (!AtEnd(slot)) lines.push_back(ReadLine(slot));
  return lines;
}

// Lines in a printable form for failure messages: each unit outside ASCII as \uXXXX.
inline std::string Show(const std::vector<Text>& lines) {
  std::string out = "[";
  for (const Text& line : lines) {
    out += "\"";
    for (std::size_t i = 0; i < line.size() && i < 80; ++i) {
      const char16_t c = line[i];
      if (c >= 0x20 && c < 0x7F) {
        out += static_cast<char>(c);
      } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
        out += buf;
      }
    }
    if (line.size() > 80) out += "...(" + std::to_string(line.size()) + ")";
    out += "\" ";
  }
  return out + "]";
}

}  // namespace vw::testing
