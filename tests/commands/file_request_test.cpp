// The file request (F4 and Shift+F4 at the root, Shift+F4 inside a link): the address offered,
// the request file edited in the host's editor under a title with the full address, and an
// empty request file removed afterwards.
#include "command_test.h"

#include "commands/file_request.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using standin::EditorRequest;
using standin::Expect;

class FileRequest : public CommandTest {
protected:
    FileRequest() {
        tree.Write("out/006400C8.CUT");                                        // 2:100/200.0
        tree.WriteFlowFile("out/00640001.FLO", {tree.WriteAttached("a.zip")}); // 2:100/1.0
    }
    Expect RequestDialog() { return Expect::Dialog("BSOFREQ").Title(Text(MsgRequestTitle)); }
    // Requests from the typed address; the editor writes the bytes (none: left unchanged).
    // Returns what the editor was asked to show.
    EditorRequest RequestFrom(const std::string &typed,
                              const std::optional<std::string> &written = std::nullopt,
                              unsigned controlState = 0, bool pollNow = true) {
        EditorRequest seen;
        front.Expect(RequestDialog()
                         .Selected(RequestPollNow, 1)
                         .Edit(RequestAddress, typed)
                         .SetCheck(RequestPollNow, pollNow)
                         .Press(RequestOk));
        front.ExpectEditor([&](const EditorRequest &request) {
            seen = request;
            // The file exists while it is edited.
            EXPECT_TRUE(std::filesystem::is_regular_file(request.nativePath)) << request.fileName;
            if (written) std::ofstream(request.nativePath, std::ios::binary) << *written;
        });
        EXPECT_TRUE(Press(VK_F4, controlState));
        EXPECT_EQ(front.Verify(), "");
        return seen;
    }
};

TEST_F(FileRequest, OffersTheLinkUnderTheCursorAtTheRoot) {
    ASSERT_TRUE(Open());
    for (const char *link : {"2:100/200.0", "2:100/1.0"}) {
        SCOPED_TRACE(link);
        ASSERT_TRUE(SetCurrent(link));
        front.Expect(RequestDialog().ItemText(RequestAddress, link).Esc());
        EXPECT_TRUE(Press(VK_F4));
        front.Expect(RequestDialog().ItemText(RequestAddress, link).Esc());
        EXPECT_TRUE(Press(VK_F4, PKF_SHIFT));
        EXPECT_EQ(front.Verify(), "");
    }
    // The ".." item names no link.
    ASSERT_TRUE(Panel().SetCurrent(0));
    front.Expect(RequestDialog().ItemText(RequestAddress, "").Esc());
    EXPECT_TRUE(Press(VK_F4));
    EXPECT_EQ(front.Verify(), "");
}

TEST_F(FileRequest, InsideALinkOffersTheLinkWhereverTheCursorIs) {
    ASSERT_TRUE(OpenLink("2:100/1.0"));
    for (int index = 0; index < Panel().Count(); ++index) {
        SCOPED_TRACE(Panel().Item(index).name);
        ASSERT_TRUE(Panel().SetCurrent(index));
        front.Expect(RequestDialog().ItemText(RequestAddress, "2:100/1.0").Esc());
        EXPECT_TRUE(Press(VK_F4, PKF_SHIFT));
        EXPECT_EQ(front.Verify(), "");
    }
}

TEST_F(FileRequest, DialogLayout) {
    ASSERT_TRUE(Open());
    const DWORD separator = DIF_SEPARATOR | DIF_BOXCOLOR;
    CheckLayout("BSOFREQ", 46, 9,
                {
                    {DI_DOUBLEBOX, 3, 1, 42, 7, 0, 0, 0, 0, Text(MsgRequestTitle)},
                    {DI_TEXT, 5, 2, 0, 0, 0, 0, 0, 0, Text(MsgRequestAddress)},
                    {DI_EDIT, 5, 3, 40, 0, 1, 0, DIF_HISTORY, 0, ""},
                    {DI_CHECKBOX, 5, 4, 40, 0, 0, 1, 0, 0, Text(MsgRequestPollNow)},
                    {DI_TEXT, 5, 5, 0, 0, 0, 0, separator, 0, ""},
                    {DI_BUTTON, 0, 6, 0, 0, 0, 0, DIF_CENTERGROUP, 1, Text(MsgOk)},
                    {DI_BUTTON, 0, 6, 0, 0, 0, 0, DIF_CENTERGROUP, 0, Text(MsgCancel)},
                },
                [&] { EXPECT_TRUE(Press(VK_F4)); });
}

