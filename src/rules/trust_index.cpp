// The index behind the companion's verdicts: the link rule's second engine (rules/link_rule.h).
//
// Why hashed windows and not an automaton: a list of a million entries of about 30 units is some 30 million
// units, and an Aho-Corasick automaton over it has nearly one state per unit, since host names share little
// beyond their first letters. Even packed (goto edges in sorted arrays, a failure link and an output link per
// state) that is 16 bytes or more a state, half a gigabyte before the lists themselves. Instead each distinct
// entry text is stored once in a hash table keyed by a polynomial hash of the whole text. An address of n
// units is asked only about windows whose length is the length of some entry: with prefix hashes of the
// address, each window's hash costs one multiplication, and a bit filter in front of the table (16 to 32 bits
// an entry) turns most of them away before the table is read; its words are fetched a batch of windows ahead,
// since neither it nor the table fits in the caches. A second filter, of the first 8 units of every entry, is
// asked once per place in the address, and the windows of the longer lengths are looked at only where some
// entry may begin. An address thus costs at most n windows per distinct entry length (never more than n (n +
// 1) / 2 in all), however many entries the lists hold, and usually a few per place. Every hit is verified by
// comparing the texts, so a hash collision can cost time but never change a verdict. The index takes about 40
// bytes per entry on top of the lists.
#include "rules/trust_index.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <span>
#include <stdexcept>

