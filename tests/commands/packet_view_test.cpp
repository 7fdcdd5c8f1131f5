// F3 on a netmail packet inside a link: packets built byte by byte, shown through the host's
// viewer; F3 on other rows stays the host's.
#include "command_test.h"

#include "commands/packet_view.h"

#include <string>
#include <vector>

namespace {

std::string Word(unsigned value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}
std::string Zeros(size_t count) {
    return std::string(count, '\0');
}

// Headers from 2:5020/1000 to 2:100/200, dated 2026-12-10 07:51:57 where the type has a date.
std::string Header2(const std::string &password = "") {
    std::string pw = password + Zeros(8 - password.size());
    return Word(1000) + Word(200) + Word(2026) + Word(11) + Word(10) + Word(7) + Word(51) +
           Word(57) + Word(0) + Word(2) + Word(5020) + Word(100) + Zeros(2) + pw + Word(2) +
           Word(2) + Zeros(20);
}
// From the point 2:5020/1000.5, whose net stands as -1 with the real one in the auxiliary net.
std::string Header2Plus() {
    return Word(1000) + Word(200) + Word(2026) + Word(11) + Word(10) + Word(7) + Word(51) +
           Word(57) + Word(0) + Word(2) + Word(0xFFFF) + Word(100) + Zeros(10) + Word(2) + Word(2) +
           Word(5020) + Word(0x0100) + Zeros(2) + Word(1) + Word(2) + Word(2) + Word(5) + Word(0) +
           Zeros(4);
}
std::string Header22() {
    return Word(1000) + Word(200) + Word(5) + Word(0) + Zeros(8) + Word(2) + Word(2) + Word(5020) +
           Word(100) + Zeros(10) + Word(2) + Word(2) + "fidonet" + Zeros(1) + "fidonet" + Zeros(1) +
           Zeros(4);
}

std::string Message(const std::string &text, unsigned attributes = 0,
                    const std::string &to = "Sysop", const std::string &subject = "Hello") {
    return Word(2) + Word(1000) + Word(200) + Word(5020) + Word(100) + Word(attributes) + Word(0) +
           "10 Dec 26  07:51:57" + Zeros(1) + to + Zeros(1) + "Vasya Pupkin" + Zeros(1) + subject +
           Zeros(1) + text + Zeros(1);
}

const std::string Kludged = "\x01INTL 1:100/200 3:5020/1000\r\x01"
                            "FMPT 5\r\x01TOPT 7\r\x01MSGID: 3:5020/1000.5 1\rHi there,\r\rbye\r";
// Offsets in Header2() + Message("ab"): the message at 58, its date at 72, names at 92, 98.
const std::string Good = Header2() + Message("ab") + Word(0);

// "Label:" in the viewer's label column, then the value.
std::string Field(const std::string &label, const std::string &value) {
    std::string line = label + ":";
    return line + std::string(12 - line.size(), ' ') + value;
}

struct PacketCase {
    std::string name;
    std::string bytes;
    std::vector<std::string> lines; // whole lines of the viewer's text
};

std::vector<PacketCase> PacketCases() {
    std::vector<PacketCase> cases = {
        {"type 2 with password and kludges",
         Header2("SECRET") + Message(Kludged, 0x0003) + Word(0),
         {Field("Type", "2"),
          Field("From", "2:5020/1000.0"),
          Field("To", "2:100/200.0"),
          Field("Date", "2026-12-10 07:51:57"),
          Field("Password", "set"),
          "Message 1",
          Field("From", "Vasya Pupkin, 3:5020/1000.5"),
          Field("To", "Sysop, 1:100/200.7"),
          Field("Subject", "Hello"),
          Field("Date", "10 Dec 26  07:51:57"),
          Field("Attributes", "Private, Crash"),
          Field("Size", "83 bytes"),
          "Kludge lines:",
          "  INTL 1:100/200 3:5020/1000",
          "  MSGID: 3:5020/1000.5 1",
          "Text:",
          "  Hi there,",
          "  ",
          "  bye",
          "End of the packet: 1 message"}},
        {"type 2+ from a point",
         Header2Plus() + Message("x\r\ny", 0x0400) + Message("", 0x8000) + Word(0),
         {Field("Type", "2+"), Field("From", "2:5020/1000.5"), Field("Password", "none"),
          Field("From", "Vasya Pupkin, 2:5020/1000.0"), Field("Attributes", "0x0400"), "  x", "  y",
          "Message 2", Field("Attributes", "File update request"), Field("Size", "0 bytes"),
          "End of the packet: 2 messages"}},
        {"type 2.2 with domains",
         Header22() + Message("\x01Via x") + Word(0),
         {Field("Type", "2.2"), Field("From", "2:5020/1000.5@fidonet"),
          Field("To", "2:100/200.0@fidonet"), Field("Date", "none (type 2.2)"),
          Field("Attributes", "none"), "  Via x", "End of the packet: 1 message"}},
        {"a bad INTL keeps the header's zone",
         Header2() + Message("\x01INTL 1:100/200\r") + Word(0),
         {Field("From", "Vasya Pupkin, 2:5020/1000.0"), Field("To", "Sysop, 2:100/200.0")}},
        {"control bytes shown as dots",
         Header2() +
             Message("a\x07"
                     "b\x1b") +
             Word(0),
         {"  a.b."}},
#ifndef _WIN32
        {"CP866 text as UTF-8",
         Header2() + Message("\x8f\xe0\xa8\xa2\xa5\xe2 \x8d") + Word(0),
         {"  Привет Н"}},
#endif
        {"no packet",
         Zeros(18) + Word(1) + Zeros(38),
         {"No packet of type 2, 2+ or 2.2 (type 1): nothing more is read"}},
        {"no message",
         Header2() + Word(3) + Zeros(20),
         {"No message at byte 58: the rest is not read"}},
        {"a name without its end",
         Header2() + Message("", 0, std::string(36, 'n')),
         {"A field at byte 92 has no end within its room: the rest is not read"}},
        {"a subject without its end",
         Header2() + Message("", 0, "S", std::string(72, 's')),
         {"A field at byte 107 has no end within its room: the rest is not read"}},
        {"larger than read",
         Good + Zeros(PacketViewLimit + 1 - Good.size()),
         {"The packet is larger: only its first 16777216 bytes are read",
          "End of the packet: 1 message"}},
    };
    // The good packet cut at every field: where the reading stopped, and what came before.
    struct Cut {
        size_t length;
        std::string line;
    } cuts[] = {{0, "The packet ends inside its header (0 bytes): nothing more is read"},
                {57, "The packet ends inside its header (57 bytes): nothing more is read"},
                {58, "The packet ends at byte 58 without its end mark"},
                {59, "The packet ends inside this message, at byte 58"},
                {71, "The packet ends inside this message, at byte 58"},
                {80, "The packet ends inside this message, at byte 72"},
                {95, "The packet ends inside this message, at byte 92"},
                {100, "The packet ends inside this message, at byte 98"},
                {113, "The packet ends inside this message, at byte 111"},
                {118, "The packet ends inside this message, at byte 117"},
                {120, "The packet ends at byte 120 without its end mark"},
                {121, "The packet ends inside this message, at byte 120"}};
    for (const Cut &cut : cuts)
        cases.push_back(
            {"cut at " + std::to_string(cut.length), Good.substr(0, cut.length), {cut.line}});
    cases[cases.size() - 3].lines.push_back("  a"); // the text so far
    return cases;
}

class PacketView : public CommandTest {
protected:
    // F3 on the row: the viewer sessions it opened.
    std::vector<standin::ShownBox> ViewerOn(const std::string &row) {
        EXPECT_TRUE(SetCurrent(row)) << row;
        front.ClearBoxes();
        int updates = Panel().UpdateCount();
        host->PressKey(VK_F3);
        EXPECT_EQ(Panel().UpdateCount(), updates);
        return front.BoxesOf(standin::ShownBox::ViewerSession);
    }
};

TEST_F(PacketView, ShowsWhatThePacketHolds) {
    tree.Write("out/006400C8.CUT", Good);
    ASSERT_TRUE(OpenLink());
    for (const PacketCase &row : PacketCases()) {
        SCOPED_TRACE(row.name);
        tree.Write("out/006400C8.CUT", row.bytes);
        std::vector<standin::ShownBox> viewers = ViewerOn(OutRow("006400C8.CUT"));
        ASSERT_EQ(viewers.size(), 1u);
        EXPECT_EQ(viewers[0].result, 0) << "the host viewed it too";
        EXPECT_EQ(viewers[0].title, OutRow("006400C8.CUT"));
        std::string file = viewers[0].texts[0];
        EXPECT_EQ(GetFileAttributesA(file.substr(0, file.rfind('\\')).c_str()),
                  INVALID_FILE_ATTRIBUTES)
            << "the text's folder stays: " << file;
        std::string text;
        for (char c : viewers[0].texts[1])
            if (c != '\r') text += c;
        text = "\n" + text;
        EXPECT_EQ(text.find("\nNetmail packet " + OutRow("006400C8.CUT") + "\n"), 0u);
        for (const std::string &line : row.lines)
            EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
    }
}

TEST_F(PacketView, OtherRowsKeepTheHostsView) {
    std::string attached = tree.WriteAttached("mail.out", Good);
    tree.WriteFlowFile("out/006400C8.FLO", {attached});
    tree.Write("out/006400C8.REQ", "file\r\n");
    ASSERT_TRUE(OpenLink());
    for (std::string row : {OutRow("006400C8.REQ"), FileRow("mail.out")}) {
        std::vector<standin::ShownBox> viewers = ViewerOn(row);
        ASSERT_EQ(viewers.size(), 1u) << row;
        EXPECT_EQ(viewers[0].result, 1) << row;
        EXPECT_EQ(viewers[0].texts[0], row);
    }
}

} // namespace
