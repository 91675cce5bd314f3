// Moving the two lists between their files, the editors and the in-memory lists.
#pragma once

#include "files/file_names.h"

namespace vw {

// Slots of the list file layer: loading reads through 0, saving writes through 1.
inline constexpr int kLoadSlot = 0;
inline constexpr int kSaveSlot = 1;

// Back the file up (first load of the run only), then append every line to the editor and to the list.
void LoadSafeSites();
void LoadSafeLinks();
// Write the editor's lines into the file, then copy the written file over its backup. The links save ends
// with the one confirmation of the whole save.
void SaveSafeSites();
void SaveSafeLinks();

}  // namespace vw
