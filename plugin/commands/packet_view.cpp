#include "commands/packet_view.h"

#include "bso/netmail_packet.h"
#include "bso/outbound.h"
#include "commands/command_boxes.h"
#include "common/helpers.h"
#include "shell/host.h"
#include "shell/messages.h"
#include "shell/panel_row.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
static const char LineEnd[] = "\r\n";
#else
static const char LineEnd[] = "\n";
#endif

// ---- The text ---------------------------------------------------------------------------------

static void AppendBytes(ViewText *Text, const char *Bytes, size_t Length) {
    if (Text->Failed) return;
    if (Text->Length + Length + 1 > Text->Capacity) {
        size_t capacity = Text->Capacity != 0 ? Text->Capacity : 4096;
        while (capacity < Text->Length + Length + 1) capacity *= 2;
        char *grown = static_cast<char *>(realloc(Text->Data, capacity));
        if (grown == nullptr) {
            Text->Failed = true;
            return;
        }
        Text->Data = grown;
        Text->Capacity = capacity;
    }
    memcpy(Text->Data + Text->Length, Bytes, Length);
    Text->Length += Length;
    Text->Data[Text->Length] = 0;
}

static void Append(ViewText *Text, const char *Line) {
    AppendBytes(Text, Line, strlen(Line));
}

void FreeViewText(ViewText *Text) {
    free(Text->Data);
    *Text = ViewText{nullptr, 0, 0, false};
}

#ifndef _WIN32
// CP866's upper half in Unicode: the OEM code page of Russian systems, which FTN software writes.
static const unsigned short Cp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0};
#endif

// Bytes of the packet as the host shows OEM text; a control character would move the viewer's
// cursor or end its line, so it shows as a dot.
static void AppendPacketBytes(ViewText *Text, const unsigned char *Bytes, size_t Length) {
    char run[256];
    size_t used = 0;
    for (size_t i = 0; i < Length; ++i) {
        unsigned char c = Bytes[i];
        if (used + 3 > sizeof(run)) {
            AppendBytes(Text, run, used);
            used = 0;
        }
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            run[used++] = '.';
#ifndef _WIN32
        } else if (c >= 0x80) {
            unsigned code = Cp866High[c - 0x80];
            if (code < 0x800) {
                run[used++] = static_cast<char>(0xC0 | (code >> 6));
            } else {
                run[used++] = static_cast<char>(0xE0 | (code >> 12));
                run[used++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            }
            run[used++] = static_cast<char>(0x80 | (code & 0x3F));
#endif
        } else {
            run[used++] = static_cast<char>(c);
        }
    }
    AppendBytes(Text, run, used);
}

static size_t CharacterCount(const char *Text) {
    size_t count = 0;
    for (; *Text; ++Text) {
#ifndef _WIN32
        if ((static_cast<unsigned char>(*Text) & 0xC0) == 0x80) continue;
#endif
        ++count;
    }
    return count;
}

// The labels of the header and the messages: one column wide enough for the longest.
static const int LabelIds[] = {MsgPacketType,       MsgPacketFrom,     MsgPacketTo,
                               MsgPacketDate,       MsgPacketPassword, MsgPacketSubject,
                               MsgPacketAttributes, MsgPacketSize};

static size_t LabelWidth() {
    size_t width = 0;
    for (int id : LabelIds) {
        size_t length = CharacterCount(GetMessageText(id));
        if (length > width) width = length;
    }
    return width + 2;
}

static void AppendLabel(ViewText *Text, int LabelId, size_t Width) {
    const char *label = GetMessageText(LabelId);
    Append(Text, label);
    Append(Text, ":");
    for (size_t used = CharacterCount(label) + 1; used < Width; ++used) Append(Text, " ");
}

// A line "Label:  value" whose value is plain text of the system's own.
static void AppendField(ViewText *Text, int LabelId, size_t Width, const char *Value) {
    AppendLabel(Text, LabelId, Width);
    Append(Text, Value);
    Append(Text, LineEnd);
}

static void AppendFormatted(ViewText *Text, int FormatId, unsigned long long Number) {
    char number[32], line[512];
    snprintf(number, sizeof(number), "%llu", Number);
    FormatWithOneArgument(line, sizeof(line), GetMessageText(FormatId), 'd', number);
    Append(Text, line);
    Append(Text, LineEnd);
}

