// What the commands share: JSON and text forms of entries and verdicts, the addresses to work
// on.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/folder_lists.h"
#include "rules/trust_index.h"

namespace vw::cli {

using Json = nlohmann::ordered_json;  // fields in the order written

std::string Dump(const Json& json);

// A text in double quotes, escaped as every field of text output is (see Shown).
std::string Quoted(TextView text);

inline const TrustList& ListOf(const FolderLists& lists, ListKind kind) {
  return lists.entries[ListNo(kind)];
}

// "DIR/TrustFile_SafeSites.txt:12"
std::string Place(const FolderLists& lists, EntryRef entry);

Json ApprovalsJson(const FolderLists& lists, const std::vector<EntryRef>& approvals);
// `{"address":...,"approved":...,"by":[...]}` and a line end, exactly as Dump of those fields writes it, at a
// fraction of its cost for the plain ASCII of most addresses and entries.
void AppendVerdictJson(const FolderLists& lists, const std::string& address,
                       const std::vector<EntryRef>& approvals, std::string& out);
void AppendApprovalsText(const FolderLists& lists, const std::vector<EntryRef>& approvals, const char* indent,
                         std::string& out);

// One address judged as `test` and `diff` judge it: by the browser's rule, or (`as_squid`) as the squid
// helper judges that URL when a client sends it through Squid (JudgeSquidAddress, the network rule).
// `unusable` is empty, or why the helper would answer BH (then nothing approves).
class AddressJudge {
 public:
  AddressJudge(const TrustIndex& index, bool as_squid) : index_(index), as_squid_(as_squid) {}
  void Judge(const std::string& address, std::vector<EntryRef>& approvals);
  std::string_view unusable() const { return unusable_; }

 private:
  const TrustIndex& index_;
  bool as_squid_;
  Text text_;
  std::string_view unusable_;
};

// What `test` writes of one judged address, in `format`.
void AppendTestVerdict(const FolderLists& lists, const std::string& address,
                       const std::vector<EntryRef>& approvals, std::string_view unusable, Format format,
                       std::string& out);

// The addresses of the command line, else the lines of standard input, one at a time.
class Addresses {
 public:
  explicit Addresses(const std::vector<std::string>& given) : given_(given), stdin_(stdin) {}
  bool Next(std::string& address) {
    if (!given_.empty()) {
      if (next_ == given_.size()) return false;
      address = given_[next_++];
      return true;
    }
    if (has_ready_) {
      has_ready_ = false;
      address.swap(ready_);
      return true;
    }
    // A blank line is no address: skipped, neither tested nor counted.
    while (stdin_.Next(address)) {
      if (!IsBlank(address)) return true;
    }
    return false;
  }
  // Whether Next has an address to give without waiting for input (blank lines that have arrived are passed).
  bool Ready() {
    if (!given_.empty()) return next_ < given_.size();
    while (!has_ready_ && stdin_.HasLine()) {
      stdin_.Next(ready_);
      has_ready_ = !IsBlank(ready_);
    }
    return has_ready_;
  }
  bool Failed() const { return stdin_.Failed(); }

 private:
  static bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

  const std::vector<std::string>& given_;
  std::size_t next_ = 0;
  LineReader stdin_;
  std::string ready_;  // read by Ready, not yet given out
  bool has_ready_ = false;
};

// Addresses in batches for the commands that answer each one alike: a batch holds the addresses that have
// arrived, up to `most`, and never waits for more input, so an address that comes alone (typed, or sent by
// another program that waits for its answer) is answered at once. False when there are no more addresses.
bool NextBatch(Addresses& addresses, std::size_t most, std::vector<std::string>& batch);

// The status, made kError by a read error on standard input or a write error on standard output.
int Finish(Output& output, const Addresses& addresses, int status);

}  // namespace vw::cli
