#include "cli/console.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/exit_status.h"
#include "common/text.h"

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

// The Output that standard input's reader writes out before it waits (at most one at a time).
Output* g_tied_output = nullptr;

int FileNumber(std::FILE* file) {
#ifdef _WIN32
  return _fileno(file);
#else
  return fileno(file);
#endif
}

// read(2) / _read on a file descriptor: the count read, 0 at the end, -1 on an error.
long ReadSome(int fd, char* data, std::size_t size) {
  for (;;) {
#ifdef _WIN32
    const int n = ::_read(fd, data, static_cast<unsigned>(size));
#else
    const ssize_t n = ::read(fd, data, size);
#endif
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

// A write that failed because nobody reads standard output any more. Windows' C library reports a closed
// pipe as EPIPE, or as EINVAL when the pipe is being closed.
bool ReaderGone(int error) {
#ifdef _WIN32
  return error == EPIPE || error == EINVAL;
#else
  return error == EPIPE;
#endif
}

// Characters that show nothing, or change how the characters around them are shown.
constexpr bool Hides(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0xAD || c == 0x61C || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0xE0000 && c <= 0xE007F);
}

bool NeedsQuotes(std::string_view s) {
  // Printable ASCII other than '"' shows itself: most fields are nothing else.
  std::size_t at = 0;
  while (at < s.size() && s[at] >= 0x20 && s[at] < 0x7F && s[at] != '"') ++at;
  while (at < s.size()) {
    const auto [c, length] = DecodeUtf8(s, at);
    if (c == kNotUtf8 || c < 0x20 || c == 0x7F || c == '"' || Hides(c)) return true;
    at += length;
  }
  return false;
}

void AppendHex(unsigned value, int digits, std::string& out) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 15];
}

}  // namespace

std::string ShownQuoted(std::string_view s) {
  std::string out = "\"";
  for (std::size_t at = 0; at < s.size();) {
    const auto [c, length] = DecodeUtf8(s, at);
    if (c == kNotUtf8) {  // not UTF-8: each byte itself
      out += "\\x";
      AppendHex(static_cast<unsigned char>(s[at]), 2, out);
      ++at;
      continue;
    }
    if (c >= 7 && c <= 13) {
      out += '\\';
      out += "abtnvfr"[c - 7];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      AppendHex(c, 2, out);
    } else if (Hides(c)) {
      out += c > 0xFFFF ? "\\U" : "\\u";
      AppendHex(c, c > 0xFFFF ? 8 : 4, out);
    } else {
      out.append(s, at, length);
    }
    at += length;
  }
  out += '"';
  return out;
}

std::string Shown(std::string_view s) {
  return NeedsQuotes(s) ? ShownQuoted(s) : std::string(s);
}

bool WriteStdout(std::string_view bytes) {
  while (!bytes.empty()) {
#ifdef _WIN32
    const std::size_t chunk = std::min<std::size_t>(bytes.size(), 1 << 30);
    const int n = ::_write(1, bytes.data(), static_cast<unsigned>(chunk));
#else
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && ReaderGone(errno)) std::_Exit(kError);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

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

LineReader::LineReader(std::FILE* file) : fd_(FileNumber(file)) {}

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
    // Every answer to the lines so far goes out before the wait for more; once it cannot, input ends.
    if (g_tied_output != nullptr && !g_tied_output->Flush()) return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + kChunk);
    const long got = ReadSome(fd_, buffer_.data() + kept, kChunk);
    buffer_.resize(kept + static_cast<std::size_t>(got > 0 ? got : 0));
    if (got <= 0) {
      eof_ = true;
      failed_ = got < 0;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool LineReader::HasLine() const {
  return pos_ < buffer_.size() && (eof_ || buffer_.find('\n', pos_) != std::string::npos);
}

Output::Output() {
  g_tied_output = this;
}

Output::~Output() {
  Flush();
  if (g_tied_output == this) g_tied_output = nullptr;
}

bool Output::Flush(bool force) {
  if (buffer_.empty() || (!force && buffer_.size() < kChunk)) return !failed_;
  if (!failed_ && !WriteStdout(buffer_)) failed_ = true;
  buffer_.clear();
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
