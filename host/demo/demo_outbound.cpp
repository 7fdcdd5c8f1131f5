// Builds demo outbounds with the standard library only, so that every build (Linux, and the
// Windows tests under Wine) can use it.
#include "demo_outbound.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

namespace bsodemo {

namespace fs = std::filesystem;

namespace {

const char kFlavorLetters[] = "ICDFH";

struct Address {
    unsigned zone, net, node, point;
};

// The layout's names in the case the platform's mailer uses.
std::string MailerCase(std::string name) {
#ifdef _WIN32
    for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
#else
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return name;
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string FormatAddress(const Address &a) {
    return std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" + std::to_string(a.node) +
           "." + std::to_string(a.point);
}

// Writes the file whole; parents are made first. Records the first failure in `error`.
class Writer {
public:
    explicit Writer(std::string &error) : error_(error) {}

    bool Write(const fs::path &path, const std::string &bytes, int hoursAgo = -1) {
        if (!error_.empty()) return false;
        std::error_code code;
        fs::create_directories(path.parent_path(), code);
        if (code)
            return Fail("cannot make the directory " + path.parent_path().string() + ": " +
                        code.message());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return Fail("cannot write " + path.string());
        if (hoursAgo >= 0) {
            // Distinct times make the panel's date column and its sort by time worth a look.
            auto when = fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo);
            fs::last_write_time(path, when, code); // a file system without times keeps now
        }
        return true;
    }
    bool MakeDirectory(const fs::path &path) {
        if (!error_.empty()) return false;
        std::error_code code;
        fs::create_directories(path, code);
        if (code) return Fail("cannot make the directory " + path.string() + ": " + code.message());
        return true;
    }
    bool Fail(const std::string &what) {
        if (error_.empty()) error_ = what;
        return false;
    }
    bool Ok() const { return error_.empty(); }

private:
    std::string &error_;
};

void Put16(std::string &out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// A type-2+ packet from own to the link with one netmail message, the way a tosser leaves it.
std::string NetmailPacket(const Address &from, const Address &to, const std::string &subject,
                          const std::string &text) {
    std::string packet;
    Put16(packet, from.node);
    Put16(packet, to.node);
    Put16(packet, 2024); // year
    Put16(packet, 4);    // month, from 0
    Put16(packet, 12);   // day
    Put16(packet, 10);   // hour
    Put16(packet, 30);   // minute
    Put16(packet, 0);    // second
    Put16(packet, 0);    // baud
    Put16(packet, 2);    // packet type
    Put16(packet, from.net);
    Put16(packet, to.net);
    packet += static_cast<char>(0xFE); // product code, low byte
    packet += static_cast<char>(0);    // serial number
    packet.append(8, '\0');            // no password
    Put16(packet, from.zone);
    Put16(packet, to.zone);
    Put16(packet, 0);               // auxiliary net
    Put16(packet, 0x0100);          // capability word, byte-swapped copy
    packet += static_cast<char>(0); // product code, high byte
    packet += static_cast<char>(0); // revision
    Put16(packet, 0x0001);          // capability word: type 2+
    Put16(packet, from.zone);
    Put16(packet, to.zone);
    Put16(packet, from.point);
    Put16(packet, to.point);
    packet.append(4, '\0'); // product data
    // The packed message.
    Put16(packet, 2);
    Put16(packet, from.node);
    Put16(packet, to.node);
    Put16(packet, from.net);
    Put16(packet, to.net);
    Put16(packet, 0x0101); // private, local
    Put16(packet, 0);      // cost
    std::string when = "12 May 24  10:30:00";
    packet += when;
    packet += '\0';
    packet += "Sysop";
    packet += '\0';
    packet += "Demo Sysop";
    packet += '\0';
    packet += subject;
    packet += '\0';
    std::string body = "\x01INTL " + std::to_string(to.zone) + ":" + std::to_string(to.net) + "/" +
                       std::to_string(to.node) + " " + std::to_string(from.zone) + ":" +
                       std::to_string(from.net) + "/" + std::to_string(from.node) + "\r";
    if (to.point) body += "\x01TOPT " + std::to_string(to.point) + "\r";
    if (from.point)
        body += "\x01"
                "FMPT " +
                std::to_string(from.point) + "\r";
    body += text + "\r";
    packet += body;
    packet += '\0';
    Put16(packet, 0); // end of the packet
    return packet;
}

std::string FlowLines(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += line + "\r\n";
    return text;
}

// Where the address's files lie: the zone's directory, then the node's or the point's name.
fs::path LinkBase(const fs::path &outbound, unsigned ownZone, const Address &a) {
    fs::path directory = outbound;
    if (a.zone != ownZone)
        directory = outbound.parent_path() /
                    (outbound.filename().string() + MailerCase("." + Hex(a.zone, 3)));
    std::string node = MailerCase(Hex(a.net, 4) + Hex(a.node, 4));
    if (a.point == 0) return directory / node;
    return directory / (node + MailerCase(".PNT")) / MailerCase(Hex(a.point, 8));
}

fs::path WithSuffix(const fs::path &base, const std::string &suffix) {
    return fs::path(base.string() + MailerCase(suffix));
}

bool SortLinks(const DemoLink &a, const DemoLink &b) {
    auto key = [](const std::string &text) {
        unsigned zone = 0, net = 0, node = 0, point = 0;
        std::sscanf(text.c_str(), "%u:%u/%u.%u", &zone, &net, &node, &point);
        return std::make_tuple(zone, net, node, point);
    };
    return key(a.address) < key(b.address);
}

void Mark(std::string &flavors, char letter) {
    const char *at = std::strchr(kFlavorLetters, letter);
    if (at) flavors[static_cast<size_t>(at - kFlavorLetters)] = letter;
}

bool PrepareDirectory(const std::string &directory, DemoOutbound &demo, Writer &writer) {
    std::error_code code;
    fs::path root = fs::absolute(fs::path(directory), code);
    if (code) return writer.Fail("cannot resolve " + directory + ": " + code.message());
    if (!writer.MakeDirectory(root)) return false;
    root = fs::canonical(root, code);
    if (code) return writer.Fail("cannot resolve " + directory + ": " + code.message());
    demo = DemoOutbound();
    demo.directory = root.string();
    demo.outbound = (root / "out").string();
    demo.outboundWin32 = Win32Form(demo.outbound);
    demo.files = (root / "files").string();
    demo.ownAddress = "2:5020/1000";
    return writer.MakeDirectory(demo.outbound) && writer.MakeDirectory(demo.files);
}

} // namespace

std::string Win32Form(const std::string &nativePath) {
    std::string text = nativePath;
    for (char &c : text)
        if (c == '/') c = '\\';
#ifdef _WIN32
    return text;
#else
    return "Z:" + text;
#endif
}

bool BuildDemoOutbound(const std::string &directory, DemoOutbound &demo, std::string &error) {
    error.clear();
    Writer writer(error);
    if (!PrepareDirectory(directory, demo, writer)) return false;
    const fs::path outbound = demo.outbound, files = demo.files;
    const Address own = {2, 5020, 1000, 0};

    // The files that flow files name: small, real, of different sizes and ages.
    struct Attached {
        const char *name;
        int size;
        int hoursAgo;
    };
    const Attached attached[] = {
        {"nodelist.z49", 2310, 30}, {"newfiles.txt", 845, 20}, {"sent.lzh", 1200, 50},
        {"report.txt", 512, 5},     {"fido.jpg", 4096, 70},    {"points.lst", 377, 12},
        {"welcome.txt", 128, 2},    {"fileecho.tic", 260, 8},
    };
    for (const Attached &file : attached) {
        std::string bytes = std::string("bsopanel demo file ") + file.name + "\r\n";
        while (static_cast<int>(bytes.size()) < file.size)
            bytes += "The quick brown fox jumps over the lazy dog.\r\n";
        bytes.resize(static_cast<size_t>(file.size));
        writer.Write(files / file.name, bytes, file.hoursAgo);
    }
    // Lines as the plugin writes them: native paths (the generated backlogs below keep the
    // Windows form, which is read as well).
    auto path = [&](const char *name) {
#ifdef _WIN32
        return Win32Form((files / name).string());
#else
        return (files / name).string();
#endif
    };
    demo.missingFiles.push_back("missing.arj");

    struct Link {
        Address address;
        // Outbound files: suffix and contents.
        std::vector<std::pair<std::string, std::string>> items;
        int hoursAgo;
    };
    auto packet = [&](const Address &to, const char *subject) {
        return NetmailPacket(own, to, subject, "Hello from the bsopanel demo.");
    };
    std::vector<Link> links;
    {
        Address a = {2, 5020, 1, 0};
        links.push_back(
            {a,
             {{".CUT", packet(a, "Crash netmail")},
              {".CLO", FlowLines({"^" + path("nodelist.z49"), "#" + path("newfiles.txt"),
                                  "~" + path("sent.lzh"), path("report.txt")})},
              {".FLO", FlowLines({path("fido.jpg")})}},
             6});
    }
    {
        Address a = {2, 5020, 2, 0};
        links.push_back({a,
                         {{".HUT", packet(a, "Held netmail")},
                          {".HLO", FlowLines({path("points.lst")})},
                          {".REQ", "NODELIST\r\nFILES\r\n"}},
                         9});
    }
    {
        // binkd is talking to this link right now: its busy flag is set.
        Address a = {2, 5020, 3, 0};
        links.push_back(
            {a, {{".BSY", "12345\r\n"}, {".FLO", FlowLines({"^" + path("welcome.txt")})}}, 1});
    }
    {
        Address a = {2, 5020, 4, 0};
        links.push_back({a,
                         {{".IUT", packet(a, "Immediate netmail")},
                          {".ILO", FlowLines({path("fileecho.tic"), "^" + path("report.txt")})}},
                         3});
    }
    {
        // A poll: an empty flow file, as "binkd -P" makes it.
        Address a = {2, 5020, 5, 0};
        links.push_back({a, {{".DUT", packet(a, "Direct netmail")}, {".DLO", ""}}, 15});
    }
    {
        // One line names a file that is gone: entering the link offers to drop it.
        Address a = {2, 463, 68, 0};
        links.push_back({a,
                         {{".OUT", packet(a, "Normal netmail")},
                          {".FLO", FlowLines({path("points.lst"), path("missing.arj")})}},
                         25});
    }
    {
        Address a = {2, 5020, 1000, 1}; // our own point
        links.push_back({a,
                         {{".OUT", packet(a, "To my point")},
                          {".HLO", FlowLines({"#" + path("newfiles.txt")})}},
                         4});
    }
    {
        Address a = {2, 5020, 1, 5};
        links.push_back({a, {{".CLO", FlowLines({"^" + path("fido.jpg")})}}, 11});
    }
    {
        Address a = {1, 396, 45, 0};
        links.push_back(
            {a,
             {{".CUT", packet(a, "Across the zones")}, {".FLO", FlowLines({path("nodelist.z49")})}},
             40});
    }
    {
        Address a = {3, 633, 410, 0};
        links.push_back(
            {a, {{".HLO", FlowLines({path("report.txt")})}, {".REQ", "ALLFILES\r\n"}}, 18});
    }
    {
        Address a = {3, 633, 410, 2};
        links.push_back({a, {{".ILO", FlowLines({"^" + path("fileecho.tic")})}}, 7});
    }

    for (const Link &link : links) {
        fs::path base = LinkBase(outbound, own.zone, link.address);
        DemoLink row{FormatAddress(link.address), "", "", ".....", "....."};
        for (const auto &item : link.items) {
            const std::string &suffix = item.first;
            writer.Write(WithSuffix(base, suffix), item.second, link.hoursAgo);
            std::string kind = suffix.substr(2);
            char letter = suffix[1];
            if (suffix == ".BSY")
                row.busy = "*";
            else if (suffix == ".REQ")
                row.request = "*";
            else if (kind == "UT")
                Mark(row.netmail, letter == 'O' ? 'F' : letter);
            else if (kind == "LO")
                Mark(row.flow, letter);
        }
        demo.links.push_back(row);
    }
    std::sort(demo.links.begin(), demo.links.end(), SortLinks);

    // A nodelist of last week and this week's, which the panel takes, and a point list.
    const fs::path lists = fs::path(demo.directory) / "nodelist";
    writer.MakeDirectory(lists);
    const std::string header = ";A FidoNet Nodelist for the demo\r\n;\r\n";
    const std::string zone1 =
        "Zone,1,North_America,Canada,Zone_Coordinator,-Unpublished-,300,CM\r\n"
        "Host,396,Eastern_Net,Ottawa_ON,Net_Coordinator,-Unpublished-,300,CM\r\n"
        ",45,Maple_Leaf_BBS,Ottawa_ON,Jean_Tremblay,-Unpublished-,300,CM,IBN\r\n";
    const std::string zone2 = "Zone,2,Europe,Europe,Zone_Coordinator,-Unpublished-,300,CM\r\n"
                              "Region,46,Ukraine,Kyiv,Region_Coordinator,-Unpublished-,300,CM\r\n"
                              "Host,463,Kyiv_Net,Kyiv,Net_Coordinator,-Unpublished-,300,CM\r\n";
    const std::string net5020 =
        "Region,50,Russia,Moscow,Region_Coordinator,-Unpublished-,300,CM\r\n"
        "Host,5020,Moscow_Net,Moscow,Net_Coordinator,-Unpublished-,300,CM,IBN\r\n"
        "Hub,1,Moscow_Hub,Moscow,Ivan_Petrov,-Unpublished-,300,CM,IBN\r\n"
        "Pvt,2,Quiet_Corner,Moscow,Olga_Ivanova,-Unpublished-,300,IBN\r\n"
        "Hold,3,Summer_House,Tver,Sergey_Smirnov,-Unpublished-,300,IBN\r\n"
        ",4,Red_Square_BBS,Moscow,Anna_Kuznetsova,7-495-555-0104,33600,CM,IBN\r\n"
        ",5,Sparrow_Hills,Moscow,Dmitry_Sokolov,-Unpublished-,300,IBN\r\n"
        ",1000,Demo_Station,Moscow,Demo_Sysop,-Unpublished-,300,CM,IBN\r\n";
    writer.Write(lists / "nodelist.331",
                 header + zone1 + zone2 +
                     ",68,Dnipro_Station,Dnipro,Taras_Bondar,-Unpublished-,300,CM\r\n" + net5020,
                 24 * 7);
    writer.Write(lists / "nodelist.338",
                 header + zone1 + zone2 +
                     "Down,68,Dnipro_Station,Dnipro,Taras_Bondar,-Unpublished-,300,CM\r\n" +
                     net5020 + "\x1a");
    writer.Write(lists / "pointlst.338", "Boss,2:5020/1\r\n"
                                         ",5,Hub_Point,Moscow,Pavel_Orlov,-Unpublished-,300\r\n"
                                         "Boss,2:5020/1000\r\n"
                                         ",1,Demo_Point,Moscow,Demo_Sysop,-Unpublished-,300\r\n");
    demo.nodelistWin32 = Win32Form((lists / "nodelist").string());
    demo.pointlistWin32 = Win32Form((lists / "pointlst").string());
    return writer.Ok();
}

bool BuildLargeOutbound(const std::string &directory, const LargeOutboundShape &shape,
                        DemoOutbound &demo, std::string &error) {
    error.clear();
    Writer writer(error);
    if (shape.links < 0 || shape.zones < 1 || shape.filesPerLink < 0 || shape.pointEvery < 0 ||
        shape.busyEvery < 0)
        return writer.Fail("a large outbound needs links >= 0, zones >= 1 and no negative counts");
    if (!PrepareDirectory(directory, demo, writer)) return false;
    const fs::path outbound = demo.outbound, files = demo.files;
    const Address own = {2, 5020, 1000, 0};

    std::vector<std::string> named;
    for (int f = 0; f < shape.filesPerLink; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.dat", f);
        writer.Write(files / name, std::string(static_cast<size_t>(100 + f % 900), 'x'));
        named.push_back(Win32Form((files / name).string()));
    }
    const char prefixes[][2] = {"", "^", "#"};
    const char netmailLetters[] = "ICDOH";
    std::vector<int> perZone(static_cast<size_t>(shape.zones), 0);
    for (int i = 0; i < shape.links && writer.Ok(); ++i) {
        int zoneIndex = i % shape.zones;
        // The own zone 2 first, then 1, 3, 4 ...
        unsigned zone = zoneIndex == 0   ? 2u
                        : zoneIndex == 1 ? 1u
                                         : static_cast<unsigned>(zoneIndex + 1);
        int k = perZone[static_cast<size_t>(zoneIndex)]++;
        Address a = {zone, 100u + static_cast<unsigned>(k / 500),
                     1u + static_cast<unsigned>(k % 500), 0};
        if (shape.pointEvery > 0 && i % shape.pointEvery == shape.pointEvery - 1) a.point = 1;
        fs::path base = LinkBase(outbound, own.zone, a);
        DemoLink row{FormatAddress(a), "", "", ".....", "....."};
        char flow = kFlavorLetters[i % 5];
        std::vector<std::string> lines;
        for (int f = 0; f < shape.filesPerLink; ++f)
            lines.push_back(prefixes[(i + f) % 3] + named[static_cast<size_t>(f)]);
        writer.Write(WithSuffix(base, std::string(".") + flow + "LO"), FlowLines(lines), i % 100);
        Mark(row.flow, flow);
        if (i % 2 == 0) {
            char letter = netmailLetters[(i / 2) % 5];
            writer.Write(WithSuffix(base, std::string(".") + letter + "UT"),
                         NetmailPacket(own, a, "Benchmark", "Large outbound."), i % 100);
            Mark(row.netmail, letter == 'O' ? 'F' : letter);
        }
        if (shape.busyEvery > 0 && i % shape.busyEvery == 0) {
            writer.Write(WithSuffix(base, ".BSY"), "1\r\n");
            row.busy = "*";
        }
        demo.links.push_back(row);
    }
    std::sort(demo.links.begin(), demo.links.end(), SortLinks);
    return writer.Ok();
}

} // namespace bsodemo
