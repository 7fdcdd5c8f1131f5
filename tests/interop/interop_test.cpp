// A real binkd as the peer of the outbound the plugin writes. The plugin, driven through the
// stand-in host, polls, attaches (copy and move) and writes file requests for a node of the
// own zone, a point and a node of zone 10; binkd then sends what was queued to a second binkd
// on the loopback interface. On Linux binkd opens point and zone directories and busy flags in
// lower case only, so the point and the zone 10 node arriving is the proof of the plugin's
// lower-case names. While binkd holds a session the plugin shows the busy mark and asks before
// it writes; while the plugin holds a link's flag binkd neither calls that link nor answers it.
// ifcico, where installed, delivers the same kinds of queue and refuses a link so held.
#include "binkd_loop.h"

#include "outbound_fixture.h"

#include "commands/clear_queue.h"
#include "commands/file_attach.h"
#include "commands/file_request.h"
#include "commands/flavor_change.h"
#include "commands/link_state.h"
#include "commands/poll.h"
#include "scan/health_check.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using standin::EditorRequest;
using standin::Expect;
using standin::Side;

const char Password[] = "loopsecret";
const char OwnAddress[] = "2:5020/1000";

// A link of the test: its address, its row name at the root, and where binkd (and so the
// plugin on Linux) keeps its files, relative to the test's directory.
struct Link {
    std::string tag; // names the link's files
    std::string address;
    std::string row;
    std::string directory; // "out", "out/139c07d0.pnt", "out.00a"
    std::string base;      // file name without extension: "139c07d0", "0000000a", "006400c8"
    std::string Ftn() const { return address + "@fidonet"; }
};

const Link Node{"node", "2:5020/2000", "2:5020/2000.0", "out", "139c07d0"};
const Link Point{"point", "2:5020/2000.10", "2:5020/2000.10", "out/139c07d0.pnt", "0000000a"};
const Link Zone10{"zone10", "10:100/200", "10:100/200.0", "out.00a", "006400c8"};
const Link *const Links[] = {&Node, &Point, &Zone10};

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

class Interop : public OutboundPanelTest {
protected:
    Interop() {
        settings.address = OwnAddress;
        options.rightDirectory = tree.Win("files");
        for (const char *dir : {"a-in", "a-in-ns", "peer/outb", "peer/in", "peer/in-ns", "logs"})
            tree.MakeDir(dir);
    }

    std::string Native(const std::string &relative) const { return tree.Native(relative); }

