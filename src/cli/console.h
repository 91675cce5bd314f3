// The companion's terminal side: raw byte streams, the progress line, buffered output.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace vw::cli {

// Standard input and output carry bytes as they are (no CR LF translation on Windows).
void UseBinaryStreams();

// Lines of a stream, one at a time, without their LF or CR LF; memory stays at the longest line. The stream's
// file descriptor is read directly, taking whatever has arrived, so a line is handed out as soon as it is
// complete: a pipe or a terminal need not fill a buffer or end first. Before it waits for more, the Output in
// use is written out (as std::cin is tied to std::cout), so every answer to the lines read so far has reached
// the reader of standard output before the next line is read; in bulk that is once a read of 64 KiB.
class LineReader {
 public:
  explicit LineReader(std::FILE* file);
  bool Next(std::string& line);
  // Whether Next has a line to give without reading (and so without waiting for input).
  bool HasLine() const;
  bool Failed() const { return failed_; }

 private:
  int fd_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// Standard output through one large buffer, written straight to its file descriptor. A reader of standard
// output that has gone away (a closed pipe, as with `| head -1`) ends the program quietly with status 2, as
// SIGPIPE does on Linux. Any other write error is kept and reported by the command.
class Output {
 public:
  Output();
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  std::string& buffer() { return buffer_; }
  // Writes out the buffer once it holds enough (or always, with `force`); false once a write has failed.
  bool Flush(bool force = true);

 private:
  std::string buffer_;
  bool failed_ = false;
};

// Writes `bytes` to standard output whole; false on a write error. A closed pipe ends the program quietly.
bool WriteStdout(std::string_view bytes);

// A field of text output (an address, an entry, a path) in a form that cannot forge or hide a line: as it is
// when every character shows itself; else in double quotes with C escapes, as git quotes file names: \a \b \t
// \n \v \f \r \" \\, \xHH for any other byte below 0x80 and any byte that is not UTF-8, \uHHHH or \UHHHHHHHH
// for characters that are invisible or turn the direction of text (C1 controls, U+2028/2029, U+200B-200F,
// U+202A-202E, U+2066-2069, U+FEFF and the like). A field holding " is quoted too, so a field that begins
// with " is always a quoted one; a \ alone (as in a Windows path) needs no quotes.
std::string Shown(std::string_view utf8);
// The same, always in double quotes.
std::string ShownQuoted(std::string_view utf8);

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
