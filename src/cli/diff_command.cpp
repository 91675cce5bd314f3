// `veraway-check diff`: two folders of lists compared, entry by entry (as a unified diff without context),
// and, for the addresses given, the verdicts that differ with the entries behind each.
#include <dtl/dtl.hpp>
#include <unordered_map>

#include "cli/command_parts.h"
#include "cli/commands.h"
#include "rules/trust_index.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vw::cli {
namespace {

// A run of entries removed from the --against list and entries added in the --dir list, at one place.
struct Hunk {
  std::size_t before_line = 0;  // the first removed line, or the line after which entries were added
  std::size_t after_line = 0;
  std::vector<std::size_t> removed;  // 0-based, in the --against list
  std::vector<std::size_t> added;    // 0-based, in the --dir list
};

// The shortest edit from `before` to `after`, entry for entry: order and repeated entries count. Entries are
// compared as numbers standing for their texts.
std::vector<Hunk> DiffEntries(const TrustList& before, const TrustList& after) {
  std::unordered_map<TextView, std::uint32_t> ids;
  const auto numbered = [&](const TrustList& list) {
    std::vector<std::uint32_t> out;
    out.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      out.push_back(ids.try_emplace(list[i], static_cast<std::uint32_t>(ids.size())).first->second);
    }
    return out;
  };
  const std::vector<std::uint32_t> a = numbered(before);
  const std::vector<std::uint32_t> b = numbered(after);
  dtl::Diff<std::uint32_t> diff(a, b, true);  // removals before additions, as in a unified diff
  diff.onHuge();
  diff.compose();
  std::vector<Hunk> hunks;
  std::size_t before_seen = 0;  // lines of each side passed so far
  std::size_t after_seen = 0;
  bool open = false;
  for (const auto& [id, info] : diff.getSes().getSequence()) {
    static_cast<void>(id);
    if (info.type == dtl::SES_COMMON) {
      open = false;
      ++before_seen;
      ++after_seen;
      continue;
    }
    if (!open) {
      hunks.push_back({before_seen, after_seen, {}, {}});
      open = true;
    }
    if (info.type == dtl::SES_DELETE) {
      hunks.back().removed.push_back(before_seen++);
    } else {
      hunks.back().added.push_back(after_seen++);
    }
  }
  return hunks;
}

// "-3,2" / "+4" / "+7,0", as unified diff headers write a range.
// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "," + std::string.
std::string Range(char sign, std::size_t first_index, std::size_t count) {
  std::string out(1, sign);
  out += std::to_string(count == 0 ? first_index : first_index + 1);
  if (count != 1) {
    out += ',';
    out += std::to_string(count);
  }
  return out;
}

struct Totals {
  std::size_t added = 0;
  std::size_t removed = 0;
};

Totals WriteEntryDiff(const FolderLists& lists, const FolderLists& other, ListKind kind, Format format,
                      Output& output) {
  const TrustList& before = ListOf(other, kind);
  const TrustList& after = ListOf(lists, kind);
  const char* list_name = RowOf(kind).label;
  Totals totals;
  const std::vector<Hunk> hunks = DiffEntries(before, after);
  if (!hunks.empty() && format == Format::kText) {
    output.buffer() +=
        "--- " + Shown(ListPath(other.dir, kind)) + "\n+++ " + Shown(ListPath(lists.dir, kind)) + "\n";
  }
  for (const Hunk& hunk : hunks) {
    totals.removed += hunk.removed.size();
    totals.added += hunk.added.size();
    std::string& out = output.buffer();
    if (format == Format::kText) {
      out += "@@ " + Range('-', hunk.before_line, hunk.removed.size()) + " " +
             Range('+', hunk.after_line, hunk.added.size()) + " @@\n";
      for (std::size_t i : hunk.removed) {
        out += '-';
        out += Shown(TextToUtf8(before[i]));
        out += '\n';
      }
      for (std::size_t i : hunk.added) {
        out += '+';
        out += Shown(TextToUtf8(after[i]));
        out += '\n';
      }
    } else {
      for (const auto* side : {&hunk.removed, &hunk.added}) {
        const bool removed = side == &hunk.removed;
        for (std::size_t i : *side) {
          out += Dump(Json{{"list", list_name},
                           {"change", removed ? "removed" : "added"},
                           {"file", ListPath(removed ? other.dir : lists.dir, kind)},
                           {"line", i + 1},
                           {"entry", TextToUtf8((removed ? before : after)[i])}});
          out += '\n';
        }
      }
    }
    output.Flush(false);
  }
  return totals;
}

