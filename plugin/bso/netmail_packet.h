// Netmail packets (.?ut): the packet header and the packed messages read from the packet's bytes
// into plain records. A packet is outside input: every read stays inside the buffer, nothing is
// allocated, and a packet that is cut short or garbled stops the reading at the field where it
// went wrong, with everything before it read.
#ifndef BSOPANEL_BSO_NETMAIL_PACKET_H
#define BSOPANEL_BSO_NETMAIL_PACKET_H

#include "bso/address.h"

#include <stddef.h>
#include <stdint.h>

// Every packet type starts with a header of this many bytes.
const size_t PacketHeaderSize = 58;
// The fixed part of a packed message: its type (2), the two nets and nodes, attributes, cost.
const size_t PackedMessageFixedSize = 14;
// The date field's bytes; the names and the subject may hold at most this many bytes, their
// terminating zero included.
const size_t PackedDateSize = 20;
const size_t PackedNameSize = 36;
const size_t PackedSubjectSize = 72;

enum PacketType { PacketType2 = 0, PacketType2Plus = 1, PacketType22 = 2 };

struct PacketHeader {
    PacketType Type;
    FtnAddress Origin;
    FtnAddress Destination;
    // Type 2.2 keeps domains in place of the date; empty for the other types.
    char OriginDomain[9];
    char DestinationDomain[9];
    bool HasDate;                                    // types 2 and 2+
    unsigned Year, Month, Day, Hour, Minute, Second; // Month counts from 1, as shown
    bool HasPassword;
};

// Where a part of a message lies in the packet's bytes.
struct PacketSpan {
    size_t Offset;
    size_t Length;
};

// How far a message was read: each field comes whole or not at all, except the text, which
// holds what the packet has of it.
enum PacketMessagePart {
    NothingRead = 0,
    FixedPartRead = 1,
    DateRead = 2,
    ToRead = 3,
    FromRead = 4,
    SubjectRead = 5,
    TextRead = 6, // the whole message
};

struct PacketMessage {
    size_t Offset; // where the message starts in the packet
    PacketMessagePart Read;
    unsigned OrigNode, DestNode, OrigNet, DestNet, Attributes, Cost;
    PacketSpan Date, To, From, Subject, Text; // without their terminating zero
};

// Why reading ended.
enum PacketStop {
    PacketMessageFollows = 0, // a whole message was read; more may follow
    PacketEnded = 1,          // the end mark: everything was read
    PacketHeaderCut = 2,      // fewer bytes than a header holds
    PacketEndMissing = 3,     // the bytes end between messages, without the end mark
    PacketNoMessage = 4,      // what follows is no packed message (its type is not 2)
    PacketMessageCut = 5,     // the bytes end inside a message
    PacketFieldTooLong = 6,   // a name, the subject or the date has no end within its room
    PacketUnknownType = 7,    // the header names no packet of type 2 (2, 2+ or 2.2)
};

// Reads the header from Data (Length bytes). PacketMessageFollows with the header filled, or
// PacketHeaderCut or PacketUnknownType. The password itself is never copied: only whether one is
// set.
PacketStop ReadPacketHeader(const unsigned char *Data, size_t Length, PacketHeader *Header);

// Reads the packed message at *Offset (the first one lies at PacketHeaderSize). On
// PacketMessageFollows *Offset moves past it (always forward); on any other answer *Offset is
// where the reading stopped: the end mark, or the start of the field that is cut or too long.
// Message holds what was read of it then.
PacketStop ReadPacketMessage(const unsigned char *Data, size_t Length, size_t *Offset,
                             PacketMessage *Message);

// The next line of a message text (lines end at CR, LF or CR LF; the last may lack its end).
// Position moves past the line end; false once the text is used up.
bool NextPacketTextLine(const unsigned char *Text, size_t Length, size_t *Position,
                        PacketSpan *Line);

// Whether the line is a kludge (it starts with byte 1).
inline bool IsKludgeLine(const unsigned char *Line, size_t Length) {
    return Length > 0 && Line[0] == 1;
}

// The sender's and the recipient's addresses: the zones from the header, net and node from
// the message, replaced by those of an INTL kludge that parses, the points from FMPT and TOPT.
void PacketMessageAddresses(const unsigned char *Data, const PacketHeader *Header,
                            const PacketMessage *Message, FtnAddress *From, FtnAddress *To);

#endif