namespace vw {
namespace {

// Arithmetic modulo the Mersenne prime 2^61 - 1.
constexpr std::uint64_t kModulus = (std::uint64_t{1} << 61) - 1;
// Fixed (verdicts never depend on it), and below 2^32, so that Step multiplies by it with two products.
constexpr std::uint64_t kBase = 0xA2C4E6B1u;

// The 128-bit product of GCC and Clang (every compiler this is built with, MinGW's too); `__extension__`
// keeps -Wpedantic quiet about it. An address's windows each cost one such product, so it pays to be one
// multiplication and not four.
__extension__ typedef unsigned __int128 Product;

// a * b modulo 2^61 - 1, for a and b below the modulus: with p = a b = high 2^61 + low, 2^61 = 1 here.
inline std::uint64_t MulMod(std::uint64_t a, std::uint64_t b) {
  const Product product = static_cast<Product>(a) * b;
  const std::uint64_t sum =
      (static_cast<std::uint64_t>(product) & kModulus) + static_cast<std::uint64_t>(product >> 61);
  return sum >= kModulus ? sum - kModulus : sum;
}

// (hash kBase + unit + 1) modulo 2^61 - 1: MulMod with b = kBase, whose high half is 0. Every unit of every
// entry goes through it while the index is built, so it is written out to stay small enough to inline.
inline std::uint64_t Step(std::uint64_t hash, char16_t unit) {
  const std::uint64_t middle = (hash >> 32) * kBase;       // below 2^61
  const std::uint64_t low = (hash & 0xFFFFFFFFu) * kBase;  // below 2^64
  const std::uint64_t sum = (middle >> 29) + ((middle & ((std::uint64_t{1} << 29) - 1)) << 32) +
                            (low & kModulus) + (low >> 61) + unit + 1;  // below 2^62
  const std::uint64_t next = (sum & kModulus) + (sum >> 61);
  return next >= kModulus ? next - kModulus : next;
}

std::uint64_t HashOf(TextView text) {
  std::uint64_t hash = 0;
  for (char16_t unit : text) hash = Step(hash, unit);
  return hash;
}

std::uint64_t PowerOfBase(std::uint64_t exponent) {
  std::uint64_t result = 1;
  std::uint64_t square = kBase;
  for (; exponent != 0; exponent >>= 1) {
    if ((exponent & 1u) != 0) result = MulMod(result, square);
    square = MulMod(square, square);
  }
  return result;
}

// Spreads a hash over the 64 bits, so that its top bits can pick a slot or a filter bit.
std::uint64_t Spread(std::uint64_t hash) {
  return hash * 0x9E3779B97F4A7C15ull;
}

// Entries of at least this many units are looked for only where their first kAnchor units may stand.
constexpr std::size_t kAnchor = 8;

// The filters are blocked: a text sets three bits of one 64-bit word, so asking costs one memory read, and at
// 16 bits per text about one text in 120 that is absent passes (one bit of the whole array let one in 16
// pass, and each pass costs a read of the slot table, far larger than the caches).
std::uint64_t FilterWord(unsigned bits, std::uint64_t spread) {
  return spread >> (64 - (bits - 6));
}

std::uint64_t FilterMask(std::uint64_t spread) {
  return std::uint64_t{1} << (spread >> 22 & 63) | std::uint64_t{1} << (spread >> 28 & 63) |
         std::uint64_t{1} << (spread >> 34 & 63);
}

// A filter's answer for a spread hash (Spread), with its word read before it is needed (Prefetch), so that
// the words of many windows are on their way from memory at once: the filters are larger than the caches.
struct FilterProbe {
  std::size_t word;
  std::uint64_t mask;
};

FilterProbe ProbeOf(unsigned bits, std::uint64_t spread) {
  return {static_cast<std::size_t>(FilterWord(bits, spread)), FilterMask(spread)};
}

void Prefetch(const std::vector<std::uint64_t>& filter, const FilterProbe& probe) {
  __builtin_prefetch(&filter[probe.word]);
}

bool FilterHas(const std::vector<std::uint64_t>& filter, const FilterProbe& probe) {
  return (filter[probe.word] & probe.mask) == probe.mask;
}

void FilterAdd(std::vector<std::uint64_t>& filter, unsigned bits, std::uint64_t hash) {
  const FilterProbe probe = ProbeOf(bits, Spread(hash));
  filter[probe.word] |= probe.mask;
}

unsigned BitsFor(std::size_t count) {
  unsigned bits = 6;
  while ((std::size_t{1} << bits) < count) ++bits;
  return bits;
}

bool SameUnits(TextView a, TextView b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// A thread's space for one question, reused from question to question, and its last answer.
struct Scratch {
  std::vector<std::uint64_t> prefix;
  std::vector<std::uint32_t> ids;
  std::uint64_t serial = 0;  // the index `ids` answers for (0: none)
  Text text;                 // the text it answers for
  bool shaped = false;       // ... and whether for a shape (the network rule), which:
  AddressShape shape;
};
thread_local Scratch t_scratch;

std::atomic<std::uint64_t> g_next_serial{1};

}  // namespace

TrustIndex::TrustIndex(const ListSet& lists)
    : lists_(lists), serial_(g_next_serial.fetch_add(1, std::memory_order_relaxed)) {
  std::size_t total = 0;
  std::size_t empty = 0;
  for (std::size_t n = 0; n < kListCount; ++n) {
    total += lists[n]->size();
    empty += lists[n]->EmptyCount();
    if (total >= kNone) throw std::length_error("too many entries for the index");
    start_[n + 1] = static_cast<std::uint32_t>(total);
  }
  // Sized by the entries that can occur (an empty one never does), so that no run of empty lines makes the
  // table grow.
  const std::size_t texts = total - empty;
  slot_bits_ = BitsFor(2 * texts);                                 // load factor at most one half
  filter_bits_ = BitsFor(std::max<std::size_t>(16 * texts, 128));  // 16 bits a text, two words at least
  slots_.assign(std::size_t{1} << slot_bits_, 0);
  filter_.assign(((std::size_t{1} << filter_bits_) + 63) / 64, 0);
  anchor_filter_.assign(filter_.size(), 0);
  std::vector<std::uint32_t> last_same;  // per distinct text, its latest entry so far

  // The entries a batch at a time: first each one's hashes, asking for the slot and the filter words it will
  // touch (the table and filters are larger than the caches), then each in turn, in the lists' order.
  struct Hashed {
    std::uint32_t entry;
    TextView text;
    std::uint64_t hash;
    std::uint64_t head;  // the hash of its first kAnchor units, if it has so many
  };
  constexpr std::uint32_t kAhead = 32;
  std::array<Hashed, kAhead> batch;
  for (std::uint32_t begin = 0; begin < total;) {
    const std::uint32_t end =
        static_cast<std::uint32_t>(std::min<std::size_t>(total, std::size_t{begin} + kAhead));
    std::size_t count = 0;
    for (std::uint32_t entry = begin; entry < end; ++entry) {
      const TextView text = EntryText(entry);
      if (text.empty()) continue;  // never occurs in anything
      if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("entry too long");
      const TextView head = text.substr(0, kAnchor);
      std::uint64_t hash = HashOf(head);
      const std::uint64_t head_hash = hash;
      for (char16_t unit : text.substr(head.size())) hash = Step(hash, unit);
      batch[count++] = {entry, text, hash, head_hash};
      __builtin_prefetch(&slots_[HomeSlot(hash)]);
      Prefetch(filter_, ProbeOf(filter_bits_, Spread(hash)));
      if (text.size() >= kAnchor) Prefetch(anchor_filter_, ProbeOf(filter_bits_, Spread(head_hash)));
    }
    begin = end;
    for (std::size_t i = 0; i < count; ++i) {
      const auto [entry, text, hash, head_hash] = batch[i];
      const std::size_t list = ListNo(RefOf(entry).list);
      std::vector<std::uint32_t>& first_in = first_in_[list];
      const bool first_only = !kListTable[list].every_match;
      Id id = Lookup(text, hash);
      if (id != kNone) {
        next_same_.emplace_back(last_same[id], entry);
        last_same[id] = entry;
        if (first_only && first_in[id] == kNone) first_in[id] = entry;
        continue;
      }
      id = static_cast<Id>(length_.size());
      length_.push_back(static_cast<std::uint32_t>(text.size()));
      first_entry_.push_back(entry);
      for (std::size_t n = 0; n < kListCount; ++n) {
        if (!kListTable[n].every_match) first_in_[n].push_back(kNone);
      }
      if (first_only) first_in[id] = entry;
      last_same.push_back(entry);
      std::size_t slot = HomeSlot(hash);
      while (slots_[slot] != 0) slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = (hash << 32) | (std::uint64_t{id} + 1);
      FilterAdd(filter_, filter_bits_, hash);
      if (text.size() >= kAnchor) FilterAdd(anchor_filter_, filter_bits_, head_hash);
    }
  }
  std::sort(next_same_.begin(), next_same_.end());
  lengths_ = length_;
  std::sort(lengths_.begin(), lengths_.end());
  lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());
  powers_.reserve(lengths_.size());
  for (std::uint32_t length : lengths_) powers_.push_back(PowerOfBase(length));
  first_long_ = static_cast<std::size_t>(std::lower_bound(lengths_.begin(), lengths_.end(), kAnchor) -
                                         lengths_.begin());
}

TextView TrustIndex::EntryText(std::uint32_t entry) const {
  const EntryRef at = RefOf(entry);
  return (*lists_[ListNo(at.list)])[at.index];
}

EntryRef TrustIndex::RefOf(std::uint32_t entry) const {
  std::size_t n = 0;
  while (entry >= start_[n + 1]) ++n;
  return {static_cast<ListKind>(n), entry - start_[n]};
}

std::size_t TrustIndex::HomeSlot(std::uint64_t hash) const {
  return Spread(hash) >> (64 - slot_bits_);
}

TrustIndex::Id TrustIndex::Lookup(TextView text, std::uint64_t hash) const {
  std::size_t slot = HomeSlot(hash);
  const std::uint64_t tag = hash << 32;
  for (;;) {
    const std::uint64_t held = slots_[slot];
    if (held == 0) return kNone;
    if ((held & 0xFFFFFFFF00000000ull) == tag) {
      const Id id = static_cast<Id>(held & 0xFFFFFFFFu) - 1;
      if (length_[id] == text.size() && SameUnits(EntryText(first_entry_[id]), text)) return id;
    }
    slot = (slot + 1) & (slots_.size() - 1);
  }
}

const std::vector<TrustIndex::Id>& TrustIndex::CollectInside(TextView text, const AddressShape* shape) const {
  Scratch& scratch = t_scratch;
  std::vector<Id>& ids = scratch.ids;
  const auto same_shape = [&] {
    if (shape == nullptr) return !scratch.shaped;
    return scratch.shaped && scratch.shape.scheme_separator == shape->scheme_separator &&
           scratch.shape.host_begin == shape->host_begin && scratch.shape.host_end == shape->host_end;
  };
  if (scratch.serial == serial_ && same_shape() && SameUnits(scratch.text, text)) return ids;
  scratch.serial = serial_;
  scratch.text.assign(text);
  scratch.shaped = shape != nullptr;
  if (shape != nullptr) scratch.shape = *shape;
  ids.clear();
  const std::size_t n = text.size();
  if (n == 0 || lengths_.empty()) return ids;
  std::vector<std::uint64_t>& prefix = scratch.prefix;
  prefix.resize(n + 1);
  prefix[0] = 0;
  for (std::size_t i = 0; i < n; ++i) prefix[i + 1] = Step(prefix[i], text[i]);
  // hash(text[i, i + length)) = prefix[i + length] - prefix[i] * base^length
  const auto window_hash = [&](std::size_t i, std::size_t length, std::uint64_t power) {
    const std::uint64_t hash = prefix[i + length] + kModulus - MulMod(prefix[i], power);
    return hash >= kModulus ? hash - kModulus : hash;
  };
  // The filters' words are asked for ahead, a batch of places or windows at a time, and read a batch later:
  // first the windows of short lengths and the anchor of every place, then the windows of long lengths where
  // an anchor passes; every window the filter passes is looked up in the table.
  struct Window {
    std::size_t at;      // where it begins
    std::size_t length;  // its index in lengths_
    std::uint64_t hash;
    FilterProbe probe;
  };
  constexpr std::size_t kBatch = 32;
  std::array<Window, kBatch> windows;
  std::size_t waiting = 0;
  const auto ask = [&] {
    for (const Window& window : std::span(windows.data(), waiting)) {
      if (!FilterHas(filter_, window.probe)) continue;
      const Id id = Lookup(text.substr(window.at, lengths_[window.length]), window.hash);
      if (id == kNone) continue;
      // The network rule: an anchored entry counts only at its place. Asked of the hits alone, which are few.
      if (shape != nullptr && !CountsAt(AnchorOf(EntryText(first_entry_[id])), window.at, *shape)) continue;
      ids.push_back(id);
    }
    waiting = 0;
  };
  const auto consider = [&](std::size_t i, std::size_t k) {
    if (waiting == kBatch) ask();
    const std::uint64_t hash = window_hash(i, lengths_[k], powers_[k]);
    windows[waiting] = {i, k, hash, ProbeOf(filter_bits_, Spread(hash))};
    Prefetch(filter_, windows[waiting++].probe);
  };
  // Short entries: every window of their lengths.
  for (std::size_t k = 0; k < first_long_ && lengths_[k] <= n; ++k) {
    for (std::size_t i = 0; i + lengths_[k] <= n; ++i) consider(i, k);
  }
  // Longer ones: only where the first kAnchor units of some entry stand.
  if (first_long_ < lengths_.size() && n >= kAnchor) {
    const std::uint64_t anchor_power = PowerOfBase(kAnchor);
    std::array<FilterProbe, kBatch> anchors;
    for (std::size_t begin = 0; begin + kAnchor <= n; begin += kBatch) {
      const std::size_t end = std::min(begin + kBatch, n - kAnchor + 1);
      for (std::size_t i = begin; i < end; ++i) {
        anchors[i - begin] = ProbeOf(filter_bits_, Spread(window_hash(i, kAnchor, anchor_power)));
        Prefetch(anchor_filter_, anchors[i - begin]);
      }
      for (std::size_t i = begin; i < end; ++i) {
        if (!FilterHas(anchor_filter_, anchors[i - begin])) continue;
        for (std::size_t k = first_long_; k < lengths_.size() && i + lengths_[k] <= n; ++k) consider(i, k);
      }
    }
  }
  ask();
  // An entry that occurs at several places counts once.
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::uint32_t TrustIndex::NextSame(std::uint32_t entry) const {
  const auto at = std::lower_bound(next_same_.begin(), next_same_.end(), std::pair{entry, std::uint32_t{0}});
  return at != next_same_.end() && at->first == entry ? at->second : kNone;
}

void TrustIndex::AppendIn(ListKind list, TextView address, const AddressShape* shape,
                          std::vector<EntryRef>& out) const {
  const std::vector<Id>& ids = CollectInside(address, shape);
  const std::size_t n = ListNo(list);
  if (!kListTable[n].every_match) {
    std::uint32_t first = kNone;
    for (Id id : ids) first = std::min(first, first_in_[n][id]);
    if (first != kNone) out.push_back({list, first - start_[n]});
    return;
  }
  const std::size_t begin = out.size();
  for (Id id : ids) {
    for (std::uint32_t entry = first_entry_[id]; entry < start_[n + 1]; entry = NextSame(entry)) {
      if (entry >= start_[n]) out.push_back({list, entry - start_[n]});
    }
  }
  std::sort(out.begin() + static_cast<std::ptrdiff_t>(begin), out.end(),
            [](const EntryRef& a, const EntryRef& b) { return a.index < b.index; });
}

TrustIndex::Relations TrustIndex::RelationsOf(TextView text,
                                              const std::function<bool(EntryRef)>& inside_allowed) const {
  Relations relations;
  const std::vector<Id>& ids = CollectInside(text);
  std::uint32_t equal = kNone;
  std::uint32_t inside = kNone;
  for (Id id : ids) {
    const std::uint32_t first = first_entry_[id];
    // The one window as long as the text is the text itself.
    if (length_[id] == text.size()) {
      equal = std::min(equal, first);
    } else if (first < inside && (!inside_allowed || inside_allowed(RefOf(first)))) {
      inside = first;
    }
  }
  relations.has_equal = equal != kNone;
  if (relations.has_equal) relations.equal = RefOf(equal);
  relations.has_inside = inside != kNone;
  if (relations.has_inside) relations.inside = RefOf(inside);
  return relations;
}

}  // namespace vw
