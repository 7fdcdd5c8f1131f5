#include "scan/scanner.h"

void AddLinkEntry(OutboundEntry *, int &, int, const FtnAddress *, const WIN32_FIND_DATAA *,
                  EntryKind, Flavor) {}

void AddFileEntry(OutboundEntry *, int &, int, char *, const WIN32_FIND_DATAA *, const char *,
                  EntryKind, Flavor) {}

void ScanZoneDirectory(const char *, OutboundEntry *, int &, int, FtnAddress *) {}

void ScanNodeFiles(const char *, OutboundEntry *, int &, int, FtnAddress *, int64_t) {}

void ScanOutbound(BSOBrowser *Browser, int) {
    FreeEntries(Browser->Entries, Browser->EntryCount);
}
