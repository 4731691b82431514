// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ConnectionGate.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quarnel::serve {
namespace {

// Answers a head the workers never see; the client learns why before the close.
void refuse(int socket, std::string_view status) {
    const std::string response =
        "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    // Best effort: a client that does not read loses the answer, not a worker.
    (void)::send(socket, response.data(), response.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

ConnectionGate::ConnectionGate(GateLimits limits, Ready ready)
    : limits_(limits), ready_(std::move(ready)) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_ < 0 || wake_ < 0) {
        if (epoll_ >= 0) ::close(epoll_);
        if (wake_ >= 0) ::close(wake_);
        throw std::runtime_error("cannot watch connections: epoll or eventfd failed");
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
    thread_ = std::thread([this] { run(); });
}

ConnectionGate::~ConnectionGate() {
    stop();
    ::close(epoll_);
    ::close(wake_);
}

void ConnectionGate::admit(int socket, int served) {
    const auto deadline = Clock::now() + (served > 0 ? limits_.idleTimeout : limits_.headTimeout);
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            arrivals_.push_back({socket, deadline, served});
            const uint64_t one = 1;
            (void)::write(wake_, &one, sizeof one);
            return;
        }
    }
    ::close(socket);
}

void ConnectionGate::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
        const uint64_t one = 1;
        (void)::write(wake_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    for (const auto& entry : waiting_) ::close(entry.first);
    waiting_.clear();
    for (const Waiter& waiter : arrivals_) ::close(waiter.socket);
    arrivals_.clear();
}

ConnectionGate::Head ConnectionGate::peekHead(int socket) {
    std::string& buffer = peeked_;
    buffer.resize(limits_.maxHeadBytes);
    const ssize_t n = ::recv(socket, buffer.data(), buffer.size(), MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return Head::Closed;
    if (n < 0) return errno == EAGAIN || errno == EINTR ? Head::Incomplete : Head::Closed;
    const std::string_view head(buffer.data(), static_cast<size_t>(n));
    // The head ends with an empty line; the parsing is the HTTP library's.
    if (head.find("\r\n\r\n") != head.npos || head.find("\n\n") != head.npos) return Head::Complete;
    if (static_cast<size_t>(n) < buffer.size()) return Head::Incomplete;
    return head.find('\n') == head.npos ? Head::LineTooLong : Head::TooLarge;
}

void ConnectionGate::take(const std::vector<Waiter>& arrivals) {
    for (const Waiter& waiter : arrivals) {
        const int socket = waiter.socket;
        if (waiting_.size() >= limits_.maxWaiting) {
            // The one nearest its deadline goes, so a flood never locks out the next scrape.
            const auto oldest = std::min_element(
                waiting_.begin(), waiting_.end(),
                [](const auto& a, const auto& b) { return a.second.deadline < b.second.deadline; });
            drop(oldest->first);
        }
        epoll_event event{};
        // Edge-triggered: peeking leaves the bytes queued, so only new ones wake us.
        event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        event.data.fd = socket;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, socket, &event) != 0) {
            ::close(socket);
            continue;
        }
        waiting_[socket] = waiter;
    }
}

void ConnectionGate::drop(int socket) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, socket, nullptr);
    ::close(socket);
    waiting_.erase(socket);
}

void ConnectionGate::expire(Clock::time_point now) {
    std::vector<int> late;
    for (const auto& [socket, waiter] : waiting_)
        if (waiter.deadline <= now) late.push_back(socket);
    for (int socket : late) drop(socket);
}

void ConnectionGate::run() {
    std::vector<epoll_event> events(64);
    for (;;) {
        int timeoutMs = -1;
        if (!waiting_.empty()) {
            auto next = Clock::time_point::max();
            for (const auto& entry : waiting_) next = std::min(next, entry.second.deadline);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
            timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const int n =
            ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), timeoutMs);
        for (int i = 0; i < n; ++i) {
            const int socket = events[static_cast<size_t>(i)].data.fd;
            if (socket == wake_) {
                uint64_t count = 0;
                (void)::read(wake_, &count, sizeof count);
                std::vector<Waiter> arrivals;
                {
                    std::lock_guard lock(mutex_);
                    if (stopping_) return;
                    arrivals.swap(arrivals_);
                }
                take(arrivals);
                continue;
            }
            if (!waiting_.count(socket)) continue;
            const bool hungUp =
                events[static_cast<size_t>(i)].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR);
            switch (peekHead(socket)) {
                case Head::Incomplete:
                    if (hungUp) drop(socket);  // the rest can no longer come
                    break;
                case Head::Complete: {
                    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, socket, nullptr);
                    const int served = waiting_[socket].served;
                    waiting_.erase(socket);
                    ready_(socket, served);
                    break;
                }
                case Head::LineTooLong:
                    refuse(socket, "414 URI Too Long");
                    drop(socket);
                    break;
                case Head::TooLarge:
                    refuse(socket, "431 Request Header Fields Too Large");
                    drop(socket);
                    break;
                case Head::Closed:
                    drop(socket);
                    break;
            }
        }
        expire(Clock::now());
    }
}

}  // namespace quarnel::serve