static void AppendCount(ViewText *Text, int FormsId, unsigned long long Count) {
    char line[512];
    FormatCountText(line, sizeof(line), GetMessageText(FormsId), Count);
    Append(Text, line);
}

static void AppendHeaderAddress(ViewText *Text, int LabelId, size_t Width,
                                const FtnAddress *Address, const char *Domain) {
    char address[AddressTextSize];
    AppendLabel(Text, LabelId, Width);
    Append(Text, FormatAddress(Address, address));
    if (Domain[0] != 0) {
        Append(Text, "@");
        AppendPacketBytes(Text, reinterpret_cast<const unsigned char *>(Domain), strlen(Domain));
    }
    Append(Text, LineEnd);
}

static void AppendHeader(ViewText *Text, const PacketHeader *Header, size_t Width) {
    static const char *const TypeNames[] = {"2", "2+", "2.2"};
    AppendField(Text, MsgPacketType, Width, TypeNames[Header->Type]);
    AppendHeaderAddress(Text, MsgPacketFrom, Width, &Header->Origin, Header->OriginDomain);
    AppendHeaderAddress(Text, MsgPacketTo, Width, &Header->Destination, Header->DestinationDomain);
    char date[64];
    if (Header->HasDate)
        snprintf(date, sizeof(date), "%04u-%02u-%02u %02u:%02u:%02u", Header->Year, Header->Month,
                 Header->Day, Header->Hour, Header->Minute, Header->Second);
    AppendField(Text, MsgPacketDate, Width,
                Header->HasDate ? date : GetMessageText(MsgPacketNoDate));
    AppendField(Text, MsgPacketPassword, Width,
                GetMessageText(Header->HasPassword ? MsgPacketPasswordSet : MsgPacketPasswordNone));
}

// A name or subject of the message, then (for a name) the address.
static void AppendPartyLine(ViewText *Text, const unsigned char *Data, int LabelId, size_t Width,
                            const PacketSpan &Name, const FtnAddress *Address) {
    AppendLabel(Text, LabelId, Width);
    AppendPacketBytes(Text, Data + Name.Offset, Name.Length);
    if (Address != nullptr) {
        char address[AddressTextSize];
        Append(Text, ", ");
        Append(Text, FormatAddress(Address, address));
    }
    Append(Text, LineEnd);
}

static void AppendAttributes(ViewText *Text, unsigned Attributes, size_t Width) {
    AppendLabel(Text, MsgPacketAttributes, Width);
    bool any = false;
    int id = MsgPacketAttributePrivate;
    unsigned unnamed = 0;
    for (int bit = 0; bit < 16; ++bit) {
        // Bit 10 has no name of its own in the message format.
        if (bit == 10) {
            unnamed |= Attributes & (1u << bit);
            continue;
        }
        if (Attributes & (1u << bit)) {
            if (any) Append(Text, ", ");
            Append(Text, GetMessageText(id));
            any = true;
        }
        ++id;
    }
    if (unnamed != 0) {
        char hex[16];
        snprintf(hex, sizeof(hex), "%s0x%04X", any ? ", " : "", unnamed);
        Append(Text, hex);
        any = true;
    }
    if (!any) Append(Text, GetMessageText(MsgPacketNoAttributes));
    Append(Text, LineEnd);
}

// The message's lines, kludges apart from the text; each indented under its heading.
static void AppendMessageText(ViewText *Text, const unsigned char *Data, const PacketSpan &Body) {
    const unsigned char *body = Data + Body.Offset;
    for (int kludges = 1; kludges >= 0; --kludges) {
        bool headed = false;
        size_t position = 0;
        PacketSpan line;
        while (NextPacketTextLine(body, Body.Length, &position, &line)) {
            bool isKludge = IsKludgeLine(body + line.Offset, line.Length);
            if (isKludge != (kludges == 1)) continue;
            if (!headed) {
                Append(Text, GetMessageText(kludges ? MsgPacketKludges : MsgPacketText));
                Append(Text, ":");
                Append(Text, LineEnd);
                headed = true;
            }
            Append(Text, "  ");
            size_t skip = isKludge ? 1 : 0;
            AppendPacketBytes(Text, body + line.Offset + skip, line.Length - skip);
            Append(Text, LineEnd);
        }
    }
}