    // Names in a directory below the test's, sorted; empty when it does not exist.
    std::vector<std::string> NamesIn(const std::string &relative) const {
        std::vector<std::string> names;
        std::error_code error;
        for (const fs::directory_entry &entry : fs::directory_iterator(Native(relative), error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Every busy or call flag below the outbound roots.
    std::vector<std::string> Flags() const {
        std::vector<std::string> flags;
        for (const fs::directory_entry &top : fs::directory_iterator(tree.dir.Native())) {
            if (top.path().filename().string().rfind("out", 0) != 0) continue;
            for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top.path())) {
                std::string name = entry.path().filename().string();
                std::string extension = name.size() > 4 ? name.substr(name.size() - 4) : "";
                for (char &c : extension) c = static_cast<char>(std::tolower(c));
                if (extension == ".bsy" || extension == ".csy")
                    flags.push_back(fs::relative(entry.path(), tree.dir.Native()).string());
            }
        }
        return flags;
    }

    std::string Log(const std::string &name) const { return ReadFile(Native("logs/" + name)); }

    // ---- The plugin, through the host ---------------------------------------------------

    void Poll(const Link &link) {
        front.Expect(Expect::Dialog("BSOPoll")
                         .Edit(PollAddress, link.address)
                         .Radio(PollFirstFlavor + 1) // crash
                         .Press(PollOk));
        EXPECT_TRUE(host->PressKey(VK_F7));
        EXPECT_EQ(front.Verify(), "") << link.address;
    }

    // Copies (or moves, so "^") the files from the right panel onto the plugin's.
    void Attach(const Link &link, const std::vector<std::string> &names, bool move) {
        host->SetActive(Side::Right);
        host->Right().SelectAll(false);
        for (const std::string &name : names) EXPECT_TRUE(host->Right().Select(name)) << name;
        front.Expect(Expect::Dialog("BSOAttach")
                         .Selected(AttachDeleteAfterSending, move ? 1 : 0)
                         .Edit(AttachAddress, link.address)
                         .Press(AttachOk));
        EXPECT_EQ(host->CopyToPluginPanel(move), 1);
        host->SetActive(Side::Left);
        EXPECT_EQ(front.Verify(), "") << link.address;
    }

    // F4 at the root; the editor runs `during` and then writes the text.
    void Request(const Link &link, const std::string &text,
                 const std::function<void(const EditorRequest &)> &during = nullptr,
                 bool pollNow = true) {
        Expect box = Expect::Dialog("BSOFREQ").Edit(RequestAddress, link.address);
        front.Expect(box.SetCheck(RequestPollNow, pollNow).Press(RequestOk));
        front.ExpectEditor([&](const EditorRequest &request) {
            if (during) during(request);
            std::ofstream(request.nativePath, std::ios::binary) << text;
        });
        EXPECT_TRUE(host->PressKey(VK_F4));
        EXPECT_EQ(front.Verify(), "") << link.address;
    }

    // Writes a file under "files" with bytes of its own and shows it in the right panel.
    std::string MakeFile(const std::string &name, size_t size) {
        std::string bytes =
            RandomBytes(size, static_cast<unsigned>(std::hash<std::string>()(name)));
        tree.Write("files/" + name, bytes);
        host->Right().Update();
        return bytes;
    }

    // In the link, on the row whose name ends so, the key, and the box it opens answered.
    void InLink(const Link &link, const std::string &ending, int key, unsigned state,
                const Expect &box) {
        SCOPED_TRACE(link.address);
        ASSERT_TRUE(Update());
        ASSERT_TRUE(Enter(link.row));
        std::string row;
        for (const std::string &name : RowNames()) {
            std::string lower = name;
            for (char &c : lower) c = static_cast<char>(std::tolower(c));
            if (lower.size() >= ending.size() &&
                lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0)
                row = name;
        }
        ASSERT_TRUE(Panel().SetCurrentByName(row)) << ::testing::PrintToString(RowNames());
        front.Expect(box);
        EXPECT_TRUE(host->PressKey(key, state));
        EXPECT_EQ(front.Verify(), "");
        ASSERT_TRUE(Enter(".."));
    }

    // ---- ifcico ------------------------------------------------------------------------

    // One side's ifcico configuration: its address, outbound and inbound; the peer's files
    // are what a request finds. Returns its path.
    std::string IfcicoConfig(const std::string &side, const std::string &address,
                             const std::string &outbound, const std::string &inbound) {
        std::string path = Native("logs/" + side + ".ifc"), logs = Native("logs/" + side);
        std::ofstream out(path);
        out << "logfile " << logs << ".iflog\ndebugfile " << logs << ".ifdebug\naddress " << address
            << "\noutbound " << Native(outbound) << "\npublic " << Native("peer/pub")
            << "\nnodelist " << logs << ".nl\ndatabase " << logs << ".db\nsequencer " << logs
            << ".seq\n";
        for (const char *key : {"inbound", "listinbound", "protinbound"})
            out << key << " " << Native(inbound) << "\n";
        return path;
    }

    // ifcico calls the node from our outbound; a listener hands the one connection to the
    // node's ifcico, as inetd would. The caller's exit status, -1 when it could not run.
    int IfcicoCall(const std::string &own, const std::string &peer) {
        int port = 0, listener = ListeningLoopbackSocket(&port);
        BinkdProcess answerer, caller;
        bool started =
            listener >= 0 && answerer.StartProgram({IfcicoProgram(), "-I", peer, "-r", "0"},
                                                   Native("logs/ifpeer.out"), listener);
        if (listener >= 0) close(listener);
        if (!started ||
            !caller.StartProgram({IfcicoProgram(), "-I", own, "-a",
                                  "127.0.0.1:" + std::to_string(port), "-r", "1", "f2000.n5020.z2"},
                                 Native("logs/ifown.out")))
            return -1;
        int code = caller.Wait(30s);
        if (code == 0) answerer.Wait(10s); // a refused call leaves it waiting: stopped instead
        return code;
    }

    // ---- binkd --------------------------------------------------------------------------

    // Our side: the plugin's outbound; calls the peer's addresses at peerPort.
    NodeConfig Own(const std::vector<const Link *> &peers, int peerPort, int listenPort = 0) {
        NodeConfig config;
        config.addresses = {std::string(OwnAddress) + "@fidonet"};
        config.outbound = Native("out");
        config.inbound = Native("a-in");
        config.inboundNonSecure = Native("a-in-ns");
        config.log = Native(listenPort ? "logs/own-server.log" : "logs/own.log");
        config.listenPort = listenPort;
        for (const Link *peer : peers)
            config.nodes.push_back(
                {peer->Ftn(), "127.0.0.1:" + std::to_string(peerPort), Password});
        return config;
    }

    // The peer: answers with the links' addresses; calls us at ownPort when given.
    NodeConfig Peer(const std::vector<const Link *> &akas, int listenPort, int ownPort = 0) {
        NodeConfig config;
        for (const Link *aka : akas) config.addresses.push_back(aka->Ftn());
        config.outbound = Native("peer/outb");
        config.inbound = Native("peer/in");
        config.inboundNonSecure = Native("peer/in-ns");
        config.log = Native(listenPort ? "logs/peer-server.log" : "logs/peer.log");
        config.listenPort = listenPort;
        config.nodes.push_back({std::string(OwnAddress) + "@fidonet",
                                ownPort ? "127.0.0.1:" + std::to_string(ownPort) : "-", Password});
        return config;
    }

    // Starts a server on its configuration and waits until it listens.
    bool StartServer(BinkdProcess &server, const NodeConfig &config, const std::string &name) {
        std::string path = Native("logs/" + name + ".cfg");
        if (!config.Write(path)) return false;
        if (!server.Start({"-s"}, path, Native("logs/" + name + ".out"))) return false;
        return WaitUntil(
                   [&] { return Contains(ReadFile(config.log), "listen on") || !server.Running(); },
                   10s) &&
               server.Running();
    }

    // Runs a caller ("-p") to its end.
    int Call(const NodeConfig &config, const std::string &name) {
        std::string path = Native("logs/" + name + ".cfg");
        if (!config.Write(path)) return -1;
        return RunBinkd({"-p"}, path, Native("logs/" + name + ".out"), 30s);
    }
};

// Everything queued through the plugin arrives byte for byte; what binkd leaves behind is
// what the plugin lists next.
TEST_F(Interop, PluginQueuesAndBinkdDelivers) {
    ASSERT_TRUE(Open());
    struct Sent {
        std::string name, bytes;
        bool move;
    };
    std::vector<Sent> sent;
    std::map<std::string, std::string> requests; // link tag: request text
    size_t size = 3000;
    for (const Link *link : Links) {
        SCOPED_TRACE(link->address);
        Poll(*link);
        std::string copied = link->tag + "-copy.bin", moved = link->tag + "-move.bin";
        sent.push_back({copied, MakeFile(copied, size += 7919), false});
        sent.push_back({moved, MakeFile(moved, size += 65536), true});
        Attach(*link, {copied}, false);
        Attach(*link, {moved}, true);
        requests[link->tag] = "FILES-" + link->tag + "\r\nNODELIST\r\n";
        Request(*link, requests[link->tag]);
    }
    // A line a tosser wrote in another case: binkd cannot open it until the health check
    // writes the file's own name into it.
    sent.push_back({"Case-Fixed.bin", MakeFile("Case-Fixed.bin", 5003), true});
    std::ofstream(Native("out.00a/006400c8.flo"), std::ios::app | std::ios::binary)
        << "^" << tree.Win("files/CASE-FIXED.BIN") << "\r\n";
    front.Expect(Expect::Dialog("BSOHealth").Radio(1).PressText("Fix"));
    front.Expect(Expect::Message(Text(MsgHealthTitle))
                     .Contains(Text(MsgHealthExactNames))
                     .PressText(Text(MsgOk)));
    front.Expect(Expect::Message(Text(MsgHealthTitle)).Contains(Text(MsgHealthClean)).Press(0));
    EXPECT_TRUE(host->PressKey(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");

    // A flavor change: zone 10's copied file goes from normal to crash before the call.
    InLink(Zone10, "/zone10-copy.bin", VK_F6, PKF_SHIFT,
           Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 1).Press(FlavorOk));
    EXPECT_EQ(tree.ReadLines("out.00a/006400c8.clo"),
              std::vector<std::string>{tree.Line("files/zone10-copy.bin")});

    // One file the peer refuses: its line stays, the sent ones before it get binkd's "~".
    std::string skipped = MakeFile("node-refused.skp", 1000);
    Attach(Node, {"node-refused.skp"}, false);

    // What the plugin wrote, where binkd looks for it.
    for (const Link *link : Links) {
        SCOPED_TRACE(link->address);
        EXPECT_TRUE(tree.Exists(link->directory + "/" + link->base + ".clo"));
        EXPECT_TRUE(tree.Exists(link->directory + "/" + link->base + ".flo"));
        EXPECT_TRUE(tree.Exists(link->directory + "/" + link->base + ".req"));
        ASSERT_TRUE(Update());
        std::optional<standin::ShownItem> row = Row(link->row);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->columns[RequestColumn], "*");
        EXPECT_EQ(row->columns[FlowColumn], ".C.F.");
    }

    int port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    BinkdProcess peer;
    ASSERT_TRUE(StartServer(
        peer,
        [&] {
            NodeConfig config = Peer({&Node, &Point, &Zone10}, port);
            config.extraLines.push_back("skip all 0 *.skp");
            return config;
        }(),
        "peer-server"));
    EXPECT_EQ(Call(Own({&Node, &Point, &Zone10}, port), "own"), 0) << Log("own.log");
    peer.Stop();

    // The peer's inbound: every file byte for byte, the refused one not at all, and the three
    // requests under names binkd chose.
    for (const Sent &file : sent) {
        SCOPED_TRACE(file.name);
        std::string arrived = ReadFile(Native("peer/in/" + file.name));
        EXPECT_TRUE(arrived == file.bytes)
            << arrived.size() << " bytes arrived of " << file.bytes.size() << "\n"
            << Log("own.log") << Log("peer-server.log");
        // "^": gone after sending; otherwise left as it was.
        if (file.move)
            EXPECT_FALSE(tree.Exists("files/" + file.name));
        else
            EXPECT_EQ(tree.Read("files/" + file.name), file.bytes);
    }
    EXPECT_FALSE(tree.Exists("peer/in/node-refused.skp"));
    EXPECT_EQ(tree.Read("files/node-refused.skp"), skipped);
    std::multiset<std::string> arrived, expected;
    for (const std::string &name : NamesIn("peer/in"))
        if (name.size() > 4 && name.substr(name.size() - 4) == ".req")
            arrived.insert(ReadFile(Native("peer/in/" + name)));
    for (const auto &[tag, text] : requests) expected.insert(text);
    EXPECT_EQ(arrived, expected);

    // Our outbound: polls, requests and the emptied flow files are gone, no flag is left,
    // and the node's flow file keeps the refused line behind the lines binkd marked done.
    EXPECT_EQ(NamesIn("out/139c07d0.pnt"), std::vector<std::string>{});
    EXPECT_EQ(NamesIn("out.00a"), std::vector<std::string>{});
    std::vector<std::string> left = NamesIn("out");
    left.erase(std::remove(left.begin(), left.end(), "139c07d0.pnt"), left.end());
    EXPECT_EQ(left, std::vector<std::string>{"139c07d0.flo"});
    EXPECT_EQ(Flags(), std::vector<std::string>{});
    std::vector<std::string> lines = tree.ReadLines("out/139c07d0.flo");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0][0], '~');
    EXPECT_EQ(lines[1][0], '~');
    EXPECT_EQ(lines[2], tree.Line("files/node-refused.skp"));

    // The plugin's next listing: one link, its refused file only ("~" lines name nothing).
    ASSERT_TRUE(Update());
    EXPECT_EQ(RowNames(), std::vector<std::string>{Node.row});
    std::optional<standin::ShownItem> row = Row(Node.row);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->columns[BusyColumn], "");
    EXPECT_EQ(row->columns[RequestColumn], "");
    EXPECT_EQ(row->columns[FlowColumn], "...F.");
    ASSERT_TRUE(Enter(Node.row));
    std::vector<std::string> names = RowNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].size() > 17 &&
                names[0].substr(names[0].size() - 17) == "/node-refused.skp")
        << names[0];
}

