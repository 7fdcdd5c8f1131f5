// The stand-in host's language file reader (ParseLanguageFile) on arbitrary file bytes.
//
// Checked against a reading of the file format written here: after blank and "//" lines, the
// first line is ".Language=<name>,<description>" with a name; every later line that starts with a
// double quote is one message: the quote, the text, the last double quote, blanks; any other line
// is passed over, as the real host reads its files. Then:
// - the file is accepted exactly when the header is there and every message line has that form;
//   a refusal names the file and a line within it, and a file is never taken in part ("fixed");
// - the messages are the texts between the quotes, in order, each with its line number, with
//   \\ \" \n \r \b \t and a doubled "" read as one character; ASCII texts come so, others
//   converted from the language's code page to UTF-8 with one character per byte;
// - the header-only reading agrees on the name and the header line;
// - one more message line adds exactly that message, one more line of another form changes
//   nothing.
#include "fuzz_support.h"

#include "core/language_file.h"

#include <string>
#include <vector>

namespace {

const std::string Path = "Z:\\plugins\\bsopanel\\fuzz_eng.lng";

bool IsBlankLine(const std::string &line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

bool IsCommentLine(const std::string &line) {
    size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line.compare(first, 2, "//") == 0;
}

struct Reading {
    bool ok = false;
    std::string name;
    int headerLine = 0;
    std::vector<std::string> messages; // as in the file, not converted
    std::vector<int> lines;
};

// The escapes the host reads between the quotes; any other backslash is itself.
std::string Decoded(const std::string &quoted) {
    std::string text;
    for (size_t i = 0; i < quoted.size(); ++i) {
        char next = i + 1 < quoted.size() ? quoted[i + 1] : '\0';
        if (quoted[i] == '"' && next == '"') {
            text += '"';
            ++i;
            continue;
        }
        if (quoted[i] == '\\') {
            const std::string escapes = "\\\"nrbt", meanings = "\\\"\n\r\b\t";
            size_t at = next ? escapes.find(next) : std::string::npos;
            if (at != std::string::npos) {
                text += meanings[at];
                ++i;
                continue;
            }
        }
        text += quoted[i];
    }
    return text;
}

Reading Read(const std::string &bytes) {
    Reading reading;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return reading;
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (IsBlankLine(line) || IsCommentLine(line)) continue;
        int number = static_cast<int>(i) + 1;
        if (reading.headerLine == 0) {
            const std::string prefix = ".Language=";
            if (line.compare(0, prefix.size(), prefix) != 0) return reading;
            size_t comma = line.find(',', prefix.size());
            if (comma == std::string::npos || comma == prefix.size()) return reading;
            reading.name = line.substr(prefix.size(), comma - prefix.size());
            reading.headerLine = number;
            continue;
        }
        if (line[0] != '"') continue;
        size_t close = line.find_last_not_of(" \t");
        if (close == 0 || line[close] != '"') return reading;
        reading.messages.push_back(Decoded(line.substr(1, close - 1)));
        reading.lines.push_back(number);
    }
    reading.ok = reading.headerLine != 0;
    return reading;
}

bool IsAscii(const std::string &text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// Characters of a UTF-8 text, or -1 when it is not UTF-8.
long Utf8Characters(const std::string &text) {
    long count = 0;
    for (size_t i = 0; i < text.size(); ++count) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > text.size()) return -1;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return -1;
        i += length;
    }
    return count;
}

// Refused, with "<path>:<line>: " in front of the reason, the line within the file.
void CheckRefusal(const std::string &bytes, const std::string &error, const std::string &note) {
    FUZZ_CHECK(error.compare(0, Path.size() + 1, Path + ":") == 0,
               note + ": error " + Printable(error));
    size_t colon = error.find(':', Path.size() + 1);
    FUZZ_CHECK(colon != std::string::npos && colon > Path.size() + 1,
               note + ": no line in " + Printable(error));
    int line = std::stoi(error.substr(Path.size() + 1, colon - Path.size() - 1));
    int lines = 1;
    for (char c : bytes) lines += c == '\n';
    FUZZ_CHECK(line >= 1 && line <= lines,
               note + ": line " + std::to_string(line) + " of " + std::to_string(lines));
}

void CheckFile(const std::string &bytes, bool mutate) {
    const std::string note = "file \"" + Printable(bytes) + "\"";
    standin::ParsedLanguageFile file;
    std::string error;
    bool ok = standin::ParseLanguageFile(Path, bytes, false, file, error);
    Reading expected = Read(bytes);
    FUZZ_CHECK(ok == expected.ok, note + (ok ? ": accepted" : ": refused: " + Printable(error)));
    if (!ok) {
        CheckRefusal(bytes, error, note);
        return;
    }
    FUZZ_CHECK(file.path == Path && file.name == expected.name &&
                   file.headerLine == expected.headerLine,
               note + ": header " + Printable(file.name));
    FUZZ_CHECK(file.messages.size() == expected.messages.size() && file.lines == expected.lines,
               note + ": " + std::to_string(file.messages.size()) + " messages");
    for (size_t i = 0; i < file.messages.size(); ++i) {
        const std::string &raw = expected.messages[i];
        const std::string &got = file.messages[i];
        std::string which = note + ": message " + std::to_string(i) + " \"" + Printable(got) + "\"";
        if (IsAscii(raw)) {
            FUZZ_CHECK(got == raw, which);
        } else {
            FUZZ_CHECK(Utf8Characters(got) == static_cast<long>(raw.size()),
                       which + " from " + Printable(raw));
        }
    }

    standin::ParsedLanguageFile header;
    FUZZ_CHECK(standin::ParseLanguageFile(Path, bytes, true, header, error),
               note + ": header only");
    FUZZ_CHECK(header.name == file.name && header.headerLine == file.headerLine,
               note + ": header only differs");

    if (!mutate) return;
    std::string ended = bytes;
    // A last line without its LF gets one; a CR already there becomes the CR of a CR LF.
    if (!ended.empty() && ended.back() != '\n') ended += ended.back() == '\r' ? "\n" : "\r\n";
    int nextLine = 1;
    for (char c : ended) nextLine += c == '\n';
    standin::ParsedLanguageFile longer;
    FUZZ_CHECK(standin::ParseLanguageFile(Path, ended + "\"added\"\r\n", false, longer, error) &&
                   longer.messages.size() == file.messages.size() + 1 &&
                   longer.messages.back() == "added" && longer.lines.back() == nextLine,
               note + ": one more message");
    FUZZ_CHECK(standin::ParseLanguageFile(Path, ended + "added\r\n", false, longer, error) &&
                   longer.messages == file.messages,
               note + ": an unquoted line taken: " + Printable(error));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size);
    CheckFile(bytes, true);
    return 0;
}
