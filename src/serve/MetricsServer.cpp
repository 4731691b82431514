// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/MetricsServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "serve/ConnectionGate.h"
#include "serve/Exposition.h"

namespace quarnel::serve {
namespace {

constexpr int kIoTimeoutMs = 2000;  // one read or write of a request being served
constexpr size_t kWorkers = 4;      // they only ever serve complete request heads
constexpr size_t kMaxBodyBytes = 1024;
constexpr int kMaxRequestsPerConnection = 1000;

constexpr const char* kIndexPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>QUARNEL exporter</title></head>\n"
    "<body><h1>QUARNEL exporter</h1>\n<p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

bool waitFor(int socket, short events) {
    pollfd p{socket, events, 0};
    int n;
    do n = ::poll(&p, 1, kIoTimeoutMs);
    while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
}

void addressOf(int socket, bool peer, std::string& ip, int& port) {
    sockaddr_storage at{};
    socklen_t size = sizeof at;
    const int rc = peer ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&at), &size)
                        : ::getsockname(socket, reinterpret_cast<sockaddr*>(&at), &size);
    char text[INET6_ADDRSTRLEN] = "";
    port = 0;
    if (rc == 0 && at.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&at);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (rc == 0 && at.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&at);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

// A connection being served: reads and writes wait at most kIoTimeoutMs each.
// Bytes are read in blocks; what follows a request stays here for the next.
class SocketStream final : public httplib::Stream {
  public:
    explicit SocketStream(int socket) : socket_(socket) {}

    bool is_readable() const override { return pending() || waitFor(socket_, POLLIN); }
    bool is_writable() const override { return waitFor(socket_, POLLOUT); }
    ssize_t read(char* ptr, size_t size) override {
        if (!pending()) {
            if (!waitFor(socket_, POLLIN)) return -1;
            ssize_t n;
            do n = ::recv(socket_, buffer_, sizeof buffer_, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0) return n;
            begin_ = 0;
            end_ = static_cast<size_t>(n);
        }
        const size_t count = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, count);
        begin_ += count;
        return static_cast<ssize_t>(count);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!waitFor(socket_, POLLOUT)) return -1;
        ssize_t n;
        do n = ::send(socket_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(socket_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(socket_, false, ip, port);
    }
    socket_t socket() const override { return socket_; }
    bool pending() const { return begin_ < end_; }

  private:
    int socket_;
    char buffer_[4096];
    size_t begin_ = 0, end_ = 0;
};

// The library accepts and parses; its thread per connection is replaced by
// the gate, which hands over only connections whose request head is in.
class GatedServer final : public httplib::Server {
  public:
    void setGate(ConnectionGate* gate) { gate_ = gate; }

    // Serves requests while they are already buffered, then the connection
    // waits at the gate again (or is closed, after the last one it may serve).
    void serve(int socket, int served) {
        SocketStream stream(socket);
        for (;;) {
            bool closed = false;
            const bool last = ++served >= kMaxRequestsPerConnection;
            const bool ok = process_request(stream, last, closed, [](httplib::Request&) {});
            if (!ok || closed || last) break;
            if (!stream.pending()) {
                gate_->admit(socket, served);
                return;
            }
        }
        ::close(socket);
    }

  private:
    bool process_and_close_socket(socket_t socket) override {
        // The library writes the head and the body apart: without this a kept-alive
        // client's delayed ACK holds every answer back by 40 ms.
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        gate_->admit(socket);
        return true;
    }

    ConnectionGate* gate_ = nullptr;
};

const char* reason(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        default:
            return "Error";
    }
}

// Blocks SIGINT and SIGTERM in the threads started while it lives, so the
// signals wake the poller's sleep rather than a server thread.
class SignalsBlocked {
  public:
    SignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

  private:
    sigset_t saved_;
};

}  // namespace

struct MetricsServer::Impl {
    GatedServer http;
    httplib::ThreadPool workers{kWorkers};
    ConnectionGate gate{GateLimits{}, [this](int socket, int served) {
                            workers.enqueue([this, socket, served] { http.serve(socket, served); });
                        }};
    std::thread listener;
    std::atomic<bool> listenerEnded{false};
    int listening = -1;  // the socket bound, once the library made it
    ListenAddress bound;
    std::mutex mutex;
    std::shared_ptr<const std::string> text;
    bool stopped = false;

    std::shared_ptr<const std::string> latest() {
        std::lock_guard lock(mutex);
        return text;
    }
};

MetricsServer::MetricsServer(const ListenAddress& address, std::string firstText) {
    SignalsBlocked blocked;
    impl_ = std::make_unique<Impl>();
    Impl& s = *impl_;
    s.text = std::make_shared<const std::string>(std::move(firstText));
    httplib::Server& http = s.http;
    s.http.setGate(&s.gate);
    // The accepting thread only hands sockets to the gate.
    http.new_task_queue = [] { return new httplib::ThreadPool(1); };
    http.set_read_timeout(kIoTimeoutMs / 1000);
    http.set_write_timeout(kIoTimeoutMs / 1000);
    http.set_payload_max_length(kMaxBodyBytes);
    // The library's default adds SO_REUSEPORT, which would let a second exporter
    // share the port and take half the scrapes: a taken port must be an error.
    http.set_socket_options([&s](socket_t socket) {
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        s.listening = socket;
    });
    // What the Keep-Alive header announces: the gate's idle limit and ours.
    http.set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(GateLimits{}.idleTimeout).count());
    http.set_keep_alive_max_count(kMaxRequestsPerConnection);
    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.method == "GET" || req.method == "HEAD")
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
        res.set_content("Method Not Allowed\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(std::to_string(res.status) + " " + reason(res.status) + "\n",
                            "text/plain; charset=utf-8");
    });
    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kIndexPage, "text/html; charset=utf-8");
    });
    http.Get("/metrics", [&s](const httplib::Request&, httplib::Response& res) {
        const auto text = s.latest();
        res.set_content(*text, kExpositionContentType);
    });

    const int port = address.port == 0 ? http.bind_to_any_port(address.host)
                     : http.bind_to_port(address.host, address.port) ? address.port
                                                                     : -1;
    if (port < 0) {
        const int error = errno;
        stop();
        throw std::runtime_error("cannot listen on " + ListenAddressText(address) +
                                 (error ? std::string(": ") + std::strerror(error) : ""));
    }
    // The library's backlog of 5 drops the SYN of a scrape during a burst of connections.
    if (s.listening >= 0) ::listen(s.listening, SOMAXCONN);
    s.bound = {address.host, port};
    s.listener = std::thread([&s] {
        s.http.listen_after_bind();
        s.listenerEnded = true;
    });
}

MetricsServer::~MetricsServer() {
    stop();
}

ListenAddress MetricsServer::address() const {
    return impl_->bound;
}

void MetricsServer::publish(std::string text) {
    auto next = std::make_shared<const std::string>(std::move(text));
    std::lock_guard lock(impl_->mutex);
    impl_->text.swap(next);
}

void MetricsServer::stop() {
    Impl& s = *impl_;
    if (s.stopped) return;
    s.stopped = true;
    // The pool's threads must be joined before it goes.
    // The library's stop() does nothing before its accept loop has begun, which
    // would then never end: a stop right after the start waits for it.
    while (s.listener.joinable() && !s.http.is_running() && !s.listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    s.http.stop();
    if (s.listener.joinable()) s.listener.join();
    s.gate.stop();
    s.workers.shutdown();
}

}  // namespace quarnel::serve
