// binkd as the real peer of the outbound the plugin writes, on the loopback interface only.
//
// BinkdProcess starts one binkd in a session (and so a process group) of its own and stops it
// by that id: TERM first, KILL for whatever is left, always bounded in time; it starts ifcico
// the same way, on a connection it takes as inetd would. FreeLoopbackPort asks the system for
// a port nobody listens on. StallingPeer answers a call far enough for the caller to write its
// busy flags (it presents its addresses) and then says nothing more until it is released, so a
// test can look at the outbound while binkd holds a session.
//
// NodeConfig writes a binkd configuration for one node, with no ftrans: the plugin's flow lines
// name files by their native paths, which binkd opens as they are.
#ifndef BSOPANEL_TESTS_INTEROP_BINKD_LOOP_H
#define BSOPANEL_TESTS_INTEROP_BINKD_LOOP_H

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

// The binkd program the suite runs; the ifcico program, empty when it is not installed.
std::string BinkdProgram();
std::string IfcicoProgram();

// A TCP port on 127.0.0.1 that was free a moment ago; 0 when none could be had.
int FreeLoopbackPort();
// A socket listening on 127.0.0.1 at a free port (put in *port), or -1.
int ListeningLoopbackSocket(int *port);

class BinkdProcess {
public:
    BinkdProcess() = default;
    ~BinkdProcess() { Stop(); }
    BinkdProcess(const BinkdProcess &) = delete;
    BinkdProcess &operator=(const BinkdProcess &) = delete;

    // Starts binkd with the options and the configuration file; its output goes to outputPath.
    bool Start(const std::vector<std::string> &options, const std::string &configPath,
               const std::string &outputPath);
    // Starts a program with its arguments. With a listener, as inetd does: the process takes
    // one connection on it and runs the program with that connection as stdin and stdout.
    bool StartProgram(std::vector<std::string> arguments, const std::string &outputPath,
                      int listener = -1);
    // Waits for the process to end, at most limit. Its exit status, or -1 when it was still
    // running (it is then stopped) or could not be waited for.
    int Wait(std::chrono::milliseconds limit);
    bool Running();
    // Stops the process and every process of its group; returns at once when none runs.
    void Stop();
    pid_t Id() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = true;
};

// Runs binkd to its end ("-p": call what is queued, then quit), at most limit; the exit status
// or -1 when it had to be stopped.
int RunBinkd(const std::vector<std::string> &options, const std::string &configPath,
             const std::string &outputPath, std::chrono::milliseconds limit);

// Waits until the condition holds, at most limit, looking every 20 ms.
template <typename Condition> bool WaitUntil(Condition condition, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A binkp answerer that stalls: to every caller it sends its system name and its addresses,
// then reads and ignores what comes until Release(), when it closes the connections.
class StallingPeer {
public:
    explicit StallingPeer(const std::vector<std::string> &addresses);
    ~StallingPeer();
    StallingPeer(const StallingPeer &) = delete;
    StallingPeer &operator=(const StallingPeer &) = delete;

    int Port() const { return port_; } // 0 when it could not listen
    int Calls() const { return calls_; }
    void Release();

private:
    void Serve();
    std::vector<std::string> addresses_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> released_{false};
    std::atomic<int> calls_{0};
    std::thread thread_;
};

// The keywords of one node's configuration that the tests vary; the rest is fixed.
struct NodeConfig {
    std::vector<std::string> addresses;    // "2:5020/1000@fidonet" ...; the first is the main one
    std::string outbound;                  // native path of the default zone's outbound
    int defaultZone = 2;                   // the zone whose outbound has no suffix
    std::string inbound, inboundNonSecure; // native paths
    std::string log;
    int listenPort = 0; // 0: no listening (a caller only)
    struct Node {
        std::string address;
        std::string host; // "127.0.0.1:port", or "-" for a node that only calls in
        std::string password;
    };
    std::vector<Node> nodes;
    std::vector<std::string> extraLines; // appended as they are ("skip all 0 *.skp")

    // Writes the configuration file; false when it cannot be written.
    bool Write(const std::string &path) const;
};

#endif