// The editor gets the whole screen, a modal editor from the first line, and a title with the
// full address; what it leaves decides whether the request file stays.
TEST_F(FileRequest, EditsTheRequestFileOfTheAddress) {
    struct Case {
        const char *typed;
        const char *file;
        const char *titleAddress;
    } cases[] = {
        {"200", "out/139C00C8.REQ", "2:5020/200.0"},
        {"100/200", "out/006400C8.REQ", "2:100/200.0"},
        {"3:100/200.5", "out.003/006400C8.PNT/00000005.REQ", "3:100/200.5"},
        {".9", "out/139C03E8.PNT/00000009.REQ", "2:5020/1000.9"},
    };
    ASSERT_TRUE(Open());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        EditorRequest request = RequestFrom(c.typed, std::string("FILES\r\n"));
        EXPECT_EQ(request.title, Text(MsgRequestTitle) + ": " + c.titleAddress);
        EXPECT_EQ(request.fileName, tree.Win(MadeName(c.file)));
        EXPECT_EQ(request.x1, 0);
        EXPECT_EQ(request.y1, 0);
        EXPECT_EQ(request.x2, -1);
        EXPECT_EQ(request.y2, -1);
        EXPECT_EQ(request.flags, 0u);
        EXPECT_EQ(request.startLine, 1);
        EXPECT_EQ(request.startChar, 1);
        EXPECT_EQ(Bytes(c.file), "FILES\r\n");
    }
    // The update after the command shows the request mark.
    std::optional<standin::ShownItem> row = Row("3:100/200.5");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->columns[RequestColumn], "*");
}

