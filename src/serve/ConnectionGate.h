// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where accepted connections wait, without a thread each, until their request
// head has arrived: one epoll thread watches them all, so half-open and slow
// clients cost a descriptor, never a worker, and a scrape is never queued
// behind them. A connection goes on to a worker once its head is complete;
// one that takes too long, sends too much or is the oldest of too many is
// closed.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quarnel::serve {

struct GateLimits {
    std::chrono::milliseconds headTimeout{10000};  // a new connection's request head
    std::chrono::milliseconds idleTimeout{90000};  // between requests of a kept-alive one
    size_t maxHeadBytes = 16384;                   // request line and headers
    size_t maxWaiting = 512;                       // connections waiting at once
};

class ConnectionGate {
  public:
    using Clock = std::chrono::steady_clock;
    // ready takes over the socket (and must close it in the end); served counts
    // the requests the connection has had.
    using Ready = std::function<void(int socket, int served)>;
    ConnectionGate(GateLimits limits, Ready ready);
    ~ConnectionGate();
    ConnectionGate(const ConnectionGate&) = delete;
    ConnectionGate& operator=(const ConnectionGate&) = delete;

    // Takes over the socket: a new one, or one kept alive after `served` requests.
    // Thread-safe; after stop() the socket is closed.
    void admit(int socket, int served = 0);
    // Closes every waiting connection and ends the thread.
    void stop();

  private:
    enum class Head { Complete, Incomplete, Closed, LineTooLong, TooLarge };
    struct Waiter {
        int socket;
        Clock::time_point deadline;
        int served;
    };
    void run();
    Head peekHead(int socket);
    void take(const std::vector<Waiter>& arrivals);
    void drop(int socket);
    void expire(Clock::time_point now);

    GateLimits limits_;
    Ready ready_;
    int epoll_ = -1;
    int wake_ = -1;  // an eventfd
    std::mutex mutex_;
    std::vector<Waiter> arrivals_;
    bool stopping_ = false;
    std::unordered_map<int, Waiter> waiting_;  // the gate thread's own
    std::string peeked_;                       // the gate thread's own
    std::thread thread_;
};

}  // namespace quarnel::serve
