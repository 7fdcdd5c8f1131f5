// Text on a character grid: UTF-8 decoding, display widths, fitting a text into a number of
// columns, word wrapping. Every text the host hands to the front end is UTF-8; bytes that are not
// become U+FFFD, so a stray byte of a file name never breaks the screen.
#ifndef BSOPANEL_PANELHOST_TEXT_H
#define BSOPANEL_PANELHOST_TEXT_H

#include <string>
#include <vector>

namespace panelhost {

std::u32string DecodeUtf8(const std::string &text);
std::string EncodeUtf8(const std::u32string &text);

// Columns a character takes: 0 for combining marks and controls, 2 for wide (CJK) characters,
// else 1.
int CharWidth(char32_t c);
int TextWidth(const std::u32string &text);
int TextWidth(const std::string &utf8);

// Exactly `width` columns: cut at the right (or, with keepTail, at the left) and padded with
// blanks on the right (or on the left with alignRight). `marker`, when given, replaces the last
// (first with keepTail) column of a text that was cut.
std::u32string FitText(const std::u32string &text, int width, bool alignRight = false,
                       bool keepTail = false, char32_t marker = 0);
std::u32string FitText(const std::string &utf8, int width, bool alignRight = false,
                       bool keepTail = false, char32_t marker = 0);
// At most `width` columns of the text, from the left, not padded.
std::u32string CutText(const std::u32string &text, int width);
// The text centred in `width` columns.
std::u32string CenterText(const std::u32string &text, int width);

// The text with a blank on either side, as titles sit in a frame.
std::u32string Blanked(const std::u32string &text);

// Word wrap to lines of at most `width` columns; a word longer than a line is cut. Runs of
// blanks inside a line are kept; blanks at a break are dropped.
std::vector<std::u32string> WrapText(const std::u32string &text, int width);

// A label's text without its hot-key mark and the hot-key character ('&' marks it; "&&" is a
// plain '&'). hotKeyIndex is the index of that character in the returned text, -1 for none.
std::u32string StripHotKeyMark(const std::u32string &label, int *hotKeyIndex = nullptr,
                               char32_t *hotKey = nullptr);

char32_t FoldCase(char32_t c); // lower case for ASCII, Latin-1 and Cyrillic letters

} // namespace panelhost

#endif
