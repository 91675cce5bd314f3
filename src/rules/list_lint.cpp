#include "rules/list_lint.h"

#include <algorithm>

namespace vw {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

bool IsControl(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Letters that FoldCase changes although they are already lower case (other forms of a small letter).
bool IsLowerVariant(char16_t c) {
  switch (c) {
    case 0xB5:   // micro sign
    case 0x17F:  // long s
    case 0x345:  // combining ypogegrammeni
    case 0x3C2:  // final sigma
    case 0x3D0:
    case 0x3D1:
    case 0x3D5:
    case 0x3D6:
    case 0x3F0:
    case 0x3F1:
    case 0x3F5:
      return true;
    default:
      return false;
  }
}

bool IsUpperCase(char16_t c) {
  return FoldCase(c) != c && !IsLowerVariant(c);
}

bool HostHasUpperCase(TextView entry) {
  const std::size_t scheme_end = entry.find(u"://");
  const std::size_t host_start = scheme_end == TextView::npos ? 0 : scheme_end + 3;
  const std::size_t host_end = std::min(entry.find(u'/', host_start), entry.size());
  return std::any_of(entry.begin() + static_cast<std::ptrdiff_t>(host_start),
                     entry.begin() + static_cast<std::ptrdiff_t>(host_end), IsUpperCase);
}

bool IsBroad(TextView entry) {
  if (entry.size() <= 3) return true;
  return std::any_of(std::begin(kCommonAddressParts), std::end(kCommonAddressParts),
                     [&](TextView part) { return FindText(part, entry, 0) > 0; });
}

// A tab at either end is the whitespace rule's finding; every other control character is this rule's.
bool HasOtherControl(TextView entry) {
  for (std::size_t i = 0; i < entry.size(); ++i) {
    if (!IsControl(entry[i])) continue;
    if (entry[i] == u'\t' && (i == 0 || i + 1 == entry.size())) continue;
    return true;
  }
  return false;
}

void LintOne(const TrustIndex& index, EntryRef at, TextView entry, std::vector<LintFinding>& out) {
  const auto add = [&](LintRule rule, EntryRef other = {}) { out.push_back({at, rule, other}); };
  if (at.index == 0 && !entry.empty() && entry[0] == u'\uFEFF') add(LintRule::kBom);
  if (entry.empty()) {
    // A run of empty lines is one finding, so findings never grow with a file of empty lines.
    LintFinding* last = out.empty() ? nullptr : &out.back();
    if (last != nullptr && last->rule == LintRule::kEmpty && last->at.list == at.list &&
        last->at.index + last->count == at.index) {
      ++last->count;
    } else {
      add(LintRule::kEmpty);
    }
    return;
  }
  if (IsBlank(entry.front()) || IsBlank(entry.back())) add(LintRule::kWhitespace);
  const TrustIndex::Relations relations = index.RelationsOf(entry);
  if (relations.has_equal && !(relations.equal == at)) add(LintRule::kDuplicate, relations.equal);
  if (relations.has_inside) add(LintRule::kRedundant, relations.inside);
  if (IsBroad(entry)) add(LintRule::kBroad);
  if (HostHasUpperCase(entry)) add(LintRule::kUppercase);
  if (entry.find(u'\uFFFD') != TextView::npos) add(LintRule::kMalformed);
  if (HasOtherControl(entry)) add(LintRule::kControl);
}

}  // namespace

const char* LintRuleName(LintRule rule) {
  switch (rule) {
    case LintRule::kBom:
      return "bom";
    case LintRule::kWhitespace:
      return "whitespace";
    case LintRule::kEmpty:
      return "empty";
    case LintRule::kDuplicate:
      return "duplicate";
    case LintRule::kRedundant:
      return "redundant";
    case LintRule::kBroad:
      return "broad";
    case LintRule::kUppercase:
      return "uppercase";
    case LintRule::kMalformed:
      return "malformed";
    case LintRule::kControl:
      return "control";
  }
  return "?";
}

std::vector<LintFinding> LintLists(const TrustList& sites, const TrustList& links, const TrustIndex& index,
                                   const std::function<void(std::size_t checked)>& progress) {
  std::vector<LintFinding> findings;
  std::size_t checked = 0;
  // Entries are walked in the order of the result, so the findings come out sorted.
  for (const auto& [kind, list] :
       {std::pair{ListKind::kSites, &sites}, std::pair{ListKind::kLinks, &links}}) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      LintOne(index, EntryRef{kind, i}, (*list)[i], findings);
      if (progress && ++checked % 4096 == 0) progress(checked);
    }
  }
  return findings;
}

}  // namespace vw
