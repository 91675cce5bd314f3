// An in-memory OS file layer for tests and the fuzz target: files are byte strings, and it can produce what a
// real machine cannot on demand (a read error part-way, short reads, a refused first creation attempt, a
// replacement that fails at its last step). A file being saved keeps its content until the save's new file
// replaces it.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/os_file.h"

namespace vw::testing {

class MemoryOsFiles : public OsFiles {
 public:
  std::map<Text, std::string> files;
  // Names whose first creation attempt is refused, as Windows does for a hidden file.
  std::set<Text> refuse_read_write_create;
  // Most bytes one Read hands out (short reads).
  std::size_t read_chunk = 4096;
  // A Read that would start at or beyond this offset fails.
  std::size_t fail_read_at = static_cast<std::size_t>(-1);
  bool fail_writes = false;
  bool fail_flush = false;
  bool fail_close = false;
  bool fail_replace = false;

  // What was asked of the layer, for the tests to look at.
  std::vector<std::string> calls;
  std::vector<std::size_t> write_sizes;
  int open_count() const { return static_cast<int>(open_.size()); }

  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    calls.push_back("OpenReadExclusive");
    if (!files.count(Text(name)) || IsOpen(name)) return std::nullopt;
    return Add(name);
  }

  std::optional<OsHandle> CreateReplacement(TextView name, bool first_attempt) override {
    calls.push_back(first_attempt ? "CreateReplacement" : "CreateReplacement, second attempt");
    if (IsOpen(name)) return std::nullopt;
    if (first_attempt ? refuse_read_write_create.count(Text(name)) != 0 : files.count(Text(name)) == 0)
      return std::nullopt;
    const OsHandle h = Add(name);
    new_files_[h] = NewFile{Text(name), {}};
    return h;
  }

  bool FinishReplacement(OsHandle file, bool keep) override {
    calls.push_back(keep ? "Replace" : "Discard");
    auto it = new_files_.find(file);
    if (it == new_files_.end()) return false;
    const bool replaced = keep && !fail_replace;
    if (replaced) files[it->second.name] = std::move(it->second.bytes);
    new_files_.erase(it);
    return replaced;
  }

  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    Open& f = open_.at(file);
    if (f.pos >= fail_read_at) return -1;
    const std::string& bytes = files.at(f.name);
    std::size_t n = std::min({size, read_chunk, bytes.size() - std::min(f.pos, bytes.size())});
    if (fail_read_at > f.pos) n = std::min(n, fail_read_at - f.pos);
    if (n > 0) std::memcpy(data, bytes.data() + f.pos, n);
    f.pos += n;
    return static_cast<std::int64_t>(n);
  }

  bool Write(OsHandle file, const char* data, std::size_t size) override {
    write_sizes.push_back(size);
    if (fail_writes) return false;
    new_files_.at(file).bytes.append(data, size);
    return true;
  }

  bool Flush(OsHandle) override {
    calls.push_back("Flush");
    return !fail_flush;
  }

  bool Close(OsHandle file) override {
    calls.push_back("Close");
    open_.erase(file);
    return !fail_close;
  }

  bool Copy(TextView source, TextView target) override {
    calls.push_back("Copy");
    if (!files.count(Text(source)) || IsOpen(source) || IsOpen(target)) return false;
    files[Text(target)] = files[Text(source)];
    return true;
  }

 private:
  struct Open {
    Text name;
    std::size_t pos = 0;
  };

  bool IsOpen(TextView name) const {
    return std::any_of(open_.begin(), open_.end(), [&](const auto& o) { return o.second.name == name; });
  }

  OsHandle Add(TextView name) {
    const OsHandle h = next_++;
    open_[h] = Open{Text(name), 0};
    return h;
  }

  // The new file of each save under way, by its handle; it outlives the handle's Close until the save ends.
  struct NewFile {
    Text name;  // the file it replaces
    std::string bytes;
  };
  std::map<OsHandle, NewFile> new_files_;
  std::map<OsHandle, Open> open_;
  OsHandle next_ = 100;
};

}  // namespace vw::testing
