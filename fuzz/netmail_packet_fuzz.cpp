// The netmail packet reader and the viewer's text of a packet, on arbitrary bytes held in a buffer
// of exactly their size (AddressSanitizer stops any read past it).
//
// Checked:
// - the header is refused exactly when there are fewer than 58 bytes or its type word is not 2;
// - each whole message lies inside the bytes, its fields follow one another as the packed form
//   lays them out (14 fixed bytes, the 20-byte date, then to, from, subject and text each ended by
//   a zero that no field holds), within their rooms, and the reading moves forward, so it ends;
// - a stop leaves the offset inside the bytes;
// - the text lines, with their ends, are the text byte for byte and hold no CR or LF;
// - the viewer's text holds no control character but line ends and tabs, and off Windows it is
//   valid UTF-8.
#include "fuzz_support.h"

#include "bso/netmail_packet.h"
#include "commands/packet_view.h"
#include "shell/host.h"

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const char *WINAPI Label(int, int) {
    return "Label %d|Labels %d";
}

void CheckLines(const unsigned char *Text, size_t Length) {
    std::string joined;
    size_t position = 0, last = 0;
    PacketSpan line;
    bool first = true;
    while (NextPacketTextLine(Text, Length, &position, &line)) {
        FUZZ_CHECK(first || position > last, "no progress over the text");
        FUZZ_CHECK(line.Offset == last && line.Offset + line.Length <= position,
                   "line not in place");
        FUZZ_CHECK(memchr(Text + line.Offset, '\r', line.Length) == nullptr &&
                       memchr(Text + line.Offset, '\n', line.Length) == nullptr,
                   "a line holds its end");
        joined.append(reinterpret_cast<const char *>(Text) + last, position - last);
        last = position;
        first = false;
    }
    FUZZ_CHECK(joined == std::string(reinterpret_cast<const char *>(Text), Length),
               "lines lose bytes");
}

void CheckField(const unsigned char *Data, size_t Length, const PacketSpan &Field, size_t At,
                size_t Room, const char *Name) {
    std::string note = Name;
    FUZZ_CHECK(Field.Offset == At, note + " not where the last field ended");
    FUZZ_CHECK(Field.Offset + Field.Length < Length, note + " past the bytes");
    FUZZ_CHECK(Field.Length < Room, note + " beyond its room");
    FUZZ_CHECK(memchr(Data + Field.Offset, 0, Field.Length) == nullptr, note + " holds a zero");
    FUZZ_CHECK(Data[Field.Offset + Field.Length] == 0, note + " not ended by a zero");
}

void CheckViewText(const ViewText &Text) {
    for (size_t i = 0; i < Text.Length; ++i) {
        unsigned char c = static_cast<unsigned char>(Text.Data[i]);
        FUZZ_CHECK(c >= 0x20 || c == '\n' || c == '\r' || c == '\t',
                   "control byte " + std::to_string(c) + " in the text");
#ifndef _WIN32
        if (c < 0x80) continue;
        size_t more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        FUZZ_CHECK((c & 0xC0) == 0xC0 && (c & 0xF8) != 0xF8 && i + more < Text.Length,
                   "a broken UTF-8 sequence");
        for (size_t k = 1; k <= more; ++k)
            FUZZ_CHECK((static_cast<unsigned char>(Text.Data[i + k]) & 0xC0) == 0x80,
                       "a broken UTF-8 sequence");
        i += more;
#endif
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    unsigned char *bytes = static_cast<unsigned char *>(malloc(size != 0 ? size : 1));
    memcpy(bytes, data, size);
    PacketHeader header;
    PacketStop stop = ReadPacketHeader(bytes, size, &header);
    PacketStop expected = size < PacketHeaderSize               ? PacketHeaderCut
                          : (bytes[18] | (bytes[19] << 8)) != 2 ? PacketUnknownType
                                                                : PacketMessageFollows;
    FUZZ_CHECK(stop == expected, "header answer " + std::to_string(stop));
    if (stop == PacketMessageFollows) {
        size_t offset = PacketHeaderSize;
        PacketMessage message;
        // Each message takes at least 38 bytes: the reading cannot go round for ever.
        size_t rounds = 0;
        while ((stop = ReadPacketMessage(bytes, size, &offset, &message)) == PacketMessageFollows) {
            FUZZ_CHECK(++rounds <= size / 38, "more messages than bytes allow");
            FUZZ_CHECK(message.Read == TextRead, "a whole message not wholly read");
            size_t at = message.Offset + PackedMessageFixedSize;
            CheckField(bytes, size, message.Date, at, PackedDateSize, "date");
            at += PackedDateSize;
            CheckField(bytes, size, message.To, at, PackedNameSize, "to");
            at += message.To.Length + 1;
            CheckField(bytes, size, message.From, at, PackedNameSize, "from");
            at += message.From.Length + 1;
            CheckField(bytes, size, message.Subject, at, PackedSubjectSize, "subject");
            at += message.Subject.Length + 1;
            CheckField(bytes, size, message.Text, at, size, "text");
            at += message.Text.Length + 1;
            FUZZ_CHECK(offset == at, "the next message is not right behind");
            CheckLines(bytes + message.Text.Offset, message.Text.Length);
            FtnAddress from, to;
            PacketMessageAddresses(bytes, &header, &message, &from, &to);
            FUZZ_CHECK(from.point <= AddressFieldMax && to.point <= AddressFieldMax,
                       "a point beyond 65535");
        }
        FUZZ_CHECK(offset <= size, "stopped past the bytes");
        FUZZ_CHECK(message.Text.Offset + message.Text.Length <= size, "a cut text past the bytes");
    }
    HostInfo.GetMsg = Label;
    ViewText text = {nullptr, 0, 0, false};
    FormatNetmailPacket(bytes, size, size + (size & 1), "packet", &text);
    FUZZ_CHECK(!text.Failed, "out of memory");
    CheckViewText(text);
    FreeViewText(&text);
    free(bytes);
    return 0;
}
