// A plugin's language files: ".Language=<name>,<description>", then one text in double quotes
// per message, in id order; blank lines and "//" lines skipped. The files are in their
// language's OEM code page; on Linux the texts are converted to UTF-8.
#ifndef BSOPANEL_HOST_CORE_LANGUAGE_FILE_H
#define BSOPANEL_HOST_CORE_LANGUAGE_FILE_H

#include <string>
#include <vector>

namespace standin {

struct ParsedLanguageFile {
    std::string path; // Win32 form
    std::string name; // from the header: "English", "Russian"
    int headerLine = 0;
    std::vector<std::string> messages; // converted
    std::vector<int> lines;            // the line of each message
    int lineCount = 0;
};

// Reads the whole file through the Win32 API. False with `error` saying why.
bool ReadWholeFile(const std::string &path, std::string &bytes, std::string &error);

// Parses the header only (headerOnly) or the whole file. False with "<path>:<line>: <what>".
bool ParseLanguageFile(const std::string &path, const std::string &bytes, bool headerOnly,
                       ParsedLanguageFile &file, std::string &error);

// The OEM code page of a language: 866 for Russian, 437 for every other.
int LanguageCodePage(const std::string &language);

// Linux: the text converted from the code page to UTF-8. Windows: the text as it is.
std::string ConvertFromCodePage(const std::string &text, int codePage);
// A message's text between its quotes decoded as the host reads it: \\ \" \n \r \b \t and a
// doubled "" stand for one character each.
std::string DecodeLanguageText(const std::string &quoted);

// The files "*.lng" in a directory (Win32 form), sorted by name, as full paths.
std::vector<std::string> FindLanguageFiles(const std::string &directory);

// Case-insensitive comparison of ASCII texts.
bool SameTextIgnoringCase(const std::string &a, const std::string &b);

} // namespace standin

#endif
