#include "bso/netmail_packet.h"

#include <string.h>

// Packets are little-endian whatever wrote them.
static unsigned Word(const unsigned char *Data, size_t Offset) {
    return Data[Offset] | (static_cast<unsigned>(Data[Offset + 1]) << 8);
}

static void CopyDomain(char (&Domain)[9], const unsigned char *Data) {
    size_t length = 0;
    while (length < 8 && Data[length] != 0) ++length;
    memcpy(Domain, Data, length);
    Domain[length] = 0;
}

PacketStop ReadPacketHeader(const unsigned char *Data, size_t Length, PacketHeader *Header) {
    memset(Header, 0, sizeof(*Header));
    if (Data == nullptr || Length < PacketHeaderSize) return PacketHeaderCut;
    if (Word(Data, 18) != 2) return PacketUnknownType;
    Header->Origin.node = Word(Data, 0);
    Header->Destination.node = Word(Data, 2);
    Header->Origin.net = Word(Data, 20);
    Header->Destination.net = Word(Data, 22);
    Header->Origin.zone = Word(Data, 34);
    Header->Destination.zone = Word(Data, 36);
    for (int i = 26; i < 34; ++i) Header->HasPassword = Header->HasPassword || Data[i] != 0;
    unsigned capabilities = Word(Data, 44);
    unsigned validation = Word(Data, 40);
    bool swappedCopy = capabilities == (((validation & 0xFF) << 8) | (validation >> 8));
    if (Word(Data, 16) == 2) {
        // The sub-version where the others keep the baud rate: no date, points and domains.
        Header->Type = PacketType22;
        Header->Origin.point = Word(Data, 4);
        Header->Destination.point = Word(Data, 6);
        CopyDomain(Header->OriginDomain, Data + 38);
        CopyDomain(Header->DestinationDomain, Data + 46);
        return PacketMessageFollows;
    }
    Header->HasDate = true;
    Header->Year = Word(Data, 4);
    Header->Month = Word(Data, 6) + 1;
    Header->Day = Word(Data, 8);
    Header->Hour = Word(Data, 10);
    Header->Minute = Word(Data, 12);
    Header->Second = Word(Data, 14);
    if (swappedCopy && (capabilities & 1) != 0) {
        Header->Type = PacketType2Plus;
        if (Word(Data, 46) != 0) Header->Origin.zone = Word(Data, 46);
        if (Word(Data, 48) != 0) Header->Destination.zone = Word(Data, 48);
        Header->Origin.point = Word(Data, 50);
        Header->Destination.point = Word(Data, 52);
        // A point's packet may carry net -1, its boss's net then lies in the auxiliary net.
        if (Header->Origin.net == 0xFFFF && Header->Origin.point != 0)
            Header->Origin.net = Word(Data, 38);
    }
    return PacketMessageFollows;
}

// A zero-terminated field of at most Room bytes at *Offset; on success *Offset moves past its
// zero.
static PacketStop ReadField(const unsigned char *Data, size_t Length, size_t *Offset, size_t Room,
                            PacketSpan *Field) {
    size_t left = Length - *Offset;
    size_t look = left < Room ? left : Room;
    const void *zero = memchr(Data + *Offset, 0, look);
    if (zero == nullptr) return look == Room ? PacketFieldTooLong : PacketMessageCut;
    Field->Offset = *Offset;
    Field->Length = static_cast<size_t>(static_cast<const unsigned char *>(zero) - Data) - *Offset;
    *Offset += Field->Length + 1;
    return PacketMessageFollows;
}

