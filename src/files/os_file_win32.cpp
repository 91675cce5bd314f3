// File calls on Windows. Exclusive opening is share mode 0.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <string>

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

// The system's own words for an error, without the line end it puts after them.
std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  const DWORD size = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = size > 0 && text != nullptr ? std::string(text, size) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                              message.back() == '.')) {
    message.pop_back();
  }
  return message + (message.empty() ? "" : " ") + "(error " + std::to_string(error) + ")";
}

// What GetLastError says, as the kind of refusal it is. Opening a folder as a file is refused as "access
// denied", so a denial is checked against what the name stands for.
OpenRefusal RefusalOf(DWORD error, const std::wstring& path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {OpenRefusal::Kind::kMissing, {}};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return {OpenRefusal::Kind::kInUse, {}};
    case ERROR_ACCESS_DENIED: {
      const DWORD attributes = ::GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {OpenRefusal::Kind::kDirectory, {}};
      return {OpenRefusal::Kind::kDenied, {}};
    }
    default:
      return {OpenRefusal::Kind::kOther, SystemMessage(error)};
  }
}

std::optional<OsHandle> Opened(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return std::nullopt;
  return reinterpret_cast<OsHandle>(h);
}

class Win32Files final : public OsFiles {
 public:
  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    return Opened(::CreateFileW(path->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  }

  std::optional<OsHandle> OpenReadShared(TextView name, OpenRefusal& refusal) override {
    const auto path = NativeName(name);
    if (!path) {
      refusal = {OpenRefusal::Kind::kOther, "not a valid file name"};
      return std::nullopt;
    }
    const HANDLE h = ::CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      refusal = RefusalOf(::GetLastError(), *path);
      return std::nullopt;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {  // a console, a pipe, NUL
      ::CloseHandle(h);
      refusal = {OpenRefusal::Kind::kNotRegular, {}};
      return std::nullopt;
    }
    return reinterpret_cast<OsHandle>(h);
  }

  std::optional<OsHandle> CreateReadWrite(TextView name) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    return Opened(::CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  std::optional<OsHandle> TruncateExisting(TextView name) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    return Opened(::CreateFileW(path->c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
  }

  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    if (!::ReadFile(ToHandle(file), data, want, &got, nullptr)) return -1;
    return static_cast<std::int64_t>(got);
  }

  bool Write(OsHandle file, const char* data, std::size_t size) override {
    while (size > 0) {
      DWORD done = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
      if (!::WriteFile(ToHandle(file), data, chunk, &done, nullptr) || done == 0) return false;
      data += done;
      size -= done;
    }
    return true;
  }

  bool Flush(OsHandle file) override { return ::FlushFileBuffers(ToHandle(file)) != 0; }

  bool Close(OsHandle file) override { return ::CloseHandle(ToHandle(file)) != 0; }

  bool Copy(TextView source, TextView target) override {
    const auto from = NativeName(source);
    const auto to = NativeName(target);
    if (!from || !to) return false;
    return ::CopyFileW(from->c_str(), to->c_str(), FALSE) != 0;
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
