// Fuzz target: arbitrary bytes read as a list file, through the in-memory OS layer.
//
// Checks, beyond the sanitizers:
//  - the lines equal those of a plain model of the reading rules that works on the whole byte string at once,
//    so no result depends on the 4096-byte buffer or on where a read stops (reads of a size taken from the
//    input are tried too);
//  - no line holds a line end or a zero byte;
//  - writing the lines and reading them back gives the same lines, and the written bytes are exactly each
//  line
//    in UTF-8 followed by CR LF.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/list_file.h"
#include "files/memory_os_files.h"

namespace {

using vw::Text;

[[noreturn]] void Fail() {
  std::abort();
}

// The reading rules on the whole file, with no buffer.
std::vector<Text> ModelLines(const std::string& s) {
  std::vector<Text> lines;
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    std::string line;
    while (i < n) {
      const auto b = static_cast<unsigned char>(s[i++]);
      if (b == 0 || b == '\n') break;
      if (b == '\r') {
        if (i < n && s[i] == '\n') ++i;
        break;
      }
      if (b < 0x80) {
        line += static_cast<char>(b);
      } else if (b < 0xC0 || b >= 0xF8) {
        line += '?';
      } else {
        const std::size_t need = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
        std::string sequence(1, static_cast<char>(b));
        while (sequence.size() <= need && i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) {
          sequence += s[i++];
        }
        line += sequence.size() == need + 1 ? sequence : std::string("\xEF\xBF\xBD");
      }
    }
    lines.push_back(vw::Utf8ToText(line));
  }
  return lines;
}

std::vector<Text> ReadAll(vw::testing::MemoryOsFiles& os, const Text& name, std::size_t chunk) {
  os.read_chunk = chunk;
  if (!vw::OpenForReading(0, name)) Fail();
  std::vector<Text> lines;
  while (!vw::AtEnd(0)) lines.push_back(vw::ReadLine(0));
  if (vw::ReadFailed(0) || !vw::CloseListFile(0)) Fail();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  vw::testing::MemoryOsFiles os;
  vw::ScopedOsFiles use(os);
  os.files[u"in.txt"] = bytes;

  const std::vector<Text> lines = ReadAll(os, u"in.txt", 4096);
  if (lines != ModelLines(bytes)) Fail();
  const std::size_t chunk = size == 0 ? 1 : 1 + data[size - 1] % 64;
  if (ReadAll(os, u"in.txt", chunk) != lines) Fail();

  std::string expected_bytes;
  if (!vw::CreateForWriting(1, u"out.txt")) Fail();
  for (const Text& line : lines) {
    for (char16_t c : line) {
      if (c == u'\r' || c == u'\n' || c == u'\0') Fail();
    }
    if (!vw::WriteLine(1, line)) Fail();
    expected_bytes += vw::TextToUtf8(line) + "\r\n";
  }
  if (!vw::CloseListFile(1)) Fail();
  if (os.files[u"out.txt"] != expected_bytes) Fail();
  if (ReadAll(os, u"out.txt", 4096) != lines) Fail();
  return 0;
}
