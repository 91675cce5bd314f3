// File calls on Windows. Exclusive opening is share mode 0. A file is never written in place: a save and a
// copy write a new file beside it, flush it (FlushFileBuffers) and move it over the old one in one step
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), so a full disk never cuts a list or
// a backup.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "files/os_file.h"

namespace vw {
namespace {

// wchar_t is a 16-bit unit on Windows: the text passes unit for unit.
std::optional<std::wstring> NativeName(TextView name) {
  if (name.empty() || name.find(u'\0') != TextView::npos) return std::nullopt;
  return std::wstring(name.begin(), name.end());
}

HANDLE ToHandle(OsHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

std::optional<OsHandle> Opened(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return std::nullopt;
  return reinterpret_cast<OsHandle>(h);
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    if (!::WriteFile(file, data, chunk, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

// The file that a save or a copy replaces, held (share mode 0) from the start to the end of the replacement.
struct Target {
  std::wstring name;
  HANDLE held = INVALID_HANDLE_VALUE;
  bool created = false;  // it was missing: made empty here to be held, and removed again if the save fails
  DWORD attributes = 0;  // the existing file's hidden and system attributes, kept
};

// Holds the file `name` for replacing with `access`: a file on a disk that this process may write and nobody
// else has open, or, when `may_be_missing`, no file at all (an empty one is made and held, so that two savers
// keep apart there too). A read-only file, a folder, a device or a pipe is refused.
std::optional<Target> HoldTarget(const std::wstring& name, DWORD access, bool may_be_missing) {
  Target t;
  t.name = name;
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return std::nullopt;
    t.attributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    t.held = ::CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else if (::GetLastError() == ERROR_FILE_NOT_FOUND && may_be_missing) {
    t.held = ::CreateFileW(name.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    t.created = t.held != INVALID_HANDLE_VALUE;
  }
  if (t.held == INVALID_HANDLE_VALUE) return std::nullopt;
  if (::GetFileType(t.held) != FILE_TYPE_DISK) {
    ::CloseHandle(t.held);
    if (t.created) ::DeleteFileW(name.c_str());
    return std::nullopt;
  }
  return t;
}

// A new, empty file beside the target, created here and nowhere else: the target's folder, a dot, its leaf
// and a number.
HANDLE CreateBeside(const std::wstring& target, std::wstring& name) {
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
  const std::wstring leaf = slash == std::wstring::npos ? target : target.substr(slash + 1);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + L"." + leaf + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L".new";
    const HANDLE h =
        ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    if (::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  name.clear();  // nothing of this process's own to remove
  return INVALID_HANDLE_VALUE;
}

// Moves the new file, written, flushed and closed, over the target (`keep`), or removes it. The old file is
// let go of first: Windows moves nothing over a file that is open. The move is one step, written through.
bool FinishTarget(Target& t, const std::wstring& new_name, bool keep) {
  ::CloseHandle(t.held);
  t.held = INVALID_HANDLE_VALUE;
  bool ok = keep && ::MoveFileExW(new_name.c_str(), t.name.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok && !new_name.empty()) ::DeleteFileW(new_name.c_str());
  if (!ok && t.created) ::DeleteFileW(t.name.c_str());  // nothing was there before the save
  if (ok && t.attributes != 0) ::SetFileAttributesW(t.name.c_str(), t.attributes);
  return ok;
}

// The saves under way: by the new file's handle, the file it replaces and its own name.
struct Replacement {
  Target target;
  std::wstring new_name;
};
std::map<OsHandle, Replacement>& Replacements() {
  static std::map<OsHandle, Replacement> replacements;
  return replacements;
}

class Win32Files final : public OsFiles {
 public:
  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    return Opened(::CreateFileW(path->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  }

  std::optional<OsHandle> CreateReplacement(TextView name, bool first_attempt) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    auto target =
        HoldTarget(*path, first_attempt ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE, first_attempt);
    if (!target) return std::nullopt;
    std::wstring new_name;
    const HANDLE h = CreateBeside(target->name, new_name);
    if (h == INVALID_HANDLE_VALUE) {
      FinishTarget(*target, new_name, false);
      return std::nullopt;
    }
    const OsHandle file = reinterpret_cast<OsHandle>(h);
    Replacements()[file] = Replacement{std::move(*target), std::move(new_name)};
    return file;
  }

  bool FinishReplacement(OsHandle file, bool keep) override {
    auto it = Replacements().find(file);
    if (it == Replacements().end()) return false;
    Replacement r = std::move(it->second);
    Replacements().erase(it);
    return FinishTarget(r.target, r.new_name, keep);
  }

  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    if (!::ReadFile(ToHandle(file), data, want, &got, nullptr)) return -1;
    return static_cast<std::int64_t>(got);
  }

  bool Write(OsHandle file, const char* data, std::size_t size) override {
    return WriteAll(ToHandle(file), data, size);
  }

  bool Flush(OsHandle file) override { return ::FlushFileBuffers(ToHandle(file)) != 0; }

  bool Close(OsHandle file) override { return ::CloseHandle(ToHandle(file)) != 0; }

  bool Copy(TextView source, TextView target) override {
    const auto from_name = NativeName(source);
    const auto to_name = NativeName(target);
    if (!from_name || !to_name) return false;
    // Shared reading, as CopyFileW reads: refused while anyone holds the source exclusively.
    const HANDLE from = ::CreateFileW(from_name->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (from == INVALID_HANDLE_VALUE) return false;
    bool ok = false;
    if (::GetFileType(from) == FILE_TYPE_DISK) {
      // A hidden target is refused as CopyFileW refuses it; a file copied over itself meets its own reading.
      const DWORD attributes = ::GetFileAttributesW(to_name->c_str());
      const bool hidden = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
      auto held = hidden ? std::nullopt : HoldTarget(*to_name, GENERIC_WRITE, true);
      if (held) {
        std::wstring new_name;
        const HANDLE to = CreateBeside(held->name, new_name);
        if (to != INVALID_HANDLE_VALUE) ok = CopyData(from, to) && ::FlushFileBuffers(to) != 0;
        if (to != INVALID_HANDLE_VALUE) ok = ::CloseHandle(to) != 0 && ok;
        ok = FinishTarget(*held, new_name, ok) && ok;
      }
    }
    ::CloseHandle(from);
    return ok;
  }

 private:
  static bool CopyData(HANDLE from, HANDLE to) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
      if (got == 0) return true;
      if (!WriteAll(to, buffer.data(), got)) return false;
    }
  }
};

}  // namespace

OsFiles& NativeOsFiles() {
  static Win32Files files;
  return files;
}

std::optional<Text> OsWorkingDirectory() {
  DWORD size = ::GetCurrentDirectoryW(0, nullptr);  // units needed, terminating zero included
  for (;;) {
    if (size == 0) return std::nullopt;
    std::wstring buffer(size, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(size, buffer.data());
    if (got == 0) return std::nullopt;
    if (got < size) return Text(buffer.begin(), buffer.begin() + got);
    size = got;  // the directory changed in between and grew: ask again with the new size
  }
}

}  // namespace vw
