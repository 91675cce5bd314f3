#include "rules/link_rule.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vw {
namespace {

// The address, indexed for the question "does this entry occur in it?", asked once per entry of a list that
// may hold a million. The index records where each pair of adjacent units begins, bucketed by a hash of the
// pair; an entry of two units or more can only stand where its own first pair stands, so only those places
// are compared, whole. True when the entry
// occurs anywhere in the address as one run of units, each equal, letter case included; never for an empty
// entry or an empty address.
class AddressIndex {
 public:
  explicit AddressIndex(TextView address) : address_(address) {
    if (address.size() < 2) return;
    const std::size_t pairs = address.size() - 1;
    while (bits_ < kMaxBits && (std::size_t{1} << bits_) < 4 * pairs) ++bits_;
    // Counting sort of the pair positions by bucket: starts_[b] .. starts_[b + 1] are bucket b's, ascending.
    starts_.assign((std::size_t{1} << bits_) + 1, 0);
    for (std::size_t i = 0; i < pairs; ++i) ++starts_[Bucket(address[i], address[i + 1]) + 1];
    for (std::size_t b = 1; b < starts_.size(); ++b) starts_[b] += starts_[b - 1];
    positions_.resize(pairs);
    std::vector<std::size_t> next(starts_.begin(), starts_.end() - 1);
    for (std::size_t i = 0; i < pairs; ++i) positions_[next[Bucket(address[i], address[i + 1])]++] = i;
  }

  // With a `shape`, only occurrences that count there under the network rule.
  bool Contains(TextView entry, const AddressShape* shape) const {
    const std::size_t m = entry.size();
    const std::size_t n = address_.size();
    if (m == 0 || m > n) return false;
    const EntryAnchor anchor = shape != nullptr ? AnchorOf(entry) : EntryAnchor{};
    if (m == 1) return address_.find(entry[0]) != TextView::npos;  // one unit never holds an anchor
    const std::size_t bucket = Bucket(entry[0], entry[1]);
    const std::size_t last_start = n - m;
    for (std::size_t k = starts_[bucket]; k < starts_[bucket + 1]; ++k) {
      const std::size_t at = positions_[k];
      if (at > last_start) break;  // ascending: the rest cannot hold the entry either
      if (shape != nullptr && !CountsAt(anchor, at, *shape)) continue;
      // Equality only, so a byte compare will do; it is much quicker than a unit-by-unit ordering compare.
      if (std::memcmp(address_.data() + at, entry.data(), m * sizeof(char16_t)) == 0) return true;
    }
    return false;
  }

 private:
  static constexpr unsigned kMaxBits = 18;

  std::size_t Bucket(char16_t a, char16_t b) const {
    const std::uint32_t pair = (static_cast<std::uint32_t>(a) << 16) | b;
    return (pair * 0x9E3779B1u) >> (32 - bits_);
  }

  TextView address_;
  unsigned bits_ = 8;
  std::vector<std::size_t> starts_;
  std::vector<std::size_t> positions_;
};

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// A character a host name may hold, as an entry writes it: letters (upper case too, so that such an entry is
// anchored, and never matches, rather than matching anywhere), digits, "-", "_", "." and anything beyond
// ASCII.
bool IsHostNameChar(char16_t c) {
  return IsAsciiLetter(c) || IsDigit(c) || c == u'-' || c == u'_' || c == u'.' || c >= 0x80;
}

void LowerAscii(Text& text, std::size_t begin, std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] >= u'A' && text[i] <= u'Z') text[i] = static_cast<char16_t>(text[i] - u'A' + u'a');
  }
}

