// The numbers the settings dialog reads from its text boxes.
#pragma once

#include <QString>

#include <optional>

namespace kestrova::setup {

// A decimal number with blanks around it, an optional sign and an optional fraction, rounded
// half away from zero: " 12 " → 12, "10.5" → 11, "-5" → -5. Empty for anything else ("",
// "abc", "12abc", "1e3") and for values beyond ±2^31.
[[nodiscard]] std::optional<long long> readWholeNumber(const QString& text);

// readWholeNumber within the 16-bit range −32768..32767; empty outside it.
[[nodiscard]] std::optional<int> readInt16(const QString& text);

// readWholeNumber within the 32-bit signed range; empty outside it.
[[nodiscard]] std::optional<int> readInt32(const QString& text);

// True when text is not empty, reads as a 16-bit integer and lo <= value <= hi; false for
// every other text. Never fails otherwise.
[[nodiscard]] bool NumRangeCheck(const QString& text, int lo, int hi);

// The text with blanks (space, tab, the full-width space) taken off both ends.
[[nodiscard]] QString trimBlanks(const QString& text);

} // namespace kestrova::setup
