// The flow file reader: LineReader over a file of arbitrary bytes, each line then read as the
// link contents scan reads it, with ParseFlowLine.
//
// Input: bytes 0 and 1 give a count (little-endian, modulo 9000) of "a" bytes put in front of
// the rest, so that short inputs still put their line ends at the reader's 4096-byte chunk
// boundaries; byte 2, when not 0, caps every read of the file at that many bytes (a read may
// give less than asked, as on a network share); the rest is the file. Checked:
// - no line holds a line feed or a carriage return, and each is terminated at its length;
// - nothing is lost or truncated: the lines, each followed by the CR LF, LF or CR that ended it
//   (none after a last line without one), are the file byte for byte, and the reader reports
//   the end exactly there (never a read failure on a plain file);
// - ParseFlowLine strips only CR, LF, tab and blank from the end, never the first character,
//   and names the text behind "#" or "^", nothing for "~", else the whole line.
#include "fuzz_support.h"

#include "bso/flow_file.h"
#include "bso/text_file.h"

#include <string.h>

#include <string>

namespace {

DWORD ReadCap = 0;

BOOL WINAPI CappedRead(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD got,
                       LPOVERLAPPED overlapped) {
    if (ReadCap != 0 && wanted > ReadCap) wanted = ReadCap;
    return Win32FileOps.Read(file, buffer, wanted, got, overlapped);
}

bool IsStripped(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

void CheckParsedLine(char *line, const std::string &original) {
    // ParseFlowLine sees a C string: the line up to its first NUL.
    std::string text = original.c_str();
    char *name = ParseFlowLine(line);
    std::string trimmed = line;
    std::string note = "line \"" + Printable(original) + "\"";
    FUZZ_CHECK(text.compare(0, trimmed.size(), trimmed) == 0, note + ": not a prefix");
    if (!text.empty()) FUZZ_CHECK(!trimmed.empty(), note + ": first character stripped");
    for (size_t i = trimmed.size(); i < text.size(); ++i)
        FUZZ_CHECK(IsStripped(text[i]), note + ": cut at " + std::to_string(i));
    if (trimmed.size() > 1) FUZZ_CHECK(!IsStripped(trimmed.back()), note + ": end left");
    if (text[0] == '~') {
        FUZZ_CHECK(name == nullptr, note + ": a done entry names a file");
    } else if (text[0] == '#' || text[0] == '^') {
        FUZZ_CHECK(name == line + 1, note + ": directive not skipped");
    } else {
        FUZZ_CHECK(name == line, note + ": name is not the line");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    size_t padding = (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % 9000;
    ReadCap = data[2];
    FileOps.Read = CappedRead;
    std::string file(padding, 'a');
    file.append(reinterpret_cast<const char *>(data + 3), size - 3);
    static const std::string native = Scratch().native + "/0001000a.flo";
    static const std::string win = Scratch().win + "\\0001000A.FLO";
    WriteNativeFile(native, file);

    LineReader reader;
    FUZZ_CHECK(OpenLineReader(&reader, win.c_str()) == 1, win);
    size_t position = 0;
    int lines = 0;
    for (;;) {
        char *line = nullptr;
        size_t length = 0;
        int got = ReadLine(&reader, &line, &length);
        std::string note = "line " + std::to_string(lines) + " at byte " + std::to_string(position);
        FUZZ_CHECK(got == 0 || got == 1, note + ": read failed");
        if (got == 0) break;
        ++lines;
        FUZZ_CHECK(line != nullptr && line[length] == '\0', note + ": not terminated");
        FUZZ_CHECK(memchr(line, '\n', length) == nullptr, note + ": holds a line feed");
        FUZZ_CHECK(memchr(line, '\r', length) == nullptr, note + ": holds a carriage return");
        std::string text(line, length);
        FUZZ_CHECK(file.compare(position, length, text) == 0,
                   note + ": \"" + Printable(text) + "\" is not in the file there");
        position += length;
        if (position + 1 < file.size() && file[position] == '\r' && file[position + 1] == '\n') {
            position += 2;
        } else if (position < file.size() && (file[position] == '\n' || file[position] == '\r')) {
            position += 1;
        } else {
            FUZZ_CHECK(position == file.size(), note + ": line ends without a line end");
        }
        CheckParsedLine(line, text);
    }
    FUZZ_CHECK(position == file.size(), "end reported at byte " + std::to_string(position) +
                                            " of " + std::to_string(file.size()));
    CloseLineReader(&reader);
    return 0;
}
