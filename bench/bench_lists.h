// The random list entries the companion's benchmarks share, so their figures stand on the same lists.
#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace vw::bench {

inline std::string Letters(std::mt19937& random, int min, int max) {
  std::string text(static_cast<std::size_t>(min + static_cast<int>(random() % (max - min + 1))), 'a');
  for (char& c : text) c = static_cast<char>('a' + random() % 26);
  return text;
}

// A host-like entry of about 30 bytes: "qwertyuiop.asdfghj.org/zxc".
inline std::string Entry(std::mt19937& random) {
  static const char* const kTlds[] = {"com", "org", "net", "de"};
  std::string entry = Letters(random, 9, 15) + "." + Letters(random, 7, 13) + "." + kTlds[random() % 4];
  if (random() % 2 == 0) entry += "/" + Letters(random, 2, 6);
  return entry;
}

}  // namespace vw::bench
