// What waits for each link at the root: the bytes queued and the time of the oldest item, and
// the mailer's own files (hold, tries, call and busy flags). The root scan hands every file of a
// link to NoteLinkFile as it meets it; FinishBacklogScan then reads the flow files and looks up
// the files they name. A flow file unchanged since the last listing (same size and write time)
// is not read again: its names are kept in a FlowCache the caller holds between listings. A
// file named by several flow files is looked up once per listing and counted once per link.
#ifndef BSOPANEL_SCAN_BACKLOG_H
#define BSOPANEL_SCAN_BACKLOG_H

#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "scan/outbound_entry.h"

#include <windows.h>

#include <stdint.h>

struct FlowCache;
void FreeFlowCache(FlowCache **Cache);
// Flow files the cache holds (for tests and benchmarks).
int FlowCacheSize(const FlowCache *Cache);
// Flow files read (not taken from the cache) since the cache was made.
long FlowCacheReads(const FlowCache *Cache);

struct PendingLinkFile; // a flow or mailer file, read once the enumeration is done

struct BacklogScan {
    FlowCache **Cache; // the caller's, kept between listings; made on first use
    int64_t Now;       // seconds since 1970: the hold file's time is compared with it
    PendingLinkFile *Pending;
    int PendingCount;
    int PendingCapacity;
    // The pending files' folders and names, each once, NUL-terminated one after another: a
    // folder's files share its text.
    char *Texts;
    size_t TextsUsed;
    size_t TextsCapacity;
    // The folder whose files come now (BeginBacklogFolder), and whether it is in Texts yet.
    const char *Folder;
    size_t FolderLength;
    bool FolderKept;
    size_t LastFolder;   // where the folder met last starts in Texts
    uint32_t FolderHash; // that folder's hash, from which its flow files' paths are hashed
};

void StartBacklogScan(BacklogScan *Scan, FlowCache **Cache, int64_t Now);

// The folder whose files NoteLinkFile is handed next: Directory ("D:\OUT", no separator at the
// end) stays as it is until the next folder begins.
void BeginBacklogFolder(BacklogScan *Scan, const char *Directory);

// One file of the link row Row (number RowNumber) in the folder begun last: a netmail packet or
// a file request counts at once, a flow file or a mailer file (EntryKind NoEntryKind then,
// Mailer set) waits for FinishBacklogScan.
void NoteLinkFile(BacklogScan *Scan, OutboundEntry *Row, int RowNumber,
                  const WIN32_FIND_DATAA *Found, EntryKind Kind, MailerFile Mailer);

// Reads what waited and completes every row's Status; releases the scan's own memory (the
// cache stays with the caller). Rows are Rows[0..Count).
void FinishBacklogScan(BacklogScan *Scan, OutboundEntry *Rows, int Count);

// Shows the backlog where the host looks: a link row's size is its queued bytes, its times the
// oldest item's (zero when nothing waits). The rows stay folders.
void ShowBacklogInRows(OutboundEntry *Rows, int Count);

// Seconds since 1970 of a FILETIME, and back (0 gives a zero FILETIME).
FILETIME UnixToFileTime(int64_t Seconds);

#endif
