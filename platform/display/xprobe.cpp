// Asks the X server named by a DISPLAY value whether it is there: a connection to its socket
// (local, or TCP port 6000 + the display number) and the protocol's connection setup, each
// within the deadline. Runs on a helper thread, so that a host name that takes long to look up
// cannot hold the caller either.
#include "display/xprobe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace ce::display {

namespace {

using Clock = std::chrono::steady_clock;

// What a step says when its time is up; the caller words it.
constexpr const char* kTimeUp = "time up";

// A DISPLAY value: [protocol/][host]:number[.screen].
struct DisplayName {
    bool local = false;
    std::string host;
    int number = 0;
};

std::optional<DisplayName> parse(const std::string& display) {
    size_t colon = display.rfind(':');
    if (colon == std::string::npos || (colon > 0 && display[colon - 1] == ':'))
        return std::nullopt;  // no number, or a DECnet name
    DisplayName d;
    std::string host = display.substr(0, colon), protocol;
    if (size_t slash = host.find('/'); slash != std::string::npos) {
        protocol = host.substr(0, slash);
        host = host.substr(slash + 1);
    }
    d.local = protocol == "unix" || protocol == "local" ||
              (protocol.empty() && (host.empty() || host == "unix"));
    d.host = host.empty() ? "localhost" : host;
    size_t i = colon + 1;
    if (i >= display.size() || display[i] < '0' || display[i] > '9')
        return std::nullopt;
    for (; i < display.size() && display[i] >= '0' && display[i] <= '9'; ++i) {
        d.number = d.number * 10 + (display[i] - '0');
        if (d.number > 65535 - 6000)
            return std::nullopt;
    }
    if (i < display.size() && display[i] != '.')
        return std::nullopt;
    return d;
}

int msLeft(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

// Waits for the socket to be ready for `events`; false when the time is up.
bool await(int fd, short events, Clock::time_point end) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, msLeft(end));
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

class Socket {
  public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(Socket&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Socket& operator=(Socket&& o) noexcept {
        std::swap(fd_, o.fd_);
        return *this;
    }
    int fd() const { return fd_; }

  private:
    int fd_;
};

// A connection made within the deadline; a socket of -1 and the reason when none is.
Socket connectWithin(int family, const sockaddr* a, socklen_t length, Clock::time_point end,
                     std::string& why) {
    Socket s(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (s.fd() < 0) {
        why = std::strerror(errno);
        return Socket();
    }
    if (::connect(s.fd(), a, length) == 0)
        return s;
    if (errno != EINPROGRESS) {
        why = errno == ENOENT || errno == ECONNREFUSED ? "no X server listens there"
                                                       : std::strerror(errno);
        return Socket();
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (!await(s.fd(), POLLOUT, end)) {
        why = kTimeUp;
        return Socket();
    }
    ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
        why = error == ECONNREFUSED ? "no X server listens there" : std::strerror(error);
        return Socket();
    }
    return s;
}

Socket connectLocal(int number, Clock::time_point end, std::string& why) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    // The abstract name first, as Xlib tries it, then the file.
    for (bool abstract : {true, false}) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        size_t at = abstract ? 1 : 0;
        std::memcpy(a.sun_path + at, path.data(), path.size());
        auto length = socklen_t(offsetof(sockaddr_un, sun_path) + at + path.size());
        if (Socket s = connectWithin(AF_UNIX, reinterpret_cast<sockaddr*>(&a), length, end, why);
            s.fd() >= 0)
            return s;
    }
    return Socket();
}

Socket connectTcp(const std::string& host, int number, Clock::time_point end, std::string& why) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0) {
        why = "no host " + host + " is known";
        return Socket();
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);
    for (addrinfo* a = found; a; a = a->ai_next)
        if (Socket s = connectWithin(a->ai_family, a->ai_addr, a->ai_addrlen, end, why);
            s.fd() >= 0)
            return s;
    return Socket();
}

// The X protocol's connection setup, little-endian, version 11.0, no authorisation; the first
// byte of any reply says failed, success or authenticate: every one is an answer.
std::string handshake(const Socket& s, Clock::time_point end) {
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (::send(s.fd(), setup, sizeof setup, MSG_NOSIGNAL) != ssize_t(sizeof setup))
        return "it does not take the connection";
    if (!await(s.fd(), POLLIN, end))
        return kTimeUp;
    unsigned char reply = 0;
    ssize_t got = ::recv(s.fd(), &reply, 1, 0);
    return got == 1 ? std::string() : std::string("it closed the connection without a reply");
}

std::string probe(const std::string& display, Clock::time_point end) {
    std::optional<DisplayName> d = parse(display);
    if (!d)
        return "it is no X display name";
    std::string why;
    Socket s =
        d->local ? connectLocal(d->number, end, why) : connectTcp(d->host, d->number, end, why);
    if (s.fd() < 0)
        return why;
    return handshake(s, end);
}

}  // namespace

std::string probeXServer(const std::string& display, std::chrono::milliseconds deadline) {
    const std::string late =
        "it does not answer within " + std::to_string(deadline.count()) + " ms";
    const Clock::time_point end = Clock::now() + deadline;
    auto answer = std::make_shared<std::promise<std::string>>();
    std::future<std::string> outcome = answer->get_future();
    std::thread([answer, display, end] { answer->set_value(probe(display, end)); }).detach();
    // The helper keeps to the deadline itself, except in a host name lookup.
    if (outcome.wait_until(end + std::chrono::milliseconds(50)) != std::future_status::ready)
        return late;
    std::string why = outcome.get();
    return why == kTimeUp ? late : why;
}

}  // namespace ce::display
