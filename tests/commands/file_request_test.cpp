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
        Expect box = RequestDialog().Edit(RequestAddress, typed);
        front.Expect(box.SetCheck(RequestPollNow, pollNow).Press(RequestOk));
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

TEST_F(FileRequest, WhatTheEditorLeavesDecidesWhetherTheFileStays) {
    struct Case {
        const char *name;
        std::optional<std::string> before;  // the request file before; nullopt: none
        std::optional<std::string> written; // what the editor saves; nullopt: nothing
        std::optional<std::string> after;   // nullopt: removed
        const char *queue = ".CUT";         // the link's other file
        bool pollNow = true, polled = false;
    } cases[] = {
        {"new, left empty", std::nullopt, std::nullopt, std::nullopt},
        {"new, a line end only", std::nullopt, std::string("\r\n"), std::string("\r\n")},
        {"new, one request", std::nullopt, std::string("*.LST"), std::string("*.LST")},
        {"old lines kept", std::string("FILES !pw\r\n"), std::nullopt,
         std::string("FILES !pw\r\n")},
        {"old empty one removed", std::string(""), std::nullopt, std::nullopt},
        {"emptied by the user", std::string("FILES\r\n"), std::string(""), std::nullopt},
        {"alone: polled", std::nullopt, "F", "F", "", true, true},
        {"alone, the box off", std::nullopt, "F", "F", "", false},
        {"alone, left empty", std::nullopt, std::nullopt, std::nullopt, ""},
        {"held mail only: polled", std::nullopt, "F", "F", ".HUT", true, true},
    };
    ASSERT_TRUE(Open());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const char *other : {".CUT", ".HUT", ".DLO", ".FLO"})
            tree.Remove(OnDisk(std::string("out/006400C8") + other).value_or("out/none"));
        if (*c.queue) tree.Write(std::string("out/006400C8") + c.queue);
        if (c.before) tree.Write("out/006400C8.REQ", *c.before);
        RequestFrom("100/200", c.written, 0, c.pollNow);
        EXPECT_EQ(Bytes("out/006400C8.REQ"), c.after.value_or("<missing>"));
        EXPECT_EQ(Has("out/006400C8.FLO"), c.polled);
        tree.Remove(OnDisk("out/006400C8.REQ").value_or("out/none"));
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
