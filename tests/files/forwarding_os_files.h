// The machine's own file calls, for a test layer that changes only what it overrides.
#pragma once

#include "files/os_file.h"

namespace vw::testing {

class ForwardingOsFiles : public OsFiles {
 public:
  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    return native_.OpenReadExclusive(name);
  }
  std::optional<OsHandle> CreateReplacement(TextView name, bool first_attempt) override {
    return native_.CreateReplacement(name, first_attempt);
  }
  bool FinishReplacement(OsHandle file, bool keep) override { return native_.FinishReplacement(file, keep); }
  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    return native_.Read(file, data, size);
  }
  bool Write(OsHandle file, const char* data, std::size_t size) override {
    return native_.Write(file, data, size);
  }
  bool Flush(OsHandle file) override { return native_.Flush(file); }
  bool Close(OsHandle file) override { return native_.Close(file); }
  bool Copy(TextView source, TextView target) override { return native_.Copy(source, target); }

 protected:
  OsFiles& native_ = NativeOsFiles();
};

}  // namespace vw::testing
