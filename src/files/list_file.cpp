// The list file layer over the OS file calls of os_file.h.
#include "files/list_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "files/os_file.h"

namespace vw {
namespace {

constexpr std::size_t kBufferSize = 4096;
constexpr int kSlotCount = 16;

OsFiles* g_installed = nullptr;  // a test's layer, or null for the native one

// A 64-bit hash of a byte stream, the same however the stream is cut into pieces: eight bytes at a time,
// each word mixed in with a multiply and a rotation (a few cycles per word, far below the cost of reading).
class ByteHash {
 public:
  void Add(const unsigned char* data, std::size_t size) {
    size_ += size;
    while (size > 0 && carried_ != 0) {  // first complete the word begun by the piece before
      word_ |= std::uint64_t{*data++} << (8 * carried_++);
      --size;
      if (carried_ == 8) Mix();
    }
    for (; size >= 8; size -= 8, data += 8) {
      std::memcpy(&word_, data, 8);  // the machine's byte order; the stamp never leaves the machine
      Mix();
    }
    for (; size > 0; --size) word_ |= std::uint64_t{*data++} << (8 * carried_++);
  }
  FileStamp Stamp() const {
    std::uint64_t h = hash_ ^ (word_ * 0x9E3779B97F4A7C15u) ^ size_;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDu;
    h ^= h >> 33;
    return {true, size_, h};
  }

