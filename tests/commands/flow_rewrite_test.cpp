// What F6 and F7 take out of a flow file, on trees the listing meets in real outbounds: pattern
// lines, names that differ only in case, duplicates, trailing blanks, NUL bytes, the last line;
// and that no other line and no poll of the link is touched.
#include "command_test.h"

#include "commands/flavor_change.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <utility>

namespace {

using standin::Expect;
using standin::ShownBox;

using Lines = std::vector<std::string>;
// Lines of one flow file of the link by its suffix ("FLO"); nullopt: the file must not exist.
using FlowFiles = std::vector<std::pair<std::string, std::optional<Lines>>>;

const std::string Nul("\0", 1);

struct TreeCase {
    const char *name;
    Lines flo;          // out/006400C8.FLO; "@" stands for the files directory
    Lines files;        // made under files/
    std::string row;    // the file whose row the command works on
    int flavor;         // 0: F7; 2 to 5: F6 to that flavor
    int patternAnswer;  // the pattern line question's button; -1: no question
    FlowFiles expected; // afterwards
};

const std::vector<TreeCase> &Cases(){
    static const std::vector<TreeCase> cases = {
        {"a literal line leaves the pattern line alone",
         {"^@\\a*.zip", "^@\\b.zip"},
         {"a.zip", "b.zip"},
         "b.zip",
         2,
         -1,
         {{"FLO", Lines{"^@\\a*.zip"}}, {"CLO", Lines{"^@\\b.zip"}}}},
        {"a row of a pattern line: declined, nothing moves",
         {"^@\\a*.zip", "^@\\b.zip"},
         {"a.zip", "b.zip"},
         "a.zip",
         2,
         1,
         {{"FLO", Lines{"^@\\a*.zip", "^@\\b.zip"}}, {"CLO", std::nullopt}}},
        {"a row of a pattern line: the whole line moves",
         {"^@\\a*.zip", "^@\\b.zip"},
         {"a.zip", "b.zip"},
         "a.zip",
         2,
         0,
         {{"FLO", Lines{"^@\\b.zip"}}, {"CLO", Lines{"^@\\a*.zip"}}}},
        {"a row of a pattern line: the whole line goes",
         {"^@\\a*.zip", "^@\\b.zip"},
         {"a.zip", "b.zip"},
         "a.zip",
         0,
         0,
         {{"FLO", Lines{"^@\\b.zip"}}}},
        {"q?.zip is no line of qa.zip",
         {"@\\q?.zip", "@\\qa.zip"},
         {"qa.zip"},
         "qa.zip",
         0,
         -1,
         {{"FLO", Lines{"@\\q?.zip"}}}},
        {"brackets are plain characters",
         {"@\\[ab].zip", "@\\a.zip"},
         {"[ab].zip", "a.zip"},
         "a.zip",
         5,
         -1,
         {{"FLO", Lines{"@\\[ab].zip"}}, {"HLO", Lines{"@\\a.zip"}}}},
        {"every line of the file moves, duplicates too",
         {"^@\\a.zip", "@\\b.zip", "#@\\a.zip"},
         {"a.zip", "b.zip"},
         "a.zip",
         5,
         -1,
         {{"FLO", Lines{"@\\b.zip"}}, {"HLO", Lines{"^@\\a.zip", "#@\\a.zip"}}}},
        {"a trailing blank is kept",
         {"^@\\trail.zip ", "^@\\a.zip", "~@\\done.zip  "},
         {"trail.zip", "a.zip"},
         "a.zip",
         2,
         -1,
         {{"FLO", Lines{"^@\\trail.zip ", "~@\\done.zip  "}}, {"CLO", Lines{"^@\\a.zip"}}}},
        {"names that differ in case",
         {"@\\README.txt", "@\\readme.txt", "@\\a.zip"},
         {"README.txt", "readme.txt", "a.zip"},
         "README.txt",
         0,
         -1,
#ifdef _WIN32
         {{"FLO", Lines{"@\\a.zip"}}}},
#else
         {{"FLO", Lines{"@\\readme.txt", "@\\a.zip"}}}},
#endif
        {"a line with a NUL byte is copied whole",
         {"@\\a.zip" + Nul + "junk", "@\\b.zip"},
         {"a.zip", "b.zip"},
         "b.zip",
         3,
         -1,
         {{"FLO", Lines{"@\\a.zip" + Nul + "junk"}}, {"DLO", Lines{"@\\b.zip"}}}},
        {"a line with a NUL byte moves whole",
         {"@\\a.zip" + Nul + "junk", "@\\b.zip"},
         {"a.zip", "b.zip"},
         "a.zip",
         3,
         -1,
         {{"FLO", Lines{"@\\b.zip"}}, {"DLO", Lines{"@\\a.zip" + Nul + "junk"}}}},
        {"the last line moved: the flow file goes",
         {"^@\\a.zip", "~@\\old.zip", "~"},
         {"a.zip"},
         "a.zip",
         5,
         -1,
         {{"FLO", std::nullopt}, {"HLO", Lines{"^@\\a.zip"}}}},
        {"the last line removed: the flow file goes",
         {"~@\\old.zip", "^@\\a.zip"},
         {"a.zip"},
         "a.zip",
         0,
         -1,
         {{"FLO", std::nullopt}}},
    };
return cases;
} // namespace

