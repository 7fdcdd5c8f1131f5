#include "help_file.h"
#include "text.h"

#include <cctype>

namespace panelhost {

namespace {

struct StyledChar {
    char32_t c;
    HelpSpan::Kind kind;
    int link;
};

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::u32string TrimRight(std::u32string text) {
    while (!text.empty() && (text.back() == U' ' || text.back() == U'\t' || text.back() == U'\r'))
        text.pop_back();
    return text;
}

// The characters of a marked-up text with their styles; link targets are appended to targets.
std::vector<StyledChar> Style(const std::u32string &text, std::vector<std::string> &targets) {
    std::vector<StyledChar> out;
    bool highlight = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == U'#') {
            if (i + 1 < text.size() && text[i + 1] == U'#') {
                out.push_back({U'#', highlight ? HelpSpan::Highlight : HelpSpan::Plain, -1});
                ++i;
            } else {
                highlight = !highlight;
            }
            continue;
        }
        if (c == U'~') {
            if (i + 1 < text.size() && text[i + 1] == U'~') {
                out.push_back({U'~', highlight ? HelpSpan::Highlight : HelpSpan::Plain, -1});
                ++i;
                continue;
            }
            // ~text~@Topic@
            size_t close = text.find(U'~', i + 1);
            if (close != std::u32string::npos && close + 1 < text.size() &&
                text[close + 1] == U'@') {
                size_t end = text.find(U'@', close + 2);
                if (end != std::u32string::npos) {
                    int link = static_cast<int>(targets.size());
                    targets.push_back(EncodeUtf8(text.substr(close + 2, end - close - 2)));
                    for (size_t k = i + 1; k < close; ++k)
                        out.push_back({text[k], HelpSpan::Link, link});
                    i = end;
                    continue;
                }
            }
        }
        out.push_back({c, highlight ? HelpSpan::Highlight : HelpSpan::Plain, -1});
    }
    return out;
}

int Width(const std::vector<StyledChar> &chars) {
    int width = 0;
    for (const StyledChar &c : chars) width += CharWidth(c.c);
    return width;
}

HelpLine ToLine(const std::vector<StyledChar> &chars, const std::vector<std::string> &targets) {
    HelpLine line;
    for (const StyledChar &c : chars) {
        if (line.spans.empty() || line.spans.back().kind != c.kind ||
            line.spans.back().link != c.link) {
            HelpSpan span;
            span.kind = c.kind;
            span.link = c.link;
            if (c.link >= 0) span.target = targets[static_cast<size_t>(c.link)];
            line.spans.push_back(span);
        }
        line.spans.back().text += c.c;
    }
    return line;
}

} // namespace

bool HelpFile::Parse(const std::string &utf8, std::string &error) {
    topics_.clear();
    language_.clear();
    contents_.clear();
    std::u32string text = DecodeUtf8(utf8);
    size_t start = 0;
    HelpTopic *topic = nullptr;
    bool expectTitle = false;
    while (start <= text.size()) {
        size_t end = text.find(U'\n', start);
        if (end == std::u32string::npos) end = text.size();
        std::u32string line = TrimRight(text.substr(start, end - start));
        start = end + 1;
        if (line.compare(0, 10, U".Language=") == 0) {
            std::string value = EncodeUtf8(line.substr(10));
            language_ = value.substr(0, value.find(','));
            continue;
        }
        if (line.compare(0, 16, U".PluginContents=") == 0) {
            contents_ = line.substr(16);
            continue;
        }
        if (!line.empty() && line[0] == U'@' && (line.size() < 2 || line[1] != U'@')) {
            HelpTopic fresh;
            fresh.name = EncodeUtf8(line.substr(1));
            topics_.push_back(fresh);
            topic = &topics_.back();
            expectTitle = true;
            continue;
        }
        if (!topic) continue; // header lines before the first topic
        if (expectTitle && !line.empty() && line[0] == U'$') {
            size_t first = line.find_first_not_of(U" \t", 1);
            topic->title = PlainHelpText(first == std::u32string::npos ? U"" : line.substr(first));
            expectTitle = false;
            continue;
        }
        expectTitle = false;
        topic->lines.push_back(line);
        if (end == text.size()) break;
    }
    // Trailing blank lines of each topic are of no use.
    for (HelpTopic &each : topics_)
        while (!each.lines.empty() && each.lines.back().empty()) each.lines.pop_back();
    if (topics_.empty()) {
        error = "the help file holds no topic (no line starting with @)";
        return false;
    }
    return true;
}