// binkd holds a session with all three links (a peer that presents their addresses and then
// stalls): the plugin marks them busy and every command asks before it writes. Going on writes
// without taking binkd's flag away; stopping writes nothing.
TEST_F(Interop, BusyWhileBinkdHoldsASession) {
    ASSERT_TRUE(Open());
    MakeFile("queued.bin", 100);
    Attach(Node, {"queued.bin"}, false); // something to call for

    StallingPeer stalling({Node.Ftn(), Point.Ftn(), Zone10.Ftn()});
    ASSERT_NE(stalling.Port(), 0);
    NodeConfig own = Own({&Node, &Point, &Zone10}, stalling.Port());
    ASSERT_TRUE(own.Write(Native("logs/own.cfg")));
    BinkdProcess caller;
    ASSERT_TRUE(caller.Start({"-p"}, Native("logs/own.cfg"), Native("logs/own.out")));
    const std::vector<std::string> binkdFlags = {"out/139c07d0.bsy", "out/139c07d0.csy",
                                                 "out/139c07d0.pnt/0000000a.bsy",
                                                 "out.00a/006400c8.bsy"};
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::all_of(binkdFlags.begin(), binkdFlags.end(),
                               [&](const std::string &flag) { return tree.Exists(flag); });
        },
        15s))
        << Log("own.log");

    ASSERT_TRUE(Update());
    for (const Link *link : Links) {
        std::optional<standin::ShownItem> row = Row(link->row);
        ASSERT_TRUE(row) << link->row;
        EXPECT_EQ(row->columns[BusyColumn], "*") << link->row;
    }

    // The box names the link as its row does; 0 goes on ("OK"), 1 stops ("Cancel", first).
    auto busyBox = [&](int title, const std::string &row, int button) {
        Expect box = Expect::Message()
                         .Warning()
                         .Title(Text(title))
                         .Contains(Text(MsgLinkBusy))
                         .Contains(row);
        if (button < 0) return box.Esc();
        return box.PressText(Text(button == 0 ? MsgOk : MsgCancel));
    };
    // Poll: stopped at the question, nothing written.
    for (const Link *link : Links) {
        std::vector<std::string> before = NamesIn(link->directory);
        front.Expect(Expect::Dialog("BSOPoll").Edit(PollAddress, link->address).Press(PollOk));
        front.Expect(busyBox(MsgPollTitle, link->row, 1));
        EXPECT_TRUE(host->PressKey(VK_F7));
        EXPECT_EQ(front.Verify(), "") << link->address;
        EXPECT_EQ(NamesIn(link->directory), before) << link->address;
    }
    // Attach to the point: going on writes the line without a lock of its own.
    MakeFile("late.bin", 10);
    host->SetActive(Side::Right);
    host->Right().SelectAll(false);
    EXPECT_TRUE(host->Right().Select("late.bin"));
    front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, Point.address).Press(AttachOk));
    front.Expect(busyBox(MsgWarning, Point.row, 0));
    EXPECT_EQ(host->CopyToPluginPanel(false), 1);
    host->SetActive(Side::Left);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(tree.ReadLines("out/139c07d0.pnt/0000000a.flo"),
              std::vector<std::string>{tree.Line("files/late.bin")});
    // File request for zone 10: Esc at the question, no request file.
    front.Expect(Expect::Dialog("BSOFREQ").Edit(RequestAddress, Zone10.address).Press(RequestOk));
    front.Expect(busyBox(MsgRequestTitle, Zone10.row, -1));
    EXPECT_TRUE(host->PressKey(VK_F4));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(tree.Exists("out.00a/006400c8.req"));
    // Removal inside the node: asked first whether to remove, then the busy question; stopped.
    std::string queued = tree.Read("out/139c07d0.flo");
    ASSERT_TRUE(Enter(Node.row));
    ASSERT_TRUE(Panel().SetCurrentByName(RowNames().at(0)));
    front.Expect(Expect::Message().Title(Text(MsgRemoveTitle)).Press(0));
    front.Expect(busyBox(MsgWarning, Node.row, 1));
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(tree.Read("out/139c07d0.flo"), queued);
    ASSERT_TRUE(Enter(".."));
    // binkd's flags are all still there: the plugin took none of them away.
    for (const std::string &flag : binkdFlags) EXPECT_TRUE(tree.Exists(flag)) << flag;

    stalling.Release();
    EXPECT_GE(caller.Wait(30s), 0) << Log("own.log");
    EXPECT_EQ(Flags(), std::vector<std::string>{});
    ASSERT_TRUE(Update());
    for (const standin::ShownItem &row : Rows()) EXPECT_EQ(row.columns[BusyColumn], "") << row.name;
}

