// MainWindow, its controls, and the rest of start-up that runs once they exist.
#pragma once

#include <cstdint>

#include "common/text.h"

namespace vw {

inline constexpr char16_t kMainWindowTitle[] = u"Veraway EDIT Approved Links Files";
// The link field's text once start-up is done: a web search engine's home page.
inline constexpr char16_t kDefaultAddress[] = u"https://duckduckgo.com/";

// Creates MainWindow and every control, storing their identifiers; nothing else.
void BuildMainWindow(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height);

// Builds the window (client area width x height, outer corner at left, top) and its controls, runs the
// password prompt, posts CloseWindowEvent after a quit word, loads both lists and sets the default address.
std::int64_t OpenMainWindow(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height);

}  // namespace vw
