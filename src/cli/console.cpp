#include "cli/console.h"

#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vw::cli {
namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

constexpr std::size_t kChunk = 1 << 16;

}  // namespace

std::chrono::steady_clock::time_point ProgramStart() {
  static const auto start = std::chrono::steady_clock::now();
  return start;
}

void UseBinaryStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool LineReader::Next(std::string& line) {
  for (;;) {
    const std::size_t end = buffer_.find('\n', pos_);
    if (end != std::string::npos) {
      line.assign(buffer_, pos_, end - pos_);
      pos_ = end + 1;
      break;
    }
    if (eof_) {
      if (pos_ == buffer_.size()) return false;
      line.assign(buffer_, pos_);  // a last line without LF
      pos_ = buffer_.size();
      break;
    }
    buffer_.erase(0, pos_);
    pos_ = 0;
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + kChunk);
    const std::size_t got = std::fread(buffer_.data() + kept, 1, kChunk, file_);
    buffer_.resize(kept + got);
    if (got < kChunk) {
      eof_ = true;
      failed_ = std::ferror(file_) != 0;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool Output::Flush(bool force) {
  if (buffer_.empty() || (!force && buffer_.size() < kChunk)) return !failed_;
  if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) failed_ = true;
  buffer_.clear();
  if (force && !failed_ && std::fflush(stdout) != 0) failed_ = true;
  return !failed_;
}

void Note(std::string_view text) {
  std::fprintf(stderr, "veraway-check: %.*s\n", static_cast<int>(text.size()), text.data());
}

void Error(std::string_view text) {
  std::fprintf(stderr, "veraway-check: error: %.*s\n", static_cast<int>(text.size()), text.data());
}

void Progress::Draw(std::size_t count) {
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(250)) return;
  if (!shown_ && !StderrIsTerminal()) {
    start_ = now + std::chrono::hours(24 * 365);  // never asks again
    return;
  }
  last_ = now;
  shown_ = true;
  const std::string text = std::to_string(count) + " " + what_ + "...";
  std::fprintf(stderr, "\rveraway-check: %s", text.c_str());
  width_ = text.size() + 15;
  std::fflush(stderr);
}

void Progress::Done() {
  if (!shown_) return;
  // Blanks over the line, then back to its start.
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace vw::cli