// While the plugin holds a link's flag (here: the file request's editor is open), binkd does
// not call that link and drops a call from it; once the editor is left, both go through.
TEST_F(Interop, BinkdNeitherCallsNorAnswersWhileThePluginHoldsTheFlag) {
    ASSERT_TRUE(Open());
    for (const Link *link : Links) {
        SCOPED_TRACE(link->address);
        std::string name = link->tag + "-locked.bin";
        std::string bytes = MakeFile(name, 5000);
        Attach(*link, {name}, false);
        std::string incoming = link->tag + "-incoming.bin";
        std::string incomingBytes = RandomBytes(4000, 7);
        tree.Write("peer/files/" + incoming, incomingBytes);
        tree.Write("peer/outb/139c03e8.flo", Native("peer/files/" + incoming) + "\n");

        int peerPort = FreeLoopbackPort(), ownPort = FreeLoopbackPort();
        for (int tries = 0; ownPort == peerPort && tries < 10; ++tries)
            ownPort = FreeLoopbackPort();
        ASSERT_NE(peerPort, 0);
        ASSERT_NE(ownPort, 0);
        BinkdProcess peerServer, ownServer;
        ASSERT_TRUE(StartServer(peerServer, Peer({link}, peerPort), "peer-server"));
        ASSERT_TRUE(StartServer(ownServer, Own({link}, peerPort, ownPort), "own-server"));

        std::string flag = link->directory + "/" + link->base + ".bsy";
        Request(*link, "FILES\r\n", [&](const EditorRequest &) {
            // The plugin's flag, in the lower case binkd respects.
            EXPECT_TRUE(tree.Exists(flag)) << flag;
            EXPECT_EQ(Call(Own({link}, peerPort), "own"), 0);
            EXPECT_FALSE(tree.Exists("peer/in/" + name)) << "called while locked";
            EXPECT_TRUE(tree.Exists(link->directory + "/" + link->base + ".flo"));
            Call(Peer({link}, 0, ownPort), "peer");
            EXPECT_FALSE(tree.Exists("a-in/" + incoming)) << "answered while locked";
            EXPECT_TRUE(tree.Exists("peer/outb/139c03e8.flo"));
            EXPECT_TRUE(Contains(Log("own-server.log"), "busy")) << Log("own-server.log");
        });
        EXPECT_FALSE(tree.Exists(flag));

        // The lock is gone: the same calls go through.
        EXPECT_EQ(Call(Own({link}, peerPort), "own"), 0);
        EXPECT_TRUE(ReadFile(Native("peer/in/" + name)) == bytes) << Log("own.log");
        Call(Peer({link}, 0, ownPort), "peer");
        EXPECT_TRUE(ReadFile(Native("a-in/" + incoming)) == incomingBytes) << Log("own-server.log");
        peerServer.Stop();
        ownServer.Stop();
        EXPECT_EQ(Flags(), std::vector<std::string>{});
        for (const char *log : {"own.log", "own-server.log", "peer.log", "peer-server.log"})
            tree.Remove(std::string("logs/") + log);
    }
}

} // namespace