static void AppendMessage(ViewText *Text, const unsigned char *Data, const PacketHeader *Header,
                          const PacketMessage *Message, unsigned long long Number, size_t Width) {
    Append(Text, LineEnd);
    AppendFormatted(Text, MsgPacketMessageHeading, Number);
    if (Message->Read < FixedPartRead) return;
    FtnAddress from, to;
    PacketMessageAddresses(Data, Header, Message, &from, &to);
    PacketSpan none = {0, 0};
    AppendPartyLine(Text, Data, MsgPacketFrom, Width,
                    Message->Read >= FromRead ? Message->From : none, &from);
    AppendPartyLine(Text, Data, MsgPacketTo, Width, Message->Read >= ToRead ? Message->To : none,
                    &to);
    if (Message->Read >= SubjectRead)
        AppendPartyLine(Text, Data, MsgPacketSubject, Width, Message->Subject, nullptr);
    if (Message->Read >= DateRead)
        AppendPartyLine(Text, Data, MsgPacketDate, Width, Message->Date, nullptr);
    AppendAttributes(Text, Message->Attributes, Width);
    if (Message->Read >= TextRead) {
        AppendLabel(Text, MsgPacketSize, Width);
        AppendCount(Text, MsgPacketSizeValue, Message->Text.Length);
        Append(Text, LineEnd);
    }
    if (Message->Read >= SubjectRead) AppendMessageText(Text, Data, Message->Text);
}

void FormatNetmailPacket(const unsigned char *Data, size_t Length, unsigned long long FileSize,
                         const char *Name, ViewText *Text) {
    char heading[MAX_PATH + 256];
    FormatWithOneArgument(heading, sizeof(heading), GetMessageText(MsgPacketHeading), 's', Name);
    Append(Text, heading);
    Append(Text, LineEnd);
    if (FileSize > Length) AppendFormatted(Text, MsgPacketTooLarge, Length);
    size_t width = LabelWidth();
    PacketHeader header;
    PacketStop stop = ReadPacketHeader(Data, Length, &header);
    if (stop == PacketHeaderCut) {
        AppendFormatted(Text, MsgPacketHeaderCut, Length);
        return;
    }
    if (stop == PacketUnknownType) {
        AppendFormatted(Text, MsgPacketUnknownType, Data[18] | (Data[19] << 8));
        return;
    }
    AppendHeader(Text, &header, width);
    size_t offset = PacketHeaderSize;
    unsigned long long count = 0;
    PacketMessage message;
    while ((stop = ReadPacketMessage(Data, Length, &offset, &message)) == PacketMessageFollows &&
           !Text->Failed)
        AppendMessage(Text, Data, &header, &message, ++count, width);
    if (Text->Failed) return;
    // A message cut short shows what was read of it.
    if ((stop == PacketMessageCut || stop == PacketFieldTooLong) && message.Read > NothingRead)
        AppendMessage(Text, Data, &header, &message, count + 1, width);
    Append(Text, LineEnd);
    switch (stop) {
    case PacketEnded:
        AppendCount(Text, MsgPacketEnded, count);
        Append(Text, LineEnd);
        break;
    case PacketEndMissing:
        AppendFormatted(Text, MsgPacketEndMissing, offset);
        break;
    case PacketNoMessage:
        AppendFormatted(Text, MsgPacketNoMessage, offset);
        break;
    case PacketFieldTooLong:
        AppendFormatted(Text, MsgPacketFieldTooLong, offset);
        break;
    default:
        AppendFormatted(Text, MsgPacketMessageCut, offset);
        break;
    }
}

// ---- The key ----------------------------------------------------------------------------------

