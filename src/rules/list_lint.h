// The companion's list checks: entries that look like an approval but are not one, or approve more than
// meant.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/trust_list.h"
#include "rules/trust_index.h"

namespace vw {

// In the order a line's findings are listed.
enum class LintRule : std::uint8_t {
  kBom,         // a byte-order mark before the first entry of a file: that entry never matches
  kWhitespace,  // a blank or tab at the start or the end: no address holds one
  kEmpty,       // an empty line approves nothing; a run of them is one finding, `count` lines long
  kDuplicate,   // the same text stands earlier (sites come before links); `other` is its first place
  kRedundant,   // another entry occurs inside this one, so this one approves nothing more; `other` names it
  kBroad,       // occurs in what almost every address holds, or is three units or fewer
  kUppercase,   // an upper-case letter in the host part (before the first "/" after any "scheme://")
  kMalformed,   // U+FFFD: bytes that were not UTF-8 when the file was read
  kControl,     // another control character (a tab inside the entry, say)
};

const char* LintRuleName(LintRule rule);

struct LintFinding {
  EntryRef at;
  LintRule rule = LintRule::kEmpty;
  EntryRef other;         // for kDuplicate and kRedundant
  std::size_t count = 1;  // for kEmpty: the empty lines in a row from `at` on
};

// Every finding in both lists, sorted by list (sites first), line, then rule. `index` is over the same lists.
// `progress`, when given, is called now and then with the number of entries checked so far.
std::vector<LintFinding> LintLists(const TrustList& sites, const TrustList& links, const TrustIndex& index,
                                   const std::function<void(std::size_t checked)>& progress = {});

// The pieces of text that nearly every address holds; an entry that occurs in one of them is broad.
inline constexpr TextView kCommonAddressParts[] = {u"https://www.", u"http://www.", u".com/", u".org/",
                                                   u".net/"};

}  // namespace vw