// What the plugin took back leaves nothing for binkd to call for: a file moved to Hold empties
// the normal flow file, which goes (left empty it would be a poll, and once in session binkd
// sends everything queued, the held file too); the last line removed leaves no flow file; a
// poll removed is gone. binkd then calls none of the three links, and the held file stays.
TEST_F(Interop, NothingTakenBackIsCalledFor) {
    ASSERT_TRUE(Open());
    std::string held = MakeFile("held.bin", 2000);
    MakeFile("dropped.bin", 3000);
    Attach(Node, {"held.bin"}, false);
    Attach(Point, {"dropped.bin"}, false);
    Poll(Zone10);
    ASSERT_TRUE(tree.Exists("out/139c07d0.flo"));
    ASSERT_TRUE(tree.Exists("out/139c07d0.pnt/0000000a.flo"));
    ASSERT_TRUE(tree.Exists("out.00a/006400c8.clo"));

    InLink(Node, "/held.bin", VK_F6, PKF_SHIFT,
           Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 4).Press(FlavorOk));
    InLink(Point, "/dropped.bin", VK_F7, 0, Expect::Message(Text(MsgRemoveTitle)).Press(0));
    InLink(Zone10, "006400c8.clo", VK_F7, 0, Expect::Message(Text(MsgRemoveTitle)).Press(0));

    EXPECT_EQ(NamesIn("out"), (std::vector<std::string>{"139c07d0.hlo", "139c07d0.pnt"}));
    EXPECT_EQ(NamesIn("out/139c07d0.pnt"), std::vector<std::string>{});
    EXPECT_EQ(NamesIn("out.00a"), std::vector<std::string>{});
    EXPECT_EQ(tree.ReadLines("out/139c07d0.hlo"),
              std::vector<std::string>{tree.Line("files/held.bin")});

    StallingPeer peer({Node.Ftn(), Point.Ftn(), Zone10.Ftn()});
    ASSERT_NE(peer.Port(), 0);
    EXPECT_EQ(Call(Own({&Node, &Point, &Zone10}, peer.Port()), "own"), 0) << Log("own.log");
    EXPECT_EQ(peer.Calls(), 0) << Log("own.log");
    peer.Release();
    EXPECT_EQ(tree.Read("files/held.bin"), held);
    EXPECT_EQ(tree.ReadLines("out/139c07d0.hlo"),
              std::vector<std::string>{tree.Line("files/held.bin")});
    EXPECT_EQ(Flags(), std::vector<std::string>{});
}