class FlowRewrite : public CommandTest, public ::testing::WithParamInterface<TreeCase> {
protected:
    static std::string Lower(std::string text) {
        for (char &c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return text;
    }
    std::string Expand(const std::string &line) const {
        std::string expanded;
        for (char c : line) expanded += c == '@' ? tree.Win("files") : std::string(1, c);
        return expanded;
    }
    Lines Expand(const Lines &lines) const {
        Lines expanded;
        for (const std::string &line : lines) expanded.push_back(Expand(line));
        return expanded;
    }
    Expect PatternQuestion(const std::string &line, int button) {
        return Expect::Message()
            .Warning()
            .Check([this, line](const ShownBox &box) -> std::string {
                Lines expected = {Text(MsgPatternLineSendsOthers), ShownPath(line),
                                  Text(MsgPatternLineWhole)};
                if (box.title != Text(MsgWarning) || box.texts != expected)
                    return "not the pattern line question";
                return "";
            })
            .Press(button);
    }
};

TEST_P(FlowRewrite, TakesOutExactlyTheLinesOfTheRow) {
    const TreeCase &c = GetParam();
    // Bytes by the name in lower case: on Windows README.txt and readme.txt are one file.
    for (const std::string &file : c.files) tree.WriteAttached(file, "bytes of " + Lower(file));
    tree.WriteFlowFile("out/006400C8.FLO", Expand(c.flo));
    tree.Write("out/006400C8.ILO", ""); // a poll the sysop made
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow(c.row)));
    if (c.flavor == 0)
        front.Expect(Expect::Message(Text(MsgRemoveTitle)).Press(0));
    else
        front.Expect(
            Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + c.flavor - 1).Press(FlavorOk));
    if (c.patternAnswer >= 0) front.Expect(PatternQuestion(Expand(c.flo[0]), c.patternAnswer));
    EXPECT_TRUE(Press(c.flavor == 0 ? VK_F7 : VK_F6, c.flavor == 0 ? 0 : PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    for (const auto &[suffix, lines] : c.expected)
        EXPECT_EQ(Bytes("out/006400C8." + suffix), lines ? CrLf(Expand(*lines)) : "<missing>")
            << suffix;
    EXPECT_EQ(Bytes("out/006400C8.ILO"), "");
    for (const std::string &file : c.files)
        EXPECT_EQ(tree.Read("files/" + file), "bytes of " + Lower(file)) << file;
    // Nothing else is left in the outbound: no temporary file.
    for (const std::string &name : OutboundNames())
        EXPECT_EQ(name.find(".TMP"), std::string::npos) << name;
}

INSTANTIATE_TEST_SUITE_P(Trees, FlowRewrite, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TreeCase> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p; ++p)
                                 name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

class FlowRewriteLinks : public CommandTest {};

#ifndef _WIN32
// A link planted under the temporary file's name redirects nothing: the file it points to
// stays as it was and the flow file stays a file of its own.
TEST_F(FlowRewriteLinks, ALinkUnderTheTemporaryNameIsLeftAlone) {
    namespace fs = std::filesystem;
    std::string a = tree.WriteAttached("a.zip"), b = tree.WriteAttached("b.zip");
    tree.Write("secret.txt", "not the outbound's");
    tree.WriteFlowFile("out/006400C8.FLO", {a, b});
    fs::create_symlink(tree.Native("secret.txt"), tree.Native("out/006400C8.TMP"));
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    front.Expect(Expect::Message(Text(MsgRemoveTitle)).Press(0));
    EXPECT_TRUE(Press(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(tree.Read("secret.txt"), "not the outbound's");
    EXPECT_FALSE(fs::is_symlink(tree.Native("out/006400C8.FLO")));
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({b}));
    EXPECT_TRUE(fs::is_symlink(tree.Native("out/006400C8.TMP")));
}
#endif

} // namespace