PacketStop ReadPacketMessage(const unsigned char *Data, size_t Length, size_t *Offset,
                             PacketMessage *Message) {
    memset(Message, 0, sizeof(*Message));
    size_t at = *Offset;
    Message->Offset = at;
    if (at >= Length) return PacketEndMissing;
    if (Length - at < 2) return PacketMessageCut;
    unsigned type = Word(Data, at);
    if (type == 0) return PacketEnded;
    if (type != 2) return PacketNoMessage;
    if (Length - at < PackedMessageFixedSize) return PacketMessageCut;
    Message->OrigNode = Word(Data, at + 2);
    Message->DestNode = Word(Data, at + 4);
    Message->OrigNet = Word(Data, at + 6);
    Message->DestNet = Word(Data, at + 8);
    Message->Attributes = Word(Data, at + 10);
    Message->Cost = Word(Data, at + 12);
    Message->Read = FixedPartRead;
    at += PackedMessageFixedSize;
    *Offset = at;
    // The date takes its 20 bytes whatever its text's length.
    if (Length - at < PackedDateSize) return PacketMessageCut;
    const void *zero = memchr(Data + at, 0, PackedDateSize);
    if (zero == nullptr) return PacketFieldTooLong;
    Message->Date.Offset = at;
    Message->Date.Length =
        static_cast<size_t>(static_cast<const unsigned char *>(zero) - Data) - at;
    Message->Read = DateRead;
    at += PackedDateSize;
    struct Field {
        size_t Room;
        PacketSpan *Span;
        PacketMessagePart Part;
    };
    const Field fields[] = {{PackedNameSize, &Message->To, ToRead},
                            {PackedNameSize, &Message->From, FromRead},
                            {PackedSubjectSize, &Message->Subject, SubjectRead},
                            {Length, &Message->Text, TextRead}};
    for (const Field &field : fields) {
        *Offset = at;
        PacketStop stop = ReadField(Data, Length, &at, field.Room, field.Span);
        if (stop != PacketMessageFollows) {
            // What there is of the text is shown; a cut name or subject is not.
            if (field.Part == TextRead) {
                Message->Text.Offset = at;
                Message->Text.Length = Length - at;
            }
            return stop;
        }
        Message->Read = field.Part;
    }
    *Offset = at;
    return PacketMessageFollows;
}

bool NextPacketTextLine(const unsigned char *Text, size_t Length, size_t *Position,
                        PacketSpan *Line) {
    size_t at = *Position;
    if (at >= Length) return false;
    size_t end = at;
    while (end < Length && Text[end] != '\r' && Text[end] != '\n') ++end;
    Line->Offset = at;
    Line->Length = end - at;
    if (end < Length && Text[end] == '\r') ++end;
    if (end < Length && Text[end] == '\n') ++end;
    *Position = end;
    return true;
}

// The kludge's value when the line is that kludge (its name followed by a blank or a colon),
// copied without leading blanks into Value (64 bytes); false for another line or a longer value.
static bool KludgeValue(const unsigned char *Line, size_t Length, const char *Name,
                        char (&Value)[AddressTextSize]) {
    size_t nameLength = strlen(Name);
    if (!IsKludgeLine(Line, Length) || Length < nameLength + 2) return false;
    if (memcmp(Line + 1, Name, nameLength) != 0) return false;
    size_t at = 1 + nameLength;
    if (Line[at] != ' ' && Line[at] != ':') return false;
    ++at;
    while (at < Length && Line[at] == ' ') ++at;
    size_t end = Length;
    while (end > at && Line[end - 1] == ' ') --end;
    if (end - at >= sizeof(Value)) return false;
    memcpy(Value, Line + at, end - at);
    Value[end - at] = 0;
    return true;
}

static void ReadPoint(const char *Value, uint32_t *Point) {
    uint32_t point;
    if (ParseAddressField(Value, &point) && point != EmptyAddressField) *Point = point;
}

void PacketMessageAddresses(const unsigned char *Data, const PacketHeader *Header,
                            const PacketMessage *Message, FtnAddress *From, FtnAddress *To) {
    *From = {Header->Origin.zone, Message->OrigNet, Message->OrigNode, 0};
    *To = {Header->Destination.zone, Message->DestNet, Message->DestNode, 0};
    if (Message->Read < FixedPartRead) {
        *From = Header->Origin;
        *To = Header->Destination;
        return;
    }
    const unsigned char *text = Data + Message->Text.Offset;
    size_t position = 0;
    PacketSpan line;
    char value[AddressTextSize];
    while (NextPacketTextLine(text, Message->Text.Length, &position, &line)) {
        const unsigned char *start = text + line.Offset;
        if (KludgeValue(start, line.Length, "INTL", value)) {
            // The recipient first, then the sender: both must parse, or neither is taken.
            char *blank = strchr(value, ' ');
            if (blank == nullptr) continue;
            *blank = 0;
            const char *second = blank + 1;
            while (*second == ' ') ++second;
            FtnAddress to, from;
            if (ParseAddress(&to, value, nullptr) && ParseAddress(&from, second, nullptr) &&
                strchr(value, ':') != nullptr && strchr(second, ':') != nullptr) {
                *To = {to.zone, to.net, to.node, To->point};
                *From = {from.zone, from.net, from.node, From->point};
            }
        } else if (KludgeValue(start, line.Length, "FMPT", value)) {
            ReadPoint(value, &From->point);
        } else if (KludgeValue(start, line.Length, "TOPT", value)) {
            ReadPoint(value, &To->point);
        }
    }
}
