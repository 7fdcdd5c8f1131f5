// Flow files: the mailer's list of files to send to one link with one flavor, one entry per
// line. "#name" and "^name" name a file behind a directive for the mailer, "~..." is a done
// entry that names nothing, any other line is the name itself.
#ifndef BSOPANEL_BSO_FLOW_FILE_H
#define BSOPANEL_BSO_FLOW_FILE_H

#include <stddef.h>

#include "bso/text_file.h"
#include "bso/write_outcome.h"
#include "common/helpers.h"
#include "plugin_api.h"

// Size of the removed-line buffer that RemoveFlowLine fills.
const size_t RemovedLineSize = 260;

// Strips the line end (TrimLineEnd), then returns the name the line gives: the text behind a
// leading "#" or "^", the whole line otherwise, or null for a "~" line.
char *ParseFlowLine(char *Line);
// The same for a line whose end is stripped already.
char *FlowLineName(char *Line);

// Whether a flow line's name is a whole path: a drive and a separator ("D:\FILES\A.ZIP"), a share
// ("\\SERVER\FILES\A.ZIP") on Windows, the root ("/files/a.zip") elsewhere. Any other name the
// mailer resolves against its own current folder, which nobody else knows.
bool IsAbsoluteName(const char *Name);

// Replaces the extension of the file name in place by extension (which starts with its dot),
// or appends it when the name has none ("D:\OUT.V2\FILE" gets "D:\OUT.V2\FILE.TMP"). The buffer
// must have room for the result. Returns name; an empty name stays empty.
char *ReplaceExtension(char *Name, const char *Extension);

// Whether a flow file line (length bytes, without its line end) orders a file to be sent: not a
// "~" line, and something beside blanks behind its directive. A flow file without such a line
// is a poll.
bool LineNamesAFile(const char *Line, size_t Length);

// Whether a flow line's name (length bytes) names the file at path (PathLength bytes).
typedef bool (*FileNameMatcher)(const char *Name, size_t Length, const char *Path,
                                size_t PathLength);
// The outbound's own rule, as the file system compares names: without regard to case on
// Windows; exactly on Linux but for the directory part, which the rows show in upper case.
bool SameOutboundFileName(const char *Name, size_t Length, const char *Path, size_t PathLength);

// Asked when the item is queued only through a pattern line ("^D:\FILES\*.ZIP"), which sends
// other files too: line (length bytes) as it stands in the flow file. True takes the whole line.
typedef bool (*PatternLineQuestion)(const char *Line, size_t Length, void *Context);

// The lines a removal took out of a flow file, each as it stood there and followed by CR LF, in
// file order, duplicates included. Released with FreeTakenLines.
struct TakenLines {
    char *Bytes;
    size_t Length;
    int Count;
};
void FreeTakenLines(TakenLines *Taken);
// The line that starts at *offset in taken (advanced past it and its CR LF): its bytes and
// length. False past the last line.
bool NextTakenLine(const TakenLines *Taken, size_t *Offset, const char **Line, size_t *Length);

// A flow file rewritten into a copy beside it that has not taken its place yet: until
// CommitFlowRewrite the flow file is as it was.
struct PendingFlowRewrite {
    char Path[MAX_PATH];          // the flow file, under the name it has on disk
    char TemporaryPath[MAX_PATH]; // the rewritten copy
    // The copy keeps no line that names a file: the flow file is deleted rather than replaced,
    // since an empty one would be a poll, and the mailer would call the link.
    bool Empties;
};

// Takes the lines that name the item's file (its FindData.cFileName, a row of the link's view)
// out of the flow file into a copy, and hands them back. A line names the file when match says
// its name (behind the directive, up to a NUL byte) is that path (SameOutboundFileName: as the
// file system compares names); wildcards and brackets are plain characters. A
// name equal to the path once its trailing blanks are stripped counts when no line is equal as
// it stands. When no line names it so, the lines the view made the row from count: a name in
// another case that the file system found, and pattern lines ("*.ZIP") whose first match is
// the item, each of which only when ask (null: never) says yes. Every other line is copied
// byte for byte. Returns 1 when a line was taken and the copy is complete (CommitFlowRewrite
// or DiscardFlowRewrite must follow, and FreeTakenLines); 0 otherwise, with nothing pending,
// the flow file untouched and taken empty. The copy is made exclusively beside the flow file
// ("<name>.TMP", or a free variant of that name).
int PrepareFlowLineRemoval(const char *FlowPath, const PluginPanelItem *Item, FileNameMatcher Match,
                           PatternLineQuestion Ask, void *AskContext, TakenLines *Taken,
                           PendingFlowRewrite *Pending);
// Puts the copy in the flow file's place in one step, or deletes the flow file when the copy
// empties it: done, or failed with the flow file as it was and the copy removed.
WriteOutcome CommitFlowRewrite(const PendingFlowRewrite *Pending);
// Drops the copy; the flow file stays as it was.
void DiscardFlowRewrite(const PendingFlowRewrite *Pending);

// PrepareFlowLineRemoval and CommitFlowRewrite in one: 1 when the lines are out of the flow
// file (which is gone when nothing else in it named a file).
int RemoveFlowLines(const char *FlowPath, const PluginPanelItem *Item, FileNameMatcher Match,
                    PatternLineQuestion Ask, void *AskContext);

// RemoveFlowLines with SameOutboundFileName and without pattern lines, copying the last line taken
// out into RemovedLine (RemovedLineSize bytes; a longer line is cut there, still taken out whole).
// Returns 1 when a line was taken out; 0 when none named the file (the flow file untouched) or on
// any failure (the flow file exactly as it was, no temporary file left, RemovedLine "").
int RemoveFlowLine(const char *FlowPath, const PluginPanelItem *Item, char *RemovedLine);

// The same with a removed-line buffer of RemovedLineSize bytes; *WholeLength (may be null)
// receives the length of the whole removed line, so a caller can tell when its copy was cut.
int RemoveFlowLineTo(const char *FlowPath, const PluginPanelItem *Item, char *RemovedLine,
                     size_t RemovedLineSize, size_t *WholeLength);

// RewriteTextFile for a flow file: a rewrite that takes out lines and leaves none that names a
// file deletes the flow file instead (the delete is then the step that commits). A flow file
// that named no file before is never touched. Done or failed as RewriteTextFile.
WriteOutcome RewriteFlowFile(const char *Path, char *TemporaryPath, LineFilter Filter,
                             void *Context);

// Done when the lines naming Item's file left the flow file FlowPath for the end of the link's
// flow file of Chosen (BasePath with its extension, in OutboundCase), duplicates too, each as it
// stood. The line is never lost nor doubled: the old flow file is replaced by its copy without
// the line only once the line is on disk in the new one, and a failure on the way leaves both
// as they were (Failed). Changed when FlowPath is gone; Failed also when no line named the
// file or Ask declined a pattern line. The caller holds the link's flag.
WriteOutcome ChangeItemFlavor(const char *FlowPath, const PluginPanelItem *Item,
                              const char *BasePath, int Chosen, PatternLineQuestion Ask,
                              void *AskContext);

// Done when the flow file at Path, a poll (no line orders a file), is deleted; Changed when a
// line names a file (a missing one the user kept), and it stays.
WriteOutcome RemovePoll(const char *Path);

#endif
