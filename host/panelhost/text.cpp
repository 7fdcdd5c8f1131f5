#include "text.h"

#include <cwchar>

namespace panelhost {

std::u32string DecodeUtf8(const std::string &text) {
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80         ? 1
                     : (lead >> 5) == 6  ? 2
                     : (lead >> 4) == 14 ? 3
                     : (lead >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + static_cast<size_t>(length) > text.size()) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        char32_t c = length == 1   ? lead
                     : length == 2 ? (lead & 0x1F)
                     : length == 3 ? (lead & 0x0F)
                                   : (lead & 0x07);
        bool valid = true;
        for (int k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static const char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!valid || c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += c;
        i += static_cast<size_t>(length);
    }
    return out;
}

std::string EncodeUtf8(const std::u32string &text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int CharWidth(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
    if (c < 0x300) return 1;
    // wcwidth knows the tables of the locale; without a UTF-8 locale it answers -1 for
    // everything past ASCII, and such a character still takes one column.
    int width = wcwidth(static_cast<wchar_t>(c));
    return width < 0 ? 1 : width;
}

int TextWidth(const std::u32string &text) {
    int width = 0;
    for (char32_t c : text) width += CharWidth(c);
    return width;
}

int TextWidth(const std::string &utf8) {
    return TextWidth(DecodeUtf8(utf8));
}

std::u32string CutText(const std::u32string &text, int width) {
    std::u32string out;
    int used = 0;
    for (char32_t c : text) {
        int w = CharWidth(c);
        if (used + w > width) break;
        out += c;
        used += w;
    }
    return out;
}

std::u32string FitText(const std::u32string &text, int width, bool alignRight, bool keepTail,
                       char32_t marker) {
    if (width <= 0) return std::u32string();
    std::u32string out;
    int used = TextWidth(text);
    if (used <= width) {
        out = text;
    } else if (!keepTail) {
        out = CutText(text, marker ? width - 1 : width);
        used = TextWidth(out);
        if (marker) {
            out += marker;
            ++used;
        }
    } else {
        // The tail that fits, taken from the right.
        int room = marker ? width - 1 : width;
        size_t start = text.size();
        int taken = 0;
        while (start > 0 && taken + CharWidth(text[start - 1]) <= room)
            taken += CharWidth(text[--start]);
        out = text.substr(start);
        if (marker) out.insert(out.begin(), marker);
        used = TextWidth(out);
    }
    used = TextWidth(out);
    if (used < width) {
        std::u32string pad(static_cast<size_t>(width - used), U' ');
        out = alignRight ? pad + out : out + pad;
    }
    return out;
}

std::u32string FitText(const std::string &utf8, int width, bool alignRight, bool keepTail,
                       char32_t marker) {
    return FitText(DecodeUtf8(utf8), width, alignRight, keepTail, marker);
}

std::u32string CenterText(const std::u32string &text, int width) {
    std::u32string cut = CutText(text, width);
    int left = (width - TextWidth(cut)) / 2;
    std::u32string out(static_cast<size_t>(left), U' ');
    out += cut;
    out.append(static_cast<size_t>(width - left - TextWidth(cut)), U' ');
    return out;
}

std::u32string Blanked(const std::u32string &text) {
    std::u32string out(1, U' ');
    out += text;
    out += U' ';
    return out;
}

std::vector<std::u32string> WrapText(const std::u32string &text, int width) {
    std::vector<std::u32string> lines;
    if (width <= 0) return lines;
    std::u32string line;
    size_t i = 0;
    while (i < text.size()) {
        // The next word and the blanks before it.
        size_t blanksEnd = i;
        while (blanksEnd < text.size() && text[blanksEnd] == U' ') ++blanksEnd;
        size_t wordEnd = blanksEnd;
        while (wordEnd < text.size() && text[wordEnd] != U' ') ++wordEnd;
        std::u32string blanks = text.substr(i, blanksEnd - i);
        std::u32string word = text.substr(blanksEnd, wordEnd - blanksEnd);
        i = wordEnd;
        if (TextWidth(line) + TextWidth(blanks) + TextWidth(word) <= width) {
            line += blanks + word;
            continue;
        }
        if (!line.empty()) lines.push_back(line);
        line.clear();
        // A word wider than the line goes in pieces.
        while (TextWidth(word) > width) {
            std::u32string piece = CutText(word, width);
            if (piece.empty()) piece = word.substr(0, 1);
            lines.push_back(piece);
            word.erase(0, piece.size());
        }
        line = word;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

std::u32string StripHotKeyMark(const std::u32string &label, int *hotKeyIndex, char32_t *hotKey) {
    std::u32string out;
    int index = -1;
    char32_t key = 0;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == U'&' && i + 1 < label.size()) {
            if (label[i + 1] == U'&') {
                out += U'&';
                ++i;
                continue;
            }
            if (index < 0) {
                index = static_cast<int>(out.size());
                key = label[i + 1];
            }
            continue;
        }
        out += label[i];
    }
    if (hotKeyIndex) *hotKeyIndex = index;
    if (hotKey) *hotKey = key;
    return out;
}

char32_t FoldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32; // А-Я
    if (c >= 0x400 && c <= 0x40F) return c + 80; // Ѐ-Џ, Ё
    return c;
}

} // namespace panelhost