bool StdinIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

}  // namespace

int RunDiff(const Options& options) {
  FolderLists lists;
  FolderLists other;
  if (!ReadFolderLists(options.dir, lists) || !ReadFolderLists(options.against, other)) return kError;
  const TrustIndex index(lists.Lists());
  const TrustIndex other_index(other.Lists());
  Output output;
  PerList<Totals> totals;
  Totals all;
  for (const ListInfo& row : kListTable) {
    Totals& list = totals[ListNo(row.kind)];
    list = WriteEntryDiff(lists, other, row.kind, options.format, output);
    all.added += list.added;
    all.removed += list.removed;
  }
  // Addresses from the arguments, else from standard input unless a person sits at it.
  static const std::vector<std::string> kNone;
  const bool no_addresses = options.addresses.empty() && StdinIsTerminal();
  Addresses addresses(no_addresses ? kNone : options.addresses);
  Progress progress("addresses compared");
  AddressJudge judge(index, options.as_squid);
  AddressJudge other_judge(other_index, options.as_squid);
  std::vector<EntryRef> approvals;
  std::vector<EntryRef> other_approvals;
  std::string address;
  std::size_t count = 0;
  std::size_t changed = 0;
  int status = all.added + all.removed == 0 ? kOk : kFindings;
  const std::string dir_name = options.dir.empty() ? "." : options.dir;
  while (addresses.Next(address)) {
    judge.Judge(address, approvals);
    other_judge.Judge(address, other_approvals);
    progress.Update(++count);
    if (approvals.empty() == other_approvals.empty()) continue;
    status = kFindings;
    ++changed;
    std::string& out = output.buffer();
    if (options.format == Format::kJsonl) {
      out += Dump(
          Json{{"address", address},
               {"dir", {{"approved", !approvals.empty()}, {"by", ApprovalsJson(lists, approvals)}}},
               {"against",
                {{"approved", !other_approvals.empty()}, {"by", ApprovalsJson(other, other_approvals)}}}});
      out += '\n';
    } else {
      out += Shown(address) + '\n';
      for (const auto* side : {&lists, &other}) {
        const std::vector<EntryRef>& by = side == &lists ? approvals : other_approvals;
        out += "  " + Shown(side == &lists ? dir_name : options.against) +
               (by.empty() ? ": not approved\n" : ": approved\n");
        AppendApprovalsText(*side, by, "    ", out);
      }
    }
    output.Flush(false);
  }
  progress.Done();
  // The totals.
  std::string& out = output.buffer();
  if (options.format == Format::kJsonl) {
    Json json{{"added", all.added}, {"removed", all.removed}};
    for (const ListInfo& row : kListTable) {
      const Totals& list = totals[ListNo(row.kind)];
      json[row.label] = {{"added", list.added}, {"removed", list.removed}};
    }
    json["addresses"] = count;
    json["verdicts_changed"] = changed;
    out += Dump(json);
  } else {
    out += std::to_string(all.added) + " entries added, " + std::to_string(all.removed) + " removed (";
    for (const ListInfo& row : kListTable) {
      const Totals& list = totals[ListNo(row.kind)];
      if (row.kind != kListTable[0].kind) out += "; ";
      out += std::string(row.label) + ": " + std::to_string(list.added) + " added, " +
             std::to_string(list.removed) + " removed";
    }
    out += ")";
    if (count > 0)
      out += "; " + std::to_string(changed) + " of " + std::to_string(count) + " addresses changed verdict";
  }
  out += '\n';
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
