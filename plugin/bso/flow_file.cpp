#include "bso/flow_file.h"

#include <string.h>

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "shell/host.h"

static bool IsLineEndCharacter(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

// The length of the line once its line end is stripped; the first character always stays.
static size_t TrimmedLength(const char *line, size_t length) {
    while (length > 1 && IsLineEndCharacter(line[length - 1])) --length;
    return length;
}

char *TrimLineEnd(char *line) {
    line[TrimmedLength(line, strlen(line))] = '\0';
    return line;
}

char *ParseFlowLine(char *line) {
    TrimLineEnd(line);
    if (line[0] == '#' || line[0] == '^') return line + 1;
    if (line[0] == '~') return nullptr;
    return line;
}

char *ReplaceExtension(char *name, const char *extension) {
    size_t length = strlen(name);
    if (length == 0) return name;
    for (size_t position = length; position-- > 0;) {
        char c = name[position];
        if (c == '.') {
            strcpy(name + position, extension);
            return name;
        }
        if (c == '\\' || c == '/' || c == ':') break;
    }
    strcpy(name + length, extension);
    return name;
}

namespace {

struct RemovalState {
    const char *fileName;
    char *removedLine;
    size_t removedLineSize;
    size_t wholeLength;
    bool matched;
};

} // namespace

static int FilterFlowLine(char *line, size_t *length, void *context) {
    RemovalState *state = static_cast<RemovalState *>(context);
    // As ParseFlowLine, but on the whole length: bytes behind a stray NUL are kept too.
    *length = TrimmedLength(line, *length);
    line[*length] = '\0';
    if (line[0] == '~') return 0;
    const char *name = line[0] == '#' || line[0] == '^' ? line + 1 : line;
    if (!HostInfo.CmpName(name, state->fileName, 0)) return 1;
    size_t copied = *length < state->removedLineSize ? *length : state->removedLineSize - 1;
    memcpy(state->removedLine, line, copied);
    state->removedLine[copied] = '\0';
    state->wholeLength = *length;
    state->matched = true;
    return 0;
}

// Writes the flow file's copy without the item's lines (see RemoveFlowLineTo). Returns 1 when
// the copy is complete, with *matched telling whether a line was taken out.
static int WriteFlowCopy(const char *flowPath, const PluginPanelItem *item, char *removedLine,
                         size_t removedLineSize, size_t *wholeLength, PendingFlowRewrite *pending,
                         bool *matched) {
    *matched = false;
    if (removedLineSize == 0) return 0;
    removedLine[0] = '\0';
    if (wholeLength != nullptr) *wholeLength = 0;
    if (item == nullptr || HostInfo.CmpName == nullptr) return 0;
    if (strpbrk(flowPath, "*?") != nullptr) return 0;

    // Rewrite the file under the name it has on disk: the mailer may have written it in
    // another case than the one asked for.
    char *path = pending->Path;
    size_t pathLength = strnlen(flowPath, MAX_PATH);
    if (pathLength == MAX_PATH) return 0;
    memcpy(path, flowPath, pathLength + 1);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(flowPath, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        DirectoryPart(path);
        size_t directoryLength = strlen(path);
        size_t nameLength = strnlen(found.cFileName, MAX_PATH);
        if (directoryLength + nameLength >= MAX_PATH) return 0;
        memcpy(path + directoryLength, found.cFileName, nameLength);
        path[directoryLength + nameLength] = '\0';
    }

    char temporaryPath[MAX_PATH + 4];
    memcpy(temporaryPath, path, strlen(path) + 1);
    ReplaceExtension(temporaryPath, ".TMP");
    if (strlen(temporaryPath) >= MAX_PATH) return 0;
    memcpy(pending->TemporaryPath, temporaryPath, strlen(temporaryPath) + 1);

    char fileName[MAX_PATH + 1];
    size_t fileNameLength = strnlen(item->FindData.cFileName, MAX_PATH);
    memcpy(fileName, item->FindData.cFileName, fileNameLength);
    fileName[fileNameLength] = '\0';

    RemovalState state = {fileName, removedLine, removedLineSize, 0, false};
    if (!WriteRewrittenCopy(path, pending->TemporaryPath, FilterFlowLine, &state)) {
        removedLine[0] = '\0';
        return 0;
    }
    if (wholeLength != nullptr) *wholeLength = state.wholeLength;
    *matched = state.matched;
    return 1;
}

int RemoveFlowLineTo(const char *flowPath, const PluginPanelItem *item, char *removedLine,
                     size_t removedLineSize, size_t *wholeLength) {
    PendingFlowRewrite pending;
    bool matched;
    if (!WriteFlowCopy(flowPath, item, removedLine, removedLineSize, wholeLength, &pending,
                       &matched))
        return 0;
    // Rewritten also when nothing matched: its "~" lines go, its line ends are made even.
    if (!ReplaceWithCopy(pending.TemporaryPath, pending.Path)) {
        removedLine[0] = '\0';
        if (wholeLength != nullptr) *wholeLength = 0;
        return 0;
    }
    return matched;
}

int PrepareFlowLineRemoval(const char *flowPath, const PluginPanelItem *item, char *removedLine,
                           size_t removedLineSize, size_t *wholeLength,
                           PendingFlowRewrite *pending) {
    bool matched;
    if (!WriteFlowCopy(flowPath, item, removedLine, removedLineSize, wholeLength, pending,
                       &matched))
        return 0;
    if (matched) return 1;
    DiscardCopy(pending->TemporaryPath);
    return 0;
}

int CommitFlowRewrite(const PendingFlowRewrite *pending) {
    return ReplaceWithCopy(pending->TemporaryPath, pending->Path);
}

void DiscardFlowRewrite(const PendingFlowRewrite *pending) {
    DiscardCopy(pending->TemporaryPath);
}

int RemoveFlowLine(const char *flowPath, const PluginPanelItem *item, char *removedLine) {
    return RemoveFlowLineTo(flowPath, item, removedLine, RemovedLineSize, nullptr);
}
