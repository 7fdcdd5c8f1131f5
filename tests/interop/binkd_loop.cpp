#include "binkd_loop.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

std::string BinkdProgram() {
    return BINKD_PROGRAM;
}

std::string IfcicoProgram() {
    return IFCICO_PROGRAM;
}

namespace {

// A socket bound to 127.0.0.1 (port 0: any free one), or -1.
int BoundLoopbackSocket(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int PortOf(int fd) {
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool GroupAlive(pid_t group) {
    return kill(-group, 0) == 0 || errno == EPERM;
}

} // namespace

int FreeLoopbackPort() {
    int fd = BoundLoopbackSocket(0);
    if (fd < 0) return 0;
    int port = PortOf(fd);
    close(fd);
    return port;
}

int ListeningLoopbackSocket(int *port) {
    int fd = BoundLoopbackSocket(0);
    if (fd >= 0 && listen(fd, 4) != 0) {
        close(fd);
        fd = -1;
    }
    *port = fd < 0 ? 0 : PortOf(fd);
    return fd;
}

// ---- BinkdProcess ---------------------------------------------------------------------------

bool BinkdProcess::Start(const std::vector<std::string> &options, const std::string &configPath,
                         const std::string &outputPath) {
    std::vector<std::string> arguments{BinkdProgram()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(configPath);
    return StartProgram(arguments, outputPath);
}

bool BinkdProcess::StartProgram(std::vector<std::string> arguments, const std::string &outputPath,
                                int listener) {
    Stop();
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // A session of its own, so that the whole group can be stopped by this id.
        setsid();
        int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int input = open("/dev/null", O_RDONLY);
        if (output >= 0) {
            dup2(output, 1);
            dup2(output, 2);
        }
        if (listener >= 0) {
            input = accept(listener, nullptr, nullptr);
            if (input < 0) _exit(126);
            dup2(input, 1);
        }
        if (input >= 0) dup2(input, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    pid_ = pid;
    reaped_ = false;
    return true;
}

bool BinkdProcess::Running() {
    if (pid_ < 0 || reaped_) return false;
    int status;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno == ECHILD)) {
        reaped_ = true;
        return false;
    }
    return true;
}

int BinkdProcess::Wait(std::chrono::milliseconds limit) {
    if (pid_ < 0) return -1;
    auto end = std::chrono::steady_clock::now() + limit;
    while (!reaped_) {
        int status;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            Stop(); // any session child it left behind
            return code;
        }
        if (done < 0) break;
        if (std::chrono::steady_clock::now() >= end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return -1;
}

void BinkdProcess::Stop() {
    if (pid_ < 0) return;
    pid_t group = pid_;
    if (!reaped_) kill(pid_, SIGTERM);
    if (GroupAlive(group)) kill(-group, SIGTERM);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        if (!reaped_ && waitpid(pid_, nullptr, WNOHANG) != 0) reaped_ = true;
        if (reaped_ && !GroupAlive(group)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (GroupAlive(group)) kill(-group, SIGKILL);
    if (!reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
    }
    pid_ = -1;
}

int RunBinkd(const std::vector<std::string> &options, const std::string &configPath,
             const std::string &outputPath, std::chrono::milliseconds limit) {
    BinkdProcess process;
    if (!process.Start(options, configPath, outputPath)) return -1;
    return process.Wait(limit);
}

// ---- StallingPeer ---------------------------------------------------------------------------

StallingPeer::StallingPeer(const std::vector<std::string> &addresses) : addresses_(addresses) {
    listener_ = BoundLoopbackSocket(0);
    if (listener_ < 0) return;
    if (listen(listener_, 4) != 0) {
        close(listener_);
        listener_ = -1;
        return;
    }
    port_ = PortOf(listener_);
    thread_ = std::thread([this] { Serve(); });
}

StallingPeer::~StallingPeer() {
    Release();
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
}

void StallingPeer::Release() {
    released_ = true;
}

namespace {

// One binkp command frame: the length with the command bit, the command, its text.
void SendCommand(int fd, unsigned char command, const std::string &text) {
    std::string frame;
    size_t length = text.size() + 1;
    frame += static_cast<char>(0x80 | ((length >> 8) & 0x7F));
    frame += static_cast<char>(length & 0xFF);
    frame += static_cast<char>(command);
    frame += text;
    size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t put = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) return;
        sent += static_cast<size_t>(put);
    }
}

} // namespace

void StallingPeer::Serve() {
    const unsigned char commandNul = 0, commandAddress = 1;
    std::vector<int> connections;
    while (!released_) {
        std::vector<pollfd> watched{{listener_, POLLIN, 0}};
        for (int fd : connections) watched.push_back({fd, POLLIN, 0});
        if (poll(watched.data(), watched.size(), 50) <= 0) continue;
        if (watched[0].revents & POLLIN) {
            int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                ++calls_;
                SendCommand(fd, commandNul, "SYS stalling peer");
                std::string joined;
                for (const std::string &address : addresses_)
                    joined += (joined.empty() ? "" : " ") + address;
                SendCommand(fd, commandAddress, joined);
                connections.push_back(fd);
            }
        }
        for (size_t i = 1; i < watched.size(); ++i) {
            if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char ignored[4096];
            if (recv(watched[i].fd, ignored, sizeof ignored, 0) <= 0) {
                close(watched[i].fd);
                connections.erase(connections.begin() + static_cast<long>(i - 1));
                break; // the indexes moved; poll again
            }
        }
    }
    for (int fd : connections) close(fd);
}

// ---- NodeConfig -----------------------------------------------------------------------------

bool NodeConfig::Write(const std::string &path) const {
    std::ofstream out(path);
    out << "domain fidonet " << outbound << " " << defaultZone << "\n";
    out << "address";
    for (const std::string &address : addresses) out << " " << address;
    out << "\n";
    out << "sysname \"bsopanel interop\"\nsysop \"test\"\nlocation \"loopback\"\n";
    out << "nodeinfo 115200,TCP,BINKP\n";
    out << "log " << log << "\nloglevel 8\nconlog 0\n";
    out << "inbound " << inbound << "\ninbound-nonsecure " << inboundNonSecure << "\n";
    // Prompt quitting of "-p", short waits, no long hold after a failed or skipping call.
    out << "rescan-delay 1\ncall-delay 1\ntimeout 20\nconnect-timeout 5\n";
    out << "hold 0\nhold-skipped 0\n";
    // One call at a time: parallel calls to the addresses of one peer would find each other's
    // busy flags and all give up.
    out << "maxclients 1\n";
    if (listenPort != 0) out << "listen 127.0.0.1:" << listenPort << "\n";
    for (const Node &node : nodes)
        out << "node " << node.address << " " << node.host << " " << node.password << "\n";
    for (const std::string &line : extraLines) out << line << "\n";
    out.close();
    return static_cast<bool>(out);
}
