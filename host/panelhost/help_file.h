// A plugin's help file: ".Language=", ".PluginContents=", then topics, each "@Name", a title
// line "$ #Title#" and text in which "#...#" is highlighted and "~text~@Topic@" links to
// another topic ("##" and "~~" stand for the characters themselves). A line that begins with a
// blank starts a paragraph, a line that does not goes on with the one before; paragraphs are
// wrapped to the width of the window.
#ifndef BSOPANEL_PANELHOST_HELP_FILE_H
#define BSOPANEL_PANELHOST_HELP_FILE_H

#include <string>
#include <vector>

namespace panelhost {

struct HelpTopic {
    std::string name;
    std::u32string title;
    std::vector<std::u32string> lines; // the text lines, markup kept
};

struct HelpSpan {
    enum Kind { Plain, Highlight, Link };
    Kind kind = Plain;
    std::u32string text;
    std::string target; // Link: the topic it leads to
    int link = -1;      // Link: its number within the topic, in order
};

struct HelpLine {
    std::vector<HelpSpan> spans;
};

class HelpFile {
public:
    // Parses the text of a help file (already UTF-8). False with `error` when it has no
    // topic at all.
    bool Parse(const std::string &utf8, std::string &error);
    const HelpTopic *Find(const std::string &name) const; // by name, ignoring case
    const std::string &Language() const { return language_; }
    const std::u32string &Contents() const { return contents_; }
    const std::vector<HelpTopic> &Topics() const { return topics_; }

private:
    std::string language_;
    std::u32string contents_;
    std::vector<HelpTopic> topics_;
};

// The topic's text laid out in lines of at most `width` columns.
std::vector<HelpLine> LayOutTopic(const HelpTopic &topic, int width);

// The text of a title or any marked-up text without its markup.
std::u32string PlainHelpText(const std::u32string &marked);

} // namespace panelhost

#endif
