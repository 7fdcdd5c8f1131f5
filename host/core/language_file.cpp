#include "language_file.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#ifndef _WIN32
#include <iconv.h>
#endif

namespace standin {

bool SameTextIgnoringCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool ReadWholeFile(const std::string &path, std::string &bytes, std::string &error) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = path + ": cannot open (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    bytes.clear();
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            error = path + ": cannot read (error " + std::to_string(GetLastError()) + ")";
            CloseHandle(file);
            return false;
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return true;
}

static bool IsBlank(const std::string &line) {
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

static bool IsComment(const std::string &line) {
    size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line.compare(first, 2, "//") == 0;
}

// The text between the quotes as the host reads it: \\ \" \n \r \b \t and a doubled ""
// stand for one character; any other backslash is itself.
std::string DecodeLanguageText(const std::string &quoted) {
    std::string text;
    for (size_t i = 0; i < quoted.size(); ++i) {
        char c = quoted[i];
        if (c == '"' && i + 1 < quoted.size() && quoted[i + 1] == '"') {
            text += '"';
            ++i;
        } else if (c == '\\' && i + 1 < quoted.size()) {
            const char *escapes = "\\\"nrbt", *meanings = "\\\"\n\r\b\t";
            const char *found = quoted[i + 1] ? std::strchr(escapes, quoted[i + 1]) : nullptr;
            if (found) {
                text += meanings[found - escapes];
                ++i;
            } else {
                text += c;
            }
        } else {
            text += c;
        }
    }
    return text;
}

bool ParseLanguageFile(const std::string &path, const std::string &bytes, bool headerOnly,
                       ParsedLanguageFile &file, std::string &error) {
    file = ParsedLanguageFile();
    file.path = path;
    auto fail = [&](int line, const std::string &what) {
        error = path + ":" + std::to_string(line) + ": " + what;
        return false;
    };
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return fail(1, "starts with a UTF-8 byte order mark; language files are in the OEM "
                       "code page of their language");
    int codePage = 437;
    size_t start = 0;
    int number = 0;
    bool haveHeader = false;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (IsBlank(line) || IsComment(line)) continue;
        if (!haveHeader) {
            const std::string prefix = ".Language=";
            size_t comma = line.find(',');
            if (line.compare(0, prefix.size(), prefix) != 0 || comma == std::string::npos ||
                comma == prefix.size())
                return fail(number, "expected the header .Language=<name>,<description>, found \"" +
                                        line + "\"");
            file.name = line.substr(prefix.size(), comma - prefix.size());
            file.headerLine = number;
            haveHeader = true;
            codePage = LanguageCodePage(file.name);
            if (headerOnly) return true;
            continue;
        }
        // As the real host reads it: a line that does not start with a quote is no message.
        if (line[0] != '"') continue;
        size_t first = 0;
        size_t last = line.rfind('"');
        if (last == first) return fail(number, "the message has no closing double quote");
        if (line.find_first_not_of(" \t", last + 1) != std::string::npos)
            return fail(number, "text after the closing double quote");
        file.messages.push_back(ConvertFromCodePage(
            DecodeLanguageText(line.substr(first + 1, last - first - 1)), codePage));
        file.lines.push_back(number);
    }
    file.lineCount = number;
    if (!haveHeader)
        return fail(number == 0 ? 1 : number, "no .Language=<name>,<description> header");
    return true;
}

int LanguageCodePage(const std::string &language) {
    return SameTextIgnoringCase(language, "Russian") ? 866 : 437;
}

std::string ConvertFromCodePage(const std::string &text, int codePage) {
#ifdef _WIN32
    (void)codePage;
    return text;
#else
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return text;
    std::string from = "CP" + std::to_string(codePage);
    iconv_t converter = iconv_open("UTF-8", from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return text;
    std::string input = text;
    std::string output(input.size() * 4 + 4, '\0');
    char *in = &input[0];
    size_t inLeft = input.size();
    char *out = &output[0];
    size_t outLeft = output.size();
    size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (done == static_cast<size_t>(-1)) return text;
    output.resize(output.size() - outLeft);
    return output;
#endif
}

std::vector<std::string> FindLanguageFiles(const std::string &directory) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    std::string prefix = directory;
    if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
    HANDLE search = FindFirstFileA((prefix + "*.lng").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        std::string name = data.cFileName;
        // A pattern search may also give names whose short form matches: keep real ".lng".
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name.size() > 4 &&
            SameTextIgnoringCase(name.substr(name.size() - 4), ".lng"))
            found.push_back(prefix + name);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace standin