// A netmail packet of the link itself: a file row (not one a flow file names) with a ?UT
// extension.
static bool IsPacketRow(const ItemRow &Row) {
    if (Row.Row->Kind != LinkFileRow || (Row.Entry->Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    EntryKind kind;
    Flavor flavor;
    return ClassifyOutboundFile(Row.Row->Extension, &kind, &flavor) && kind == Netmail;
}

// Up to PacketViewLimit bytes of the packet into a new buffer (free it); *FileSize its whole
// size. Null with the system's error when it cannot be read.
static unsigned char *ReadPacketFile(const char *Path, size_t *Length,
                                     unsigned long long *FileSize) {
    // The mailer may be sending it meanwhile.
    HANDLE file = CreateFileA(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    // A FIFO or a device under a packet's name would never end.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_BAD_FILE_TYPE);
        return nullptr;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    *FileSize = (static_cast<unsigned long long>(high) << 32) | low;
    size_t wanted = *FileSize > PacketViewLimit ? PacketViewLimit : static_cast<size_t>(*FileSize);
    unsigned char *data = static_cast<unsigned char *>(malloc(wanted != 0 ? wanted : 1));
    size_t got = 0;
    while (data != nullptr && got < wanted) {
        DWORD read = 0;
        if (!ReadFile(file, data + got, static_cast<DWORD>(wanted - got), &read, nullptr)) {
            free(data);
            data = nullptr;
            break;
        }
        if (read == 0) break; // cut meanwhile: what there is
        got += read;
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    if (data == nullptr) SetLastError(error != ERROR_SUCCESS ? error : ERROR_NOT_ENOUGH_MEMORY);
    *Length = got;
    return data;
}

// Makes a folder of its own under the temporary folder; its path into Folder.
static bool MakeViewFolder(char (&Folder)[MAX_PATH]) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof(temp), temp);
    if (length == 0 || length >= sizeof(temp)) return false;
    static unsigned attempt = 0;
    for (int tries = 0; tries < 100; ++tries) {
        char name[64];
        snprintf(name, sizeof(name), "bsopanel-%lu-%u",
                 static_cast<unsigned long>(GetCurrentProcessId()), ++attempt);
        if (!JoinPath(Folder, sizeof(Folder), temp, "", name)) return false;
        if (CreateDirectoryA(Folder, nullptr)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

static bool WriteViewFile(const char *Path, const ViewText *Text) {
    HANDLE file =
        CreateFileA(Path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    size_t done = 0;
    bool written = true;
    while (written && done < Text->Length) {
        DWORD wrote = 0;
        written = WriteFile(file, Text->Data + done, static_cast<DWORD>(Text->Length - done),
                            &wrote, nullptr) &&
                  wrote != 0;
        done += wrote;
    }
    DWORD error = GetLastError();
    if (!CloseHandle(file)) written = false;
    if (!written) {
        DeleteFileA(Path);
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT);
    }
    return written;
}

bool ViewNetmailPacket(BSOBrowser *Browser) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    const PluginPanelItem *current = CurrentPanelItem(&info);
    ItemRow row;
    if (current == nullptr || !LookUpItemRow(Browser, current, &row) || !IsPacketRow(row))
        return false;
    PluginPanelItem item = ItemWithRowName(current, row);
    const char *path = item.FindData.cFileName;
    size_t length = 0;
    unsigned long long fileSize = 0;
    unsigned char *data = ReadPacketFile(path, &length, &fileSize);
    if (data == nullptr) {
        ShowWarning(MsgWarning, MsgPacketUnreadable, path);
        return true;
    }
    ViewText text = {nullptr, 0, 0, false};
    FormatNetmailPacket(data, length, fileSize, current->FindData.cFileName, &text);
    free(data);
    char folder[MAX_PATH], file[MAX_PATH];
    // The text file is named after the packet, so that the viewer's title says which it is.
    const char *name = path + strlen(path);
    while (name > path && name[-1] != '\\' && name[-1] != '/') --name;
    char fileName[MAX_PATH];
    if (!JoinPath(fileName, sizeof(fileName), name, "", ".txt")) {
        ShowWriteFailure(MsgWarning, name, ERROR_FILENAME_EXCED_RANGE);
    } else if (text.Failed) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        ShowWriteFailure(MsgWarning, fileName, GetLastError());
    } else if (!MakeViewFolder(folder)) {
        ShowWriteFailure(MsgWarning, fileName, GetLastError());
    } else {
        if (!JoinPath(file, sizeof(file), folder, "\\", fileName)) {
            ShowWriteFailure(MsgWarning, fileName, ERROR_FILENAME_EXCED_RANGE);
        } else if (!WriteViewFile(file, &text)) {
            ShowWriteFailure(MsgWarning, file, GetLastError());
        } else {
            // Modal: the file goes once the user has left the viewer.
            HostInfo.Viewer(file, current->FindData.cFileName, 0, 0, -1, -1, VF_DISABLEHISTORY);
            DeleteFileA(file);
        }
        RemoveDirectoryA(folder);
    }
    FreeViewText(&text);
    return true;
}