 private:
  void Mix() {
    hash_ = std::rotl((hash_ ^ word_) * 0x87C37B91114253D5u, 31) * 0x4CF5AD432745937Fu;
    word_ = 0;
    carried_ = 0;
  }
  std::uint64_t hash_ = 0x6A09E667F3BCC908u;
  std::uint64_t word_ = 0;
  unsigned carried_ = 0;
  std::uint64_t size_ = 0;
};

struct Slot {
  OsFiles* os = nullptr;  // the layer the file was opened through, kept until it is closed
  OsHandle file = 0;
  bool writing = false;
  bool read_failed = false;
  // Reading a file that may be binary: the guard's counts, and why it stopped the reading.
  bool guarded = false;
  BinarySign binary = BinarySign::kNone;
  std::uint64_t bytes_read = 0;
  std::uint64_t zeros_read = 0;
  bool write_failed = false;
  char last_end = '\n';  // reading: how the last line ended (LastLineEnd)
  ByteHash passed;       // every byte read from the file or written to it, for LastStamp
  // Reading: bytes [pos, end) are read ahead and not yet handed out. Writing: [0, end) wait to be written.
  std::size_t pos = 0;
  std::size_t end = 0;
  std::array<unsigned char, kBufferSize> buffer{};
  // Reading: the bytes of the line being collected. Writing: the UTF-8 form of the line being written. Kept
  // between lines so that its capacity is reused; it grows geometrically, as std::string does.
  std::string bytes;
};

std::array<std::unique_ptr<Slot>, kSlotCount> g_slots;
std::array<FileStamp, kSlotCount> g_last_stamps;

std::unique_ptr<Slot>* SlotEntry(int slot) {
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  return &g_slots[static_cast<std::size_t>(slot)];
}

Slot* OpenSlot(int slot, bool writing) {
  std::unique_ptr<Slot>* entry = SlotEntry(slot);
  if (entry == nullptr || !*entry || (*entry)->writing != writing) return nullptr;
  return entry->get();
}

// Reading ---------------------------------------------------------------------------------------------------

// Fills the empty buffer from the file. False when no byte arrived: the end of the file, or a read error,
// after which the file is not asked again.
bool Refill(Slot& s) {
  if (s.read_failed || s.binary != BinarySign::kNone) return false;
  const std::int64_t n = s.os->Read(s.file, reinterpret_cast<char*>(s.buffer.data()), kBufferSize);
  if (n < 0) s.read_failed = true;
  if (n <= 0) return false;
  s.bytes_read += static_cast<std::uint64_t>(n);
  s.passed.Add(s.buffer.data(), static_cast<std::size_t>(n));
  if (s.guarded) {
    s.zeros_read += static_cast<std::uint64_t>(std::count(s.buffer.begin(), s.buffer.begin() + n, 0));
    if (s.bytes_read >= kBinaryZerosAfter && s.zeros_read * 2 > s.bytes_read) {
      s.binary = BinarySign::kMostlyZeros;
      return false;
    }
  }
  s.pos = 0;
  s.end = static_cast<std::size_t>(n);
  return true;
}

// The next byte without taking it, or -1 when there is none.
int PeekByte(Slot& s) {
  if (s.pos == s.end && !Refill(s)) return -1;
  return s.buffer[s.pos];
}

// A byte that is a whole character and cannot end a line.
constexpr bool IsPlain(unsigned char b) {
  return b != 0 && b < 0x80 && b != '\n' && b != '\r';
}

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD

// Writing ---------------------------------------------------------------------------------------------------

bool WriteOut(Slot& s) {
  if (s.end == 0) return true;
  s.passed.Add(s.buffer.data(), s.end);
  const bool ok = s.os->Write(s.file, reinterpret_cast<const char*>(s.buffer.data()), s.end);
  s.end = 0;
  if (!ok) s.write_failed = true;
  return ok;
}

// A write that does not fit strictly within the free space first writes the buffer out; one of a whole buffer
// or more then goes to the file directly.
void Put(Slot& s, const char* data, std::size_t size) {
  if (s.write_failed) return;
  if (size < kBufferSize - s.end) {
    std::memcpy(s.buffer.data() + s.end, data, size);
    s.end += size;
    return;
  }
  if (!WriteOut(s)) return;
  if (size >= kBufferSize) {
    s.passed.Add(reinterpret_cast<const unsigned char*>(data), size);
    if (!s.os->Write(s.file, data, size)) s.write_failed = true;
    return;
  }
  std::memcpy(s.buffer.data(), data, size);
  s.end = size;
}

bool Open(int slot, bool writing, TextView name) {
  std::unique_ptr<Slot>* entry = SlotEntry(slot);
  if (entry == nullptr) return false;
  if (*entry) CloseListFile(slot);
  auto s = std::make_unique<Slot>();
  s->os = &CurrentOsFiles();
  s->writing = writing;
  std::optional<OsHandle> file;
  if (writing) {
    file = s->os->CreateReplacement(name, true);
    if (!file) file = s->os->CreateReplacement(name, false);
  } else {
    file = s->os->OpenReadExclusive(name);
  }
  if (!file) return false;
  s->file = *file;
  if (!writing) s->bytes.reserve(kBufferSize);
  *entry = std::move(s);
  return true;
}

}  // namespace

OsFiles& CurrentOsFiles() {
  return g_installed != nullptr ? *g_installed : NativeOsFiles();
}

std::optional<Text> WorkingDirectory() {
  return CurrentOsFiles().WorkingDirectory();
}

ScopedOsFiles::ScopedOsFiles(OsFiles& files) : previous_(g_installed) {
  g_installed = &files;
}
ScopedOsFiles::~ScopedOsFiles() {
  g_installed = previous_;
}

bool OpenForReading(int slot, TextView name) {
  return Open(slot, false, name);
}

bool OpenForSharedReading(int slot, TextView name, std::chrono::milliseconds wait, OpenRefusal& refusal) {
  std::unique_ptr<Slot>* entry = SlotEntry(slot);
  if (entry == nullptr) {
    refusal = {OpenRefusal::Kind::kOther, "no such slot"};
    return false;
  }
  if (*entry) CloseListFile(slot);
  auto s = std::make_unique<Slot>();
  s->os = &CurrentOsFiles();
  // A writer holds a list only while it saves it: ask again a few times a second until the wait is over.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::optional<OsHandle> file;
  while (!(file = s->os->OpenReadShared(name, refusal)) && refusal.kind == OpenRefusal::Kind::kInUse &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!file) return false;
  s->file = *file;
  s->bytes.reserve(kBufferSize);
  *entry = std::move(s);
  return true;
}

void GuardAgainstBinary(int slot) {
  if (Slot* s = OpenSlot(slot, false)) s->guarded = true;
}

std::uint64_t BytesRead(int slot) {
  const Slot* s = OpenSlot(slot, false);
  return s != nullptr ? s->bytes_read : 0;
}

BinarySign BinarySignOf(int slot) {
  const Slot* s = OpenSlot(slot, false);
  return s != nullptr ? s->binary : BinarySign::kNone;
}

bool CreateForWriting(int slot, TextView name) {
  return Open(slot, true, name);
}

bool AtEnd(int slot) {
  Slot* s = OpenSlot(slot, false);
  if (s == nullptr) return true;
  return s->pos == s->end && !Refill(*s);
}

bool ReadFailed(int slot) {
  const Slot* s = OpenSlot(slot, false);
  return s != nullptr && s->read_failed;
}

Text ReadLine(int slot) {
  Slot* sp = OpenSlot(slot, false);
  if (sp == nullptr) return {};
  Slot& s = *sp;
  std::string& line = s.bytes;
  line.clear();
  s.last_end = '\n';
  for (;;) {
    if (s.guarded && line.size() > kBinaryLineBytes) {
      s.binary = BinarySign::kNoLineEnd;
      s.pos = s.end;
      break;
    }
    if (s.pos == s.end && !Refill(s)) break;
    // Plain characters are taken in one run, up to the next byte that needs a look.
    std::size_t p = s.pos;
    while (p < s.end && IsPlain(s.buffer[p])) ++p;
    line.append(reinterpret_cast<const char*>(s.buffer.data() + s.pos), p - s.pos);
    s.pos = p;
    if (p == s.end) continue;

    const unsigned char b = s.buffer[s.pos++];
    if (b == 0 || b == '\n') {
      s.last_end = static_cast<char>(b);
      break;
    }
    if (b == '\r') {
      // CR LF is one terminator; any other byte after a CR stays for the next read.
      if (PeekByte(s) == '\n') {
        ++s.pos;
      } else {
        s.last_end = '\r';
      }
      break;
    }
    if (b < 0xC0 || b >= 0xF8) {  // a stray continuation byte, or F8-FF: no character starts here
      line.push_back('?');
      continue;
    }
    // A lead byte: take the continuation bytes (80-BF) its character needs. When another byte comes first, or
    // the file ends, the bytes taken so far are one malformed sequence and that byte is read afresh, so a
    // lead byte never swallows a line end.
    const std::size_t lead_at = line.size();
    line.push_back(static_cast<char>(b));
    int missing = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    for (; missing > 0; --missing) {
      const int next = PeekByte(s);
      if (next < 0x80 || next > 0xBF) break;
      line.push_back(static_cast<char>(next));
      ++s.pos;
    }
    if (missing > 0) {
      line.resize(lead_at);
      line.append(kReplacementUtf8);
    }
  }
  return Utf8ToText(line);
}

char LastLineEnd(int slot) {
  const Slot* s = OpenSlot(slot, false);
  return s != nullptr ? s->last_end : '\n';
}

bool WriteLine(int slot, TextView text) {
  Slot* s = OpenSlot(slot, true);
  if (s == nullptr || s->write_failed) return false;
  if (!text.empty()) {
    s->bytes.clear();
    AppendUtf8(text, s->bytes);
    Put(*s, s->bytes.data(), s->bytes.size());
  }
  Put(*s, "\r\n", 2);
  return !s->write_failed;
}

bool CloseListFile(int slot) {
  std::unique_ptr<Slot>* entry = SlotEntry(slot);
  if (entry == nullptr || !*entry) return true;
  const std::unique_ptr<Slot> s = std::move(*entry);
  FileStamp& stamp = g_last_stamps[static_cast<std::size_t>(slot)];
  if (!s->writing) {
    stamp = s->passed.Stamp();
    return s->os->Close(s->file);
  }
  // The new file takes the list's place only when every byte reached it and the disk: never a cut list.
  bool ok = WriteOut(*s) && !s->write_failed && s->os->Flush(s->file);
  stamp = s->passed.Stamp();
  ok = s->os->Close(s->file) && ok;
  return s->os->FinishReplacement(s->file, ok) && ok;
}

FileStamp LastStamp(int slot) {
  return SlotEntry(slot) == nullptr ? FileStamp{} : g_last_stamps[static_cast<std::size_t>(slot)];
}

std::optional<FileStamp> StampNow(int slot, TextView name) {
  OpenRefusal refusal;
  if (!OpenForSharedReading(slot, name, std::chrono::milliseconds(0), refusal)) {
    if (refusal.kind == OpenRefusal::Kind::kMissing) return FileStamp{};
    return std::nullopt;
  }
  Slot& s = *g_slots[static_cast<std::size_t>(slot)];
  while (Refill(s)) s.pos = s.end;
  const bool whole = !s.read_failed;
  CloseListFile(slot);
  if (!whole) return std::nullopt;
  return LastStamp(slot);
}

bool CopyOver(TextView source, TextView target) {
  return CurrentOsFiles().Copy(source, target);
}

}  // namespace vw
