// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SignalBridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace quarnel {
namespace {

// A signal handler reaches nothing but globals; the pipe is all it touches.
int pipeFds[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

void setHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a call that waits (opening a FIFO log that has no reader yet)
    // must return, or the event loop would never see the signal.
    action.sa_flags = 0;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::readSignal);
    setHandler(SIGINT, onSignal);
    setHandler(SIGTERM, onSignal);
    // A FIFO log whose reader left fails with EPIPE and stops logging with a message.
    std::signal(SIGPIPE, SIG_IGN);
}

SignalBridge::~SignalBridge() {
    if (!notifier_) return;
    setHandler(SIGINT, SIG_DFL);
    setHandler(SIGTERM, SIG_DFL);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SignalBridge::readSignal() {
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1) emit terminateRequested(byte);
}

}  // namespace quarnel
