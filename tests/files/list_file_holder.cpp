// Holds a list file open in a process of its own until told to let go, for the cross-process tests.
// Usage: list_file_holder FILE READY RELEASE -- opens FILE for reading, creates READY, waits until RELEASE
// exists (at most a minute), closes FILE.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "files/list_file.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  if (!vw::OpenForReading(0, std::filesystem::path(argv[1]).u16string())) return 3;
  std::ofstream(argv[2]) << "ready";
  for (int i = 0; i < 600 && !std::filesystem::exists(argv[3]); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return vw::CloseListFile(0) ? 0 : 4;
}