const HelpTopic *HelpFile::Find(const std::string &name) const {
    for (const HelpTopic &topic : topics_)
        if (Lower(topic.name) == Lower(name)) return &topic;
    return nullptr;
}

std::u32string PlainHelpText(const std::u32string &marked) {
    std::vector<std::string> targets;
    std::u32string out;
    for (const StyledChar &c : Style(marked, targets)) out += c.c;
    return out;
}

std::vector<HelpLine> LayOutTopic(const HelpTopic &topic, int width) {
    std::vector<HelpLine> lines;
    if (width < 1) width = 1;
    // Paragraphs: a line starting with a blank starts one; an empty line stands alone.
    std::vector<std::u32string> paragraphs;
    bool open = false;
    for (const std::u32string &line : topic.lines) {
        if (line.empty()) {
            paragraphs.push_back(U"");
            open = false;
        } else if (line[0] == U' ' || !open) {
            paragraphs.push_back(line);
            open = true;
        } else {
            paragraphs.back() += U' ';
            paragraphs.back() += line;
        }
    }
    std::vector<std::string> targets;
    for (const std::u32string &paragraph : paragraphs) {
        std::vector<StyledChar> chars = Style(paragraph, targets);
        if (chars.empty()) {
            lines.push_back(HelpLine());
            continue;
        }
        size_t indent = 0;
        while (indent < chars.size() && chars[indent].c == U' ') ++indent;
        // Continuation lines keep a list item's indent, so its text stays in its column.
        size_t hanging = indent > 1 ? indent : 1;
        std::vector<StyledChar> current(chars.begin(), chars.begin() + static_cast<long>(indent));
        size_t i = indent;
        bool lineHasWord = false;
        while (i < chars.size()) {
            size_t blanksEnd = i;
            while (blanksEnd < chars.size() && chars[blanksEnd].c == U' ') ++blanksEnd;
            size_t wordEnd = blanksEnd;
            while (wordEnd < chars.size() && chars[wordEnd].c != U' ') ++wordEnd;
            std::vector<StyledChar> blanks(chars.begin() + static_cast<long>(i),
                                           chars.begin() + static_cast<long>(blanksEnd));
            std::vector<StyledChar> word(chars.begin() + static_cast<long>(blanksEnd),
                                         chars.begin() + static_cast<long>(wordEnd));
            i = wordEnd;
            if (word.empty()) break;
            if (!lineHasWord || Width(current) + Width(blanks) + Width(word) <= width) {
                if (lineHasWord) current.insert(current.end(), blanks.begin(), blanks.end());
                if (!lineHasWord && Width(current) + Width(word) > width && Width(current) > 0 &&
                    static_cast<int>(hanging) < width) {
                    // An indent that leaves no room: the word goes on the hanging indent.
                    current.assign(hanging, StyledChar{U' ', HelpSpan::Plain, -1});
                }
                current.insert(current.end(), word.begin(), word.end());
                lineHasWord = true;
            } else {
                lines.push_back(ToLine(current, targets));
                current.assign(hanging < static_cast<size_t>(width) ? hanging : 0,
                               StyledChar{U' ', HelpSpan::Plain, -1});
                current.insert(current.end(), word.begin(), word.end());
            }
            // A word wider than the window is cut into pieces.
            while (Width(current) > width) {
                std::vector<StyledChar> piece;
                int used = 0;
                size_t k = 0;
                while (k < current.size() && used + CharWidth(current[k].c) <= width)
                    used += CharWidth(current[k++].c);
                if (k == 0) k = 1;
                piece.assign(current.begin(), current.begin() + static_cast<long>(k));
                lines.push_back(ToLine(piece, targets));
                current.erase(current.begin(), current.begin() + static_cast<long>(k));
            }
        }
        lines.push_back(ToLine(current, targets));
    }
    return lines;
}

} // namespace panelhost