// Where the host of a CONNECT's "host:port" ends (at its ":"), or 0 when `address` is not one: a host name
// (no "/", "?", "#", "@", ":", "%", blank or control) or a bracketed IPv6 literal, then ":" and a port of
// digits.
std::size_t ConnectHostEnd(TextView address) {
  const std::size_t colon = address.rfind(u':');
  if (colon == TextView::npos || colon == 0 || colon + 1 == address.size()) return 0;
  for (std::size_t i = colon + 1; i < address.size(); ++i) {
    if (!IsDigit(address[i])) return 0;
  }
  const TextView host = address.substr(0, colon);
  if (host.front() == u'[') {
    return host.size() > 2 && host.back() == u']' && host.find_first_of(u"[]/?#@% ", 1) == host.size() - 1
               ? colon
               : 0;
  }
  for (const char16_t c : host) {
    if (c <= u' ' || c == 0x7F || TextView(u"/?#@:%[]\\").find(c) != TextView::npos) return 0;
  }
  return colon;
}

}  // namespace

bool IsSchemeName(TextView text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return false;
  for (const char16_t c : text) {
    if (!IsAsciiLetter(c) && !IsDigit(c) && c != u'+' && c != u'-' && c != u'.') return false;
  }
  return true;
}

AddressShape NetworkAddress(TextView address, Text& judged) {
  AddressShape shape;
  if (const std::size_t colon = ConnectHostEnd(address); colon != 0) {
    const TextView port = address.substr(colon + 1);
    judged.assign(u"https://");
    judged.append(address.substr(0, colon));
    if (port != u"443") judged.append(address.substr(colon));
    judged.push_back(u'/');
    shape.scheme_separator = 5;
    shape.host_begin = 8;
    shape.host_end = 8 + colon;
    LowerAscii(judged, shape.host_begin, shape.host_end);
    return shape;
  }
  judged.assign(address);
  const std::size_t separator = address.find(u"://");
  if (separator == TextView::npos || !IsSchemeName(address.substr(0, separator))) return shape;
  shape.scheme_separator = separator;
  LowerAscii(judged, 0, separator);
  const std::size_t authority = separator + 3;
  const std::size_t authority_end = std::min(address.find_first_of(u"/?#", authority), address.size());
  const std::size_t at = address.substr(authority, authority_end - authority).rfind(u'@');
  shape.host_begin = at == TextView::npos ? authority : authority + at + 1;
  if (shape.host_begin < authority_end && address[shape.host_begin] == u'[') {
    const std::size_t close = address.find(u']', shape.host_begin);
    shape.host_end = close < authority_end ? close + 1 : authority_end;
  } else {
    shape.host_end = std::min(address.find(u':', shape.host_begin), authority_end);
  }
  LowerAscii(judged, shape.host_begin, shape.host_end);
  return shape;
}

EntryAnchor AnchorOf(TextView entry) {
  if (const std::size_t separator = entry.find(u"://"); separator != TextView::npos) {
    return {EntryAnchor::kScheme, separator};
  }
  if (entry.size() < 3 || entry[0] != u'.') return {};
  std::size_t end = 1;
  while (end < entry.size() && IsHostNameChar(entry[end])) ++end;
  if (end > 1 && end < entry.size() && (entry[end] == u'/' || entry[end] == u':'))
    return {EntryAnchor::kHost, 0};
  return {};
}

void ApprovingEntries(const LinkRuleEngine& engine, TextView address, std::vector<EntryRef>& approvals,
                      LinkRule rule) {
  approvals.clear();
  AddressShape shape;
  const AddressShape* where = nullptr;
  if (rule == LinkRule::kNetwork) {
    // Kept between calls: the helper asks once per request, and most addresses fit the room left by the last.
    thread_local Text judged;
    shape = NetworkAddress(address, judged);
    address = judged;
    where = &shape;
  }
  for (const ListInfo& row : kListTable) {
    engine.AppendIn(row.kind, address, where, approvals);
    if (!approvals.empty()) return;
  }
}

void ListWalk::AppendIn(ListKind kind, TextView address, const AddressShape* shape,
                        std::vector<EntryRef>& out) const {
  const AddressIndex index(address);
  const TrustList& list = *lists_[ListNo(kind)];
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (!index.Contains(list[i], shape)) continue;
    out.push_back({kind, i});
    if (!RowOf(kind).every_match) return;
  }
}

}  // namespace vw
