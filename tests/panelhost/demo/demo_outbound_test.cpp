// The demo outbounds: laid out as the mailer leaves them, and listed by the built plugin the
// way the generator says (through the stand-in host, natively and under Wine).
#include "demo_outbound.h"

#include "outbound_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

class DemoOutbound : public OutboundPanelTest {
protected:
    // Builds the demo in the tree's directory and points the settings at it.
    void Build() {
        std::string error;
        ASSERT_TRUE(bsodemo::BuildDemoOutbound(tree.Native("demo"), demo, error)) << error;
        settings.pathToOutbound = demo.outboundWin32;
        settings.address = demo.ownAddress;
    }
    bsodemo::DemoOutbound demo;
};

std::string FileName(const std::string &path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

TEST_F(DemoOutbound, ThePluginListsTheLinksTheGeneratorPromises) {
    Build();
    ASSERT_TRUE(Open());
    std::vector<std::string> names = RowNames();
    ASSERT_EQ(names.size(), demo.links.size());
    for (const bsodemo::DemoLink &link : demo.links) {
        SCOPED_TRACE(link.address);
        std::optional<standin::ShownItem> row = Row(link.address);
        ASSERT_TRUE(row);
        ASSERT_EQ(row->columns.size(), 10u);
        EXPECT_EQ(row->columns[BusyColumn], link.busy);
        EXPECT_EQ(row->columns[RequestColumn], link.request);
        EXPECT_EQ(row->columns[NetmailColumn], link.netmail);
        EXPECT_EQ(row->columns[FlowColumn], link.flow);
    }
    // Everything a newcomer should meet: zones, points, a busy link, a request, every flavor.
    std::set<unsigned> zones;
    std::string netmail = ".....", flow = ".....";
    int busy = 0, requests = 0, points = 0;
    for (const bsodemo::DemoLink &link : demo.links) {
        zones.insert(static_cast<unsigned>(std::stoul(link.address)));
        points += link.address.substr(link.address.find('.')) != ".0";
        busy += link.busy == "*";
        requests += link.request == "*";
        for (size_t i = 0; i < 5; ++i) {
            if (link.netmail[i] != '.') netmail[i] = link.netmail[i];
            if (link.flow[i] != '.') flow[i] = link.flow[i];
        }
    }
    EXPECT_EQ(zones, (std::set<unsigned>{1, 2, 3}));
    EXPECT_GE(points, 2);
    EXPECT_EQ(busy, 1);
    EXPECT_GE(requests, 1);
    EXPECT_EQ(netmail, "ICDFH");
    EXPECT_EQ(flow, "ICDFH");
}

TEST_F(DemoOutbound, ALinkListsTheFilesItsFlowFilesName) {
    Build();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Enter("2:5020/1.0"));
    std::set<std::string> files;
    for (const standin::ShownItem &row : Rows()) files.insert(Lower(FileName(row.name)));
    // The "~" line (sent already) is no row; the netmail packet is.
    EXPECT_EQ(files, (std::set<std::string>{"nodelist.z49", "newfiles.txt", "report.txt",
                                            "fido.jpg", "139c0001.cut"}));
}

TEST_F(DemoOutbound, OneLinkNamesAFileThatIsGone) {
    Build();
    ASSERT_TRUE(Open());
    ASSERT_EQ(demo.missingFiles, std::vector<std::string>{"missing.arj"});
    front.Expect(standin::Expect::Message()
                     .Warning()
                     .Check([](const standin::ShownBox &box) {
                         for (const std::string &line : box.texts)
                             if (FileName(line) == "missing.arj") return std::string();
                         return std::string("the question names no missing.arj");
                     })
                     .Press(1)); // keep the line
    ASSERT_TRUE(Enter("2:463/68.0"));
    EXPECT_EQ(front.Verify(), "");
    std::set<std::string> files;
    for (const standin::ShownItem &row : Rows()) files.insert(Lower(FileName(row.name)));
    EXPECT_EQ(files.count("points.lst"), 1u);
}

