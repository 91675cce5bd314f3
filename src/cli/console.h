// The companion's terminal side: raw byte streams, the progress line, buffered output.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace vw::cli {

// Standard input and output carry bytes as they are (no CR LF translation on Windows).
void UseBinaryStreams();

// Lines of a stream, one at a time, without their LF or CR LF; memory stays at the longest line.
class LineReader {
 public:
  explicit LineReader(std::FILE* file) : file_(file) {}
  bool Next(std::string& line);
  bool Failed() const { return failed_; }

 private:
  std::FILE* file_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// Standard output through one large buffer.
class Output {
 public:
  ~Output() { Flush(); }
  std::string& buffer() { return buffer_; }
  // Writes out the buffer once it holds enough (or always, with `force`); false once a write has failed.
  bool Flush(bool force = true);

 private:
  std::string buffer_;
  bool failed_ = false;
};

// "veraway-check: <what>" on stderr, for notes and errors.
void Note(std::string_view text);
void Error(std::string_view text);

// The time the program started (the first call, made early in main).
std::chrono::steady_clock::time_point ProgramStart();

// A line on stderr saying how far the work is: shown only when stderr is a terminal and the program has been
// at work for more than a second, redrawn a few times a second, erased when this part of the work is done.
class Progress {
 public:
  explicit Progress(std::string what) : what_(std::move(what)) {}
  ~Progress() { Done(); }
  void Update(std::size_t count) {
    if ((count & 1023) == 0) Draw(count);
  }
  void Done();

 private:
  void Draw(std::size_t count);
  std::string what_;
  std::chrono::steady_clock::time_point start_ = ProgramStart();
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
  std::size_t width_ = 0;
};

}  // namespace vw::cli