// binkd never calls for a request alone: with the box off it waits; "Poll now" sends it.
TEST_F(Interop, ARequestGoesOutWithItsPoll) {
    ASSERT_TRUE(Open());
    int port = FreeLoopbackPort();
    BinkdProcess peer;
    ASSERT_TRUE(StartServer(peer, Peer({&Zone10}, port), "peer-server"));
    for (bool pollNow : {false, true}) {
        Request(Zone10, "FILES\r\n", nullptr, pollNow);
        EXPECT_EQ(Call(Own({&Zone10}, port), "own"), 0) << Log("own.log");
        EXPECT_EQ(NamesIn("out.00a").size(), pollNow ? 0u : 1u) << Log("own.log");
    }
}

// A hold set with F5 (the hold file as binkd writes it) keeps binkd from calling the link and
// the panel says so; released with Shift+F5, binkd calls again and sends what waited.
TEST_F(Interop, BinkdHonoursAHoldAndItsRelease) {
    ASSERT_TRUE(Open());
    std::string bytes = MakeFile("held-link.bin", 4000);
    Attach(Node, {"held-link.bin"}, false);
    ASSERT_TRUE(Update());
    ASSERT_TRUE(Panel().SetCurrentByName(Node.row));
    front.Expect(Expect::Dialog("BSOHold").Edit(HoldTimeField, "60").Press(HoldOk));
    EXPECT_TRUE(host->PressKey(VK_F5));
    EXPECT_EQ(front.Verify(), "");
    ASSERT_TRUE(tree.Exists("out/139c07d0.hld"));

    int port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    BinkdProcess peer;
    ASSERT_TRUE(StartServer(peer, Peer({&Node}, port), "peer-server"));
    EXPECT_EQ(Call(Own({&Node}, port), "own"), 0) << Log("own.log");
    EXPECT_FALSE(tree.Exists("peer/in/held-link.bin")) << "called while held: " << Log("own.log");
    EXPECT_TRUE(tree.Exists("out/139c07d0.flo"));
    ASSERT_TRUE(Update());
    std::optional<standin::ShownItem> row = Row(Node.row);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->columns.at(7).rfind(Text(MsgStatusHeldFormat).substr(0, 9), 0), 0u)
        << row->columns.at(7);

    ASSERT_TRUE(Panel().SetCurrentByName(Node.row));
    front.Expect(Expect::Message(Text(MsgReleaseTitle)).PressText(Text(MsgOk)));
    EXPECT_TRUE(host->PressKey(VK_F5, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(tree.Exists("out/139c07d0.hld"));
    EXPECT_EQ(Call(Own({&Node}, port), "own"), 0) << Log("own.log");
    EXPECT_TRUE(ReadFile(Native("peer/in/held-link.bin")) == bytes) << Log("own.log");
    peer.Stop();
    EXPECT_EQ(Flags(), std::vector<std::string>{});
}

// A queue cleared through the plugin (F8 at the root, on every link at once) is an empty queue
// for binkd: it calls nobody, and the files on "^" lines are gone, those on plain lines kept.
TEST_F(Interop, BinkdSeesAnEmptyQueueAfterTheClear) {
    ASSERT_TRUE(Open());
    std::string kept = MakeFile("kept.bin", 2000);
    MakeFile("moved.bin", 3000);
    Attach(Node, {"kept.bin"}, false);
    Attach(Node, {"moved.bin"}, true);
    Attach(Point, {"kept.bin"}, false);
    Poll(Zone10);
    tree.Write("out/139c07d0.cut", "netmail packet");
    tree.Write("out/139c07d0.req", "FILES\r\n");
    ASSERT_TRUE(Update());
    for (const Link *link : Links) ASSERT_TRUE(Select(link->row)) << link->row;
    front.Expect(Expect::Dialog("BSOClear").Press(ClearOk));
    front.Expect(Expect::Dialog("BSOClear").PressText("Clear"));
    EXPECT_TRUE(host->PressKey(VK_F8));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(NamesIn("out"), std::vector<std::string>{"139c07d0.pnt"});
    EXPECT_EQ(NamesIn("out/139c07d0.pnt"), std::vector<std::string>{});
    EXPECT_EQ(NamesIn("out.00a"), std::vector<std::string>{});
    EXPECT_FALSE(tree.Exists("files/moved.bin"));

    StallingPeer peer({Node.Ftn(), Point.Ftn(), Zone10.Ftn()});
    ASSERT_NE(peer.Port(), 0);
    EXPECT_EQ(Call(Own({&Node, &Point, &Zone10}, peer.Port()), "own"), 0) << Log("own.log");
    EXPECT_EQ(peer.Calls(), 0) << Log("own.log");
    peer.Release();
    EXPECT_EQ(tree.Read("files/kept.bin"), kept);
    EXPECT_EQ(Flags(), std::vector<std::string>{});
}

// ifcico (Debian's mailer) calls the node from the plugin's outbound; the node is a second
// ifcico started on the connection as inetd would. Each row queues one thing through the
// plugin; one call delivers it byte for byte and leaves nothing queued but ifcico's status
// file. While the plugin holds the link's flag, ifcico refuses the call ("system ... locked").
TEST_F(Interop, IfcicoDeliversWhatThePluginQueued) {
    if (IfcicoProgram().empty())
        GTEST_SKIP() << "ifcico is not installed (Debian ifcico; scripts/setup installs it)";
    ASSERT_TRUE(Open());
    std::string own = IfcicoConfig("own", OwnAddress, "out", "a-in");
    std::string peer = IfcicoConfig("peer", Node.address, "peer/outb", "peer/in");
    tree.Write("peer/pub/wanted.txt", RandomBytes(3000, 11));
    auto attach = [&](const std::string &name) {
        MakeFile(name, 5000 + name.size());
        Attach(Node, {name}, false);
    };
    struct Row {
        std::string what;
        std::function<void()> queue;
        std::string sent, arrived; // empty: nothing to compare
    };
    const Row rows[] = {
        {"attach", [&] { attach("if-attach.bin"); }, "files/if-attach.bin",
         "peer/in/if-attach.bin"},
        {"poll", [&] { Poll(Node); }, "", ""},
        {"request", [&] { Request(Node, "wanted.txt\r\n"); }, "peer/pub/wanted.txt",
         "a-in/wanted.txt"},
        {"flavor change",
         [&] {
             attach("if-flavor.bin");
             InLink(Node, "/if-flavor.bin", VK_F6, PKF_SHIFT,
                    Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 1).Press(FlavorOk));
             EXPECT_EQ(NamesIn("out"), std::vector<std::string>{"139c07d0.clo"});
         },
         "files/if-flavor.bin", "peer/in/if-flavor.bin"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        row.queue();
        EXPECT_EQ(IfcicoCall(own, peer), 0) << Log("own.iflog");
        if (!row.sent.empty()) {
            EXPECT_TRUE(tree.Exists(row.arrived) && tree.Read(row.arrived) == tree.Read(row.sent))
                << Log("own.iflog") << Log("peer.iflog");
        }
        EXPECT_EQ(NamesIn("out"), std::vector<std::string>{"139c07d0.sts"});
        tree.Remove("out/139c07d0.sts");
    }

    attach("if-locked.bin");
    Request(Node, "wanted.txt\r\n", [&](const EditorRequest &) {
        EXPECT_NE(IfcicoCall(own, peer), 0);
        EXPECT_TRUE(Contains(Log("own.iflog"), "system f2000.n5020.z2 locked")) << Log("own.iflog");
        EXPECT_FALSE(tree.Exists("peer/in/if-locked.bin"));
        EXPECT_TRUE(tree.Exists("out/139c07d0.flo"));
    });
    EXPECT_EQ(IfcicoCall(own, peer), 0) << Log("own.iflog");
    EXPECT_EQ(tree.Read("peer/in/if-locked.bin"), tree.Read("files/if-locked.bin"));
    EXPECT_EQ(Flags(), std::vector<std::string>{});
}

namespace {

// crashmail (Debian's tosser) tosses netmail and echomail for a node, a point of the own node
// and a zone 3 node, naming its packets by native paths: the panel shows the links, flavors
// and bytes of crashlistout and the disk, and the health check finds nothing.
TEST_F(Interop, CrashmailTossesWhatThePanelShows) {
    if (access("/usr/bin/crashmail", X_OK) != 0) GTEST_SKIP() << "crashmail is not installed";
    tree.Write("logs/text.txt", "Hello\r\n");
    const std::string own = std::string(OwnAddress) + ".0", pkts = Native("logs");
    tree.Write(
        "logs/crashmail.prefs",
        "LOGFILE \"" + pkts + "/crashmail.log\"\nINBOUND \"" + pkts + "\"\nOUTBOUND \"" +
            Native("out") + "\"\nTEMPDIR \"" + pkts + "\"\nCREATEPKTDIR \"" + pkts +
            "\"\nPACKETDIR \"" + pkts + "\"\nSTATSFILE \"" + pkts + "/stats\"\nAKA " + own +
            "\nNODE 2:100/200.0 \"\" \"\"\nNODE 2:5020/1000.5 \"\" \"\"\n" +
            "NODE 3:633/410.0 \"\" \"\" PACKNETMAIL\nROUTE \"2:100/200.*\" \"2:100/200.0\" " + own +
            "\nROUTE \"3:*/*.*\" \"3:633/410.0\" " + own + "\nNETMAIL \"NETMAIL\" " + own +
            " MSG \"" + pkts + "/nm\"\nAREA \"BAD\" " + own + " MSG \"" + pkts +
            "/bad\"\nAREA \"TEST.ECHO\" " + own +
            "\nEXPORT 2:100/200.0 2:5020/1000.5 3:633/410.0\n");
    std::string write = "crashwrite DIR " + Native("a-in") + " FROMNAME Me FROMADDR " + own +
                        " SUBJECT test TEXT " + pkts + "/text.txt ";
    for (const std::string &command :
         {write + "TONAME You TOADDR 3:633/410", write + "TONAME You TOADDR 2:100/200",
          write + "AREA TEST.ECHO ORIGIN test",
          "crashmail SETTINGS " + pkts + "/crashmail.prefs TOSSDIR " + Native("a-in") +
              " NOSECURITY"})
        ASSERT_EQ(std::system((command + " >>" + pkts + "/cm.out 2>&1").c_str()), 0);
    // crashlistout: "Normal   2:100/200   <date> <time>   0M/1   006400c8.flo"; a flow file's
    // bytes are those of the files it names.
    std::map<std::string, std::string> kinds;
    std::map<std::string, uint64_t> bytes;
    for (const auto &[folder, zone] : {std::pair<std::string, int>{"out", 2}, {"out.003", 3}}) {
        std::system(
            ("crashlistout " + Native(folder) + " " + std::to_string(zone) + " >" + pkts + "/list")
                .c_str());
        std::istringstream lines(Log("list"));
        std::string line, type, node, date, time, size, file;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            if (line.rfind("Normal", 0) != 0 ||
                !(words >> type >> node >> date >> time >> size >> file))
                continue;
            std::string link = node.find('.') == std::string::npos ? node + ".0" : node;
            bool netmail = file.substr(file.size() - 3) == "out";
            kinds[link] += netmail ? "M" : "F";
            if (netmail) bytes[link] += fs::file_size(Native(folder + "/" + file));
            for (const std::string &named :
                 netmail ? std::vector<std::string>{} : tree.ReadLines(folder + "/" + file))
                bytes[link] += fs::file_size(named.substr(1));
        }
    }
    ASSERT_EQ(kinds.size(), 3u) << Log("cm.out");
    ASSERT_TRUE(Open());
    EXPECT_EQ(RowNames().size(), 3u);
    for (const auto &[link, kind] : kinds) {
        std::optional<standin::ShownItem> row = Row(link);
        ASSERT_TRUE(row) << link;
        EXPECT_EQ(row->columns[NetmailColumn], Contains(kind, "M") ? "...F." : ".....") << link;
        EXPECT_EQ(row->columns[FlowColumn], Contains(kind, "F") ? "...F." : ".....") << link;
        EXPECT_EQ(row->size, bytes[link]) << link;
    }
    FtnAddress address = {2, 5020, 1000, 0};
    HealthReport report = {};
    ASSERT_EQ(CheckOutboundHealth(tree.Root().c_str(), &address, 30, 0, &report), 1);
    for (int i = 0; i < report.Count; ++i) ADD_FAILURE() << report.Findings[i].Path;
    FreeHealthReport(&report);
}

} // namespace