TEST_F(DemoOutbound, NamesAndLinesAreTheMailers) {
    Build();
    // Names in the case the platform's mailer makes them: lower case where binkd runs.
    int checked = 0;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(demo.outbound)) {
        std::string name = entry.path().filename().string();
        std::string expected = name;
        for (char &c : expected)
            c = static_cast<char>(
#ifdef _WIN32
                std::toupper(static_cast<unsigned char>(c))
#else
                std::tolower(static_cast<unsigned char>(c))
#endif
            );
        EXPECT_EQ(name, expected);
        ++checked;
    }
    EXPECT_GT(checked, 15);
    for (const char *zone : {".001", ".003"})
        EXPECT_TRUE(fs::is_directory(demo.outbound + zone)) << zone;
    // The crash flow file of 2:5020/1: every directive, CR LF after each line, real files.
    // The file system of Windows finds the upper-case names under this name too.
    std::string flow = tree.Read("demo/out/139c0001.clo");
    std::vector<std::string> lines;
    for (size_t start = 0; start < flow.size();) {
        size_t end = flow.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without CR LF";
        lines.push_back(flow.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0][0], '^');
    EXPECT_EQ(lines[1][0], '#');
    EXPECT_EQ(lines[2][0], '~');
    EXPECT_TRUE(tree.Exists("demo/files/" + FileName(lines[3])));
    EXPECT_FALSE(tree.Exists("demo/files/missing.arj"));
}

TEST_F(DemoOutbound, NetmailPacketsStartWithATypeTwoPlusHeader) {
    Build();
    std::string packet = tree.Read("demo/out/139c0001.cut");
    ASSERT_GT(packet.size(), 60u);
    auto word = [&](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(packet[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(packet[at + 1])) << 8;
    };
    EXPECT_EQ(word(0), 1000u);  // from our node
    EXPECT_EQ(word(2), 1u);     // to node 1
    EXPECT_EQ(word(18), 2u);    // packet type 2
    EXPECT_EQ(word(20), 5020u); // from net
    EXPECT_EQ(word(22), 5020u); // to net
    EXPECT_EQ(word(44), 1u);    // capability word: 2+
    EXPECT_EQ(word(40), 0x0100u);
    EXPECT_EQ(word(packet.size() - 2), 0u); // the packet's end
}

TEST_F(DemoOutbound, LargeOutboundsForBenchmarks) {
    bsodemo::LargeOutboundShape shape;
    shape.links = 300;
    shape.zones = 3;
    shape.pointEvery = 5;
    shape.filesPerLink = 2;
    shape.busyEvery = 50;
    std::string error;
    ASSERT_TRUE(bsodemo::BuildLargeOutbound(tree.Native("large"), shape, demo, error)) << error;
    settings.pathToOutbound = demo.outboundWin32;
    settings.address = demo.ownAddress;
    ASSERT_EQ(demo.links.size(), 300u);
    ASSERT_TRUE(Open());
    std::vector<standin::ShownItem> rows = Rows();
    ASSERT_EQ(rows.size(), 300u);
    int busy = 0;
    for (const bsodemo::DemoLink &link : demo.links) {
        std::optional<standin::ShownItem> row = Row(link.address);
        ASSERT_TRUE(row) << link.address;
        EXPECT_EQ(row->columns[FlowColumn], link.flow) << link.address;
        EXPECT_EQ(row->columns[NetmailColumn], link.netmail) << link.address;
        busy += row->columns[BusyColumn] == "*";
    }
    EXPECT_EQ(busy, 6);
    ASSERT_TRUE(Enter(demo.links.front().address));
    EXPECT_GE(Rows().size(), 2u);

    shape.zones = 0;
    EXPECT_FALSE(bsodemo::BuildLargeOutbound(tree.Native("bad"), shape, demo, error));
    EXPECT_NE(error.find("zones >= 1"), std::string::npos);
}
