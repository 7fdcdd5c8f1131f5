// Help files: topics, markup and the layout of a topic in a window.
#include "help_file.h"
#include "text.h"

#include "core/language_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>

using namespace panelhost;

namespace {

std::string ReadSource(const std::string &relative) {
    std::ifstream in(std::string(BSOPANEL_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::u32string LineText(const HelpLine &line) {
    std::u32string text;
    for (const HelpSpan &span : line.spans) text += span.text;
    return text;
}

const char kSample[] = ".Language=English,English\r\n"
                       ".PluginContents=Sample\r\n"
                       "\r\n"
                       "@Contents\r\n"
                       "$ #Sample help#\r\n"
                       " The first paragraph goes on\r\n"
                       "in this line, with #bold# words and a ~link~@Other@.\r\n"
                       "\r\n"
                       "   F4   a list item\r\n"
                       "   F7   another\r\n"
                       " A ## sign and a ~~ tilde.\r\n"
                       "\r\n"
                       "@Other\r\n"
                       "$ #The other page#\r\n"
                       " Back to ~Contents~@Contents@.\r\n";

} // namespace

TEST(HelpFile, TopicsAndTheirTitles) {
    HelpFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(kSample, error)) << error;
    EXPECT_EQ(file.Language(), "English");
    EXPECT_EQ(file.Contents(), U"Sample");
    ASSERT_EQ(file.Topics().size(), 2u);
    const HelpTopic *other = file.Find("other"); // names ignore case
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->title, U"The other page");
    EXPECT_EQ(file.Find("Missing"), nullptr);
    EXPECT_FALSE(file.Parse("no topics here\n", error));
    EXPECT_NE(error.find("no topic"), std::string::npos);
}

TEST(HelpFile, ParagraphsFlowAndMarkupBecomesSpans) {
    HelpFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(kSample, error));
    std::vector<HelpLine> lines = LayOutTopic(*file.Find("Contents"), 200);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(LineText(lines[0]),
              U" The first paragraph goes on in this line, with bold words and a link.");
    EXPECT_EQ(LineText(lines[1]), U"");
    EXPECT_EQ(LineText(lines[2]), U"   F4   a list item");
    EXPECT_EQ(LineText(lines[3]), U"   F7   another");
    EXPECT_EQ(LineText(lines[4]), U" A # sign and a ~ tilde.");
    bool bold = false, link = false;
    for (const HelpSpan &span : lines[0].spans) {
        if (span.kind == HelpSpan::Highlight && span.text == U"bold") bold = true;
        if (span.kind == HelpSpan::Link && span.text == U"link" && span.target == "Other" &&
            span.link == 0)
            link = true;
    }
    EXPECT_TRUE(bold);
    EXPECT_TRUE(link);
    // Narrow: the paragraph wraps, the list item's continuation keeps its indent.
    lines = LayOutTopic(*file.Find("Contents"), 16);
    for (const HelpLine &line : lines)
        EXPECT_LE(TextWidth(LineText(line)), 16) << EncodeUtf8(LineText(line));
    EXPECT_EQ(LineText(lines[0]), U" The first");
}

// The plugin's own help files: every topic a dialog names is there, every link leads
// somewhere, and no layout width lets a line run out of the window.
TEST(HelpFile, ThePluginsHelpFilesHoldTogether) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    struct Case {
        const char *file;
        const char *language;
    } cases[] = {{"plugin/lang/bsopanel_eng.hlf", "English"},
                 {"plugin/lang/bsopanel_rus.hlf", "Russian"}};
    for (const Case &c : cases) {
        std::string bytes = ReadSource(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        std::string text =
            standin::ConvertFromCodePage(bytes, standin::LanguageCodePage(c.language));
        HelpFile file;
        std::string error;
        ASSERT_TRUE(file.Parse(text, error)) << c.file << ": " << error;
        EXPECT_EQ(file.Language(), c.language);
        for (const char *topic :
             {"Contents", "BSOCfg", "BSOPoll", "BSOFREQ", "BSOAttach", "BSOFlavor"})
            EXPECT_NE(file.Find(topic), nullptr) << c.file << " lacks " << topic;
        for (const HelpTopic &topic : file.Topics()) {
            EXPECT_FALSE(topic.title.empty()) << c.file << " @" << topic.name;
            for (int width : {20, 37, 76, 120}) {
                for (const HelpLine &line : LayOutTopic(topic, width)) {
                    EXPECT_LE(TextWidth(LineText(line)), width) << c.file << " @" << topic.name;
                    for (const HelpSpan &span : line.spans)
                        if (span.kind == HelpSpan::Link) {
                            EXPECT_NE(file.Find(span.target), nullptr)
                                << c.file << " @" << topic.name << " links to " << span.target;
                        }
                }
            }
        }
    }
}
