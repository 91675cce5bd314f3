// The folder a benchmark runs in: a fresh one under the temporary folder, the working directory meanwhile.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace vw::bench {

class BenchFolder {
 public:
  explicit BenchFolder(const std::string& name) : previous_(std::filesystem::current_path()) {
    path_ = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~BenchFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace vw::bench
