// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns SIGINT and SIGTERM into a Qt signal on the event loop (self-pipe), so
// a terminal's Ctrl-C or a session manager closes the main window cleanly.

#include <QObject>

class QSocketNotifier;

namespace quarnel {

class SignalBridge : public QObject {
    Q_OBJECT
  public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

  signals:
    void terminateRequested(int signalNumber);

  private:
    void readSignal();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quarnel
