// The process-wide translation: the active table (a sorted copy of one language's lines,
// "original=translation"), the reverting flag used while it is being removed, and the
// lookup every user-visible text goes through. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lang {

// The active language's text for ASource, or ASource itself. Case-sensitive; an original
// that contains "=" is never translated. While the reverting flag is set, translations map
// back to their originals.
std::string TranslateText(std::string_view ASource);

// Removes the current table (scenes return to their originals), then makes a sorted copy of
// ALines the active table and tells every live scene to re-apply its texts.
void ActivateTranslationTable(const std::vector<std::string>& ALines);
// Scenes return to their originals; afterwards no table is active.
void RemoveTranslationTable();
bool HasActiveTranslationTable();
bool TranslationReverting();

} // namespace lang
