#include "rules/host_names.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/text.h"

namespace vw {
namespace {

// The bootstring parameters of punycode.
constexpr std::uint32_t kPunycodeBase = 36;
constexpr std::uint32_t kTMin = 1;
constexpr std::uint32_t kTMax = 26;
constexpr std::uint32_t kSkew = 38;
constexpr std::uint32_t kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr std::uint32_t kInitialN = 128;

std::uint32_t Adapt(std::uint32_t delta, std::uint32_t points, bool first) {
  delta = first ? delta / kDamp : delta / 2;
  delta += delta / points;
  std::uint32_t k = 0;
  while (delta > ((kPunycodeBase - kTMin) * kTMax) / 2) {
    delta /= kPunycodeBase - kTMin;
    k += kPunycodeBase;
  }
  return k + (kPunycodeBase - kTMin + 1) * delta / (delta + kSkew);
}

char Digit(std::uint32_t d) {
  return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26));
}

// The code points of UTF-16 text (a lone surrogate stays as it is).
std::u32string CodePoints(TextView text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out.push_back(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Flags of a name in the list.
constexpr std::uint8_t kRule = 1;       // "name"
constexpr std::uint8_t kWildcard = 2;   // "*.name": every name one label below is a suffix, and so is name
constexpr std::uint8_t kException = 4;  // "!name": not a suffix, although a wildcard covers it

// The public suffix list's matching, over its rules in a hash table: a name is looked up whole, then its
// parent for a wildcard rule. This is what the Windows build uses; the test holds it to libpsl's answers.
class ListNames final : public HostNames {
 public:
  explicit ListNames(std::string_view dat) {
    std::size_t pos = 0;
    std::string ascii;
    while (pos < dat.size()) {
      std::size_t end = dat.find('\n', pos);
      if (end == std::string_view::npos) end = dat.size();
      std::string_view line = dat.substr(pos, end - pos);
      pos = end + 1;
      // A rule is the first word of a line; "//" starts a comment line.
      const std::size_t word_end = line.find_first_of(" \t\r");
      line = line.substr(0, word_end);
      if (line.empty() || line.starts_with("//")) continue;
      std::uint8_t flag = kRule;
      if (line.starts_with("*.")) {
        flag = kWildcard;
        line.remove_prefix(2);
      } else if (line.starts_with("!")) {
        flag = kException;
        line.remove_prefix(1);
      }
      if (!HostToAscii(line, ascii)) continue;
      rules_[ascii] |= flag;
    }
  }

  bool IsPublicSuffix(std::string_view host) const override { return IsSuffix(host, false); }

  std::string_view RegistrableDomain(std::string_view host) const override {
    // From the left, so that a rule below a name that is no rule ("a.b.name" and "name" without "b.name")
    // is met first.
    std::string_view registrable;
    while (!IsSuffix(host, true)) {
      const std::size_t dot = host.find('.');
      if (dot == std::string_view::npos) break;
      registrable = host;
      host.remove_prefix(dot + 1);
    }
    return registrable;
  }

 private:
  std::uint8_t FlagsOf(std::string_view name) const {
    const auto found = rules_.find(name);
    return found == rules_.end() ? 0 : found->second;
  }

  // `implicit`: a single label is a suffix whether the list names it or not.
  bool IsSuffix(std::string_view host, bool implicit) const {
    if (host.empty()) return false;
    const std::size_t dot = host.find('.');
    if (implicit && dot == std::string_view::npos) return true;
    const std::uint8_t flags = FlagsOf(host);
    if ((flags & kException) != 0) return false;
    if (flags != 0) return true;
    return dot != std::string_view::npos && (FlagsOf(host.substr(dot + 1)) & kWildcard) != 0;
  }

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::unordered_map<std::string, std::uint8_t, Hash, std::equal_to<>> rules_;
};

}  // namespace

bool Punycode(std::u32string_view label, std::string& out) {
  out.clear();
  for (char32_t c : label) {
    if (c < 0x80) out.push_back(static_cast<char>(c));
  }
  const std::size_t basic = out.size();
  if (basic > 0) out.push_back('-');
  std::uint32_t n = kInitialN;
  std::uint32_t delta = 0;
  std::uint32_t bias = kInitialBias;
  constexpr std::uint32_t kMax = 0xFFFFFFFFu;
  for (std::size_t handled = basic; handled < label.size();) {
    std::uint32_t m = kMax;
    for (char32_t c : label) {
      if (c >= n && c < m) m = c;
    }
    const auto h = static_cast<std::uint32_t>(handled);
    if (m - n > (kMax - delta) / (h + 1)) return false;
    delta += (m - n) * (h + 1);
    n = m;
    for (char32_t c : label) {
      if (c < n && ++delta == 0) return false;
      if (c != n) continue;
      std::uint32_t q = delta;
      for (std::uint32_t k = kPunycodeBase;; k += kPunycodeBase) {
        const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
        if (q < t) break;
        out.push_back(Digit(t + (q - t) % (kPunycodeBase - t)));
        q = (q - t) / (kPunycodeBase - t);
      }
      out.push_back(Digit(q));
      bias = Adapt(delta, static_cast<std::uint32_t>(handled + 1), handled == basic);
      delta = 0;
      ++handled;
    }
    ++delta;
    ++n;
  }
  return true;
}

bool HostToAscii(std::string_view host, std::string& ascii) {
  ascii.clear();
  if (std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    ascii.assign(host);
    return true;
  }
  const std::u32string points = CodePoints(Utf8ToText(host));
  std::size_t start = 0;
  std::string code;
  for (;;) {
    std::size_t end = points.find(U'.', start);
    if (end == std::u32string::npos) end = points.size();
    const std::u32string_view label(points.data() + start, end - start);
    if (std::any_of(label.begin(), label.end(), [](char32_t c) { return c >= 0x80; })) {
      if (!Punycode(label, code)) return false;
      ascii += "xn--";
      ascii += code;
    } else {
      for (char32_t c : label) ascii.push_back(static_cast<char>(c));
    }
    if (end == points.size()) return true;
    ascii.push_back('.');
    start = end + 1;
  }
}

std::unique_ptr<HostNames> ListHostNames(std::string_view dat) {
  return std::make_unique<ListNames>(dat);
}

}  // namespace vw