// What the editor leaves decides whether the request file stays, and with "Poll now" whether a
// poll (of the PollFlavor setting's flavor, normal by default) goes with it: only when nothing
// of the link makes the mailer call already.
TEST_F(FileRequest, WhatTheEditorLeavesDecidesWhetherTheFileStays) {
    struct Case {
        const char *name;
        std::optional<std::string> before;  // the request file before; nullopt: none
        std::optional<std::string> written; // what the editor saves; nullopt: nothing
        std::optional<std::string> after;   // nullopt: removed
        const char *typed = "100/200";      // 2:100/200 has crash mail: the mailer calls
        const char *other = nullptr;        // another file of the link beforehand
        bool pollNow = true;
        const char *poll = nullptr; // the poll made; null: none
    } cases[] = {
        {"new, left empty", std::nullopt, std::nullopt, std::nullopt},
        {"new, a line end only", std::nullopt, std::string("\r\n"), std::string("\r\n")},
        {"new, one request", std::nullopt, std::string("*.LST"), std::string("*.LST")},
        {"old lines kept", std::string("FILES !pw\r\n"), std::nullopt,
         std::string("FILES !pw\r\n")},
        {"old empty one removed", std::string(""), std::nullopt, std::nullopt},
        {"emptied by the user", std::string("FILES\r\n"), std::string(""), std::nullopt},
        {"alone: polled", std::nullopt, std::string("FILES"), std::string("FILES"), "100/300",
         nullptr, true, "out/0064012C.FLO"},
        {"alone, the box off", std::nullopt, std::string("FILES"), std::string("FILES"), "100/300",
         nullptr, false},
        {"alone, left empty", std::nullopt, std::nullopt, std::nullopt, "100/300"},
        {"held mail only: polled", std::nullopt, std::string("FILES"), std::string("FILES"),
         "100/300", "out/0064012C.HUT", true, "out/0064012C.FLO"},
        {"held files only: polled", std::nullopt, std::string("FILES"), std::string("FILES"),
         "100/300", "out/0064012C.HLO", true, "out/0064012C.FLO"},
        {"direct files call", std::nullopt, std::string("FILES"), std::string("FILES"), "100/300",
         "out/0064012C.DLO"},
        {"a point alone: polled", std::nullopt, std::string("FILES"), std::string("FILES"),
         "100/300.1", "out/0064012C.FLO", true, "out/0064012C.PNT/00000001.FLO"},
    };
    ASSERT_TRUE(Open());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FtnAddress link;
        ParseAddress(&link, c.typed, nullptr);
        std::string request = link.point
                                  ? "out/0064012C.PNT/00000001.REQ"
                                  : (link.node == 200 ? "out/006400C8.REQ" : "out/0064012C.REQ");
        if (c.before) tree.Write(request, *c.before);
        if (c.other) tree.Write(c.other, "");
        std::vector<std::string> before = OutboundNames();
        RequestFrom(c.typed, c.written, 0, c.pollNow);
        EXPECT_EQ(Bytes(request), c.after.value_or("<missing>"));
        if (c.poll) {
            EXPECT_EQ(Bytes(c.poll), "");
        }
        // Nothing else is made (a point's folder aside), and the command's flag is gone.
        std::vector<std::string> after = OutboundNames(), made;
        for (const std::string &name : after)
            if (std::find(before.begin(), before.end(), name) == before.end() &&
                UpperCase(name) != UpperCase(request) && name.back() != '/')
                made.push_back(UpperCase(name));
        EXPECT_EQ(made, c.poll ? std::vector<std::string>{UpperCase(c.poll)}
                               : std::vector<std::string>{});
        for (const char *file : {request.c_str(), c.other, c.poll})
            if (file) tree.Remove(OnDisk(file).value_or("out/none"));
    }
}

TEST_F(FileRequest, AnInvalidAddressIsWarnedWithTheTypedText) {
    ASSERT_TRUE(Open());
    for (const char *typed : {"", "2:100", "2:100/200.x"}) {
        SCOPED_TRACE(typed);
        front.Expect(RequestDialog().Edit(RequestAddress, typed).Press(RequestOk));
        front.Expect(BadAddress(MsgRequestTitle, typed));
        front.Expect(RequestDialog().ItemText(RequestAddress, typed).Esc());
        EXPECT_TRUE(Press(VK_F4));
        EXPECT_EQ(front.Verify(), "");
    }
    EXPECT_EQ(OutboundNames(), (std::vector<std::string>{"out/00640001.FLO", "out/006400C8.CUT"}));
}

// Only the first button goes on; the other answers open no editor and touch no file.
TEST_F(FileRequest, ABusyLinkIsAskedAbout) {
    tree.Write("out.003/006400C8.BSY");
    ASSERT_TRUE(Open());
    for (int button : {1, -1}) {
        SCOPED_TRACE(button);
        front.Expect(RequestDialog().Edit(RequestAddress, "3:100/200").Press(RequestOk));
        front.Expect(BusyBox(MsgRequestTitle, "3:100/200.0", button));
        EXPECT_TRUE(Press(VK_F4));
        EXPECT_EQ(front.Verify(), "");
    }
    EXPECT_FALSE(Has("out.003/006400C8.REQ"));
    front.Expect(RequestDialog().Edit(RequestAddress, "3:100/200").Press(RequestOk));
    front.Expect(BusyBox(MsgRequestTitle, "3:100/200.0", 0));
    front.ExpectEditor([](const EditorRequest &request) {
        std::ofstream(request.nativePath, std::ios::binary) << "README\r\n";
    });
    EXPECT_TRUE(Press(VK_F4));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Bytes("out.003/006400C8.REQ"), "README\r\n");
}

} // namespace
