// Flow files: the mailer's list of files to send to one link with one flavor, one entry per
// line. "#name" and "^name" name a file behind a directive for the mailer, "~..." is a done
// entry that names nothing, any other line is the name itself.
#ifndef BSOPANEL_BSO_FLOW_FILE_H
#define BSOPANEL_BSO_FLOW_FILE_H

#include <stddef.h>

#include "plugin_api.h"

// Size of the removed-line buffer that RemoveFlowLine fills.
const size_t RemovedLineSize = 260;

// Strips trailing CR, LF, tabs and blanks from the line in place, never its first character,
// and returns the line.
char *TrimLineEnd(char *line);

// Strips the line end (TrimLineEnd), then returns the name the line gives: the text behind a
// leading "#" or "^", the whole line otherwise, or null for a "~" line.
char *ParseFlowLine(char *line);

// Replaces the extension of the file name in place by extension (which starts with its dot),
// or appends it when the name has none ("D:\OUT.V2\FILE" gets "D:\OUT.V2\FILE.TMP"). The buffer
// must have room for the result. Returns name; an empty name stays empty.
char *ReplaceExtension(char *name, const char *extension);

// Takes out of the flow file every line whose name matches the item's FindData.cFileName (the
// line's name is the pattern of the host's CmpName, so "D:\FILES\*.ZIP" matches
// "D:\FILES\B.ZIP"), and copies the last such line whole, directive included, into removedLine
// (RemovedLineSize bytes; a longer line is cut there, still removed whole). The rest of the
// file is kept in order with CR LF line ends and trailing blanks stripped; "~" lines are dropped.
// The file is rewritten through "<name>.TMP" beside it and replaced in one step, keeping the
// name it has on disk. Returns 1 when a line matched and the file was replaced. Returns 0 when
// no line matched (the file is still rewritten) or on any failure; after a failure the flow
// file is exactly as it was, no temporary file is left and removedLine is "".
int RemoveFlowLine(const char *flowPath, const PluginPanelItem *item, char *removedLine);

// The same with a removed-line buffer of removedLineSize bytes; *wholeLength (may be null)
// receives the length of the whole removed line, so a caller can tell when its copy was cut.
int RemoveFlowLineTo(const char *flowPath, const PluginPanelItem *item, char *removedLine,
                     size_t removedLineSize, size_t *wholeLength);

// A flow file rewritten into a copy beside it that has not taken its place yet: until
// CommitFlowRewrite the flow file is as it was.
struct PendingFlowRewrite {
    char Path[MAX_PATH];          // the flow file, under the name it has on disk
    char TemporaryPath[MAX_PATH]; // the rewritten copy
};

// RemoveFlowLineTo up to the replace: returns 1 when a line matched and the rewritten copy is
// complete (CommitFlowRewrite or DiscardFlowRewrite must follow); 0 otherwise, with nothing
// pending, the flow file untouched and removedLine "".
int PrepareFlowLineRemoval(const char *flowPath, const PluginPanelItem *item, char *removedLine,
                           size_t removedLineSize, size_t *wholeLength,
                           PendingFlowRewrite *pending);
// Puts the copy in the flow file's place in one step: 1 when done; 0 when not (the flow file
// as it was, the copy removed).
int CommitFlowRewrite(const PendingFlowRewrite *pending);
// Drops the copy; the flow file stays as it was.
void DiscardFlowRewrite(const PendingFlowRewrite *pending);

#endif
