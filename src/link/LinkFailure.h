// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way a board failure leaves the link: a failure code, its message,
// and a handler that ends the program (GUI, CLI) or records it (tests).

#include <functional>
#include <stdexcept>
#include <string>

namespace quarnel {

enum LinkFailureCode : int {
    kFirmwareFailed = 0,    // firmware download failed
    kConnectionFailed = 2,  // serial-bus selection or chip search failed
    kCommsInterrupted = 3,  // a register read or write failed
};

// The message shown for a failure code; line breaks are CR LF.
std::string LinkFailureMessage(int code);

// Thrown when the installed handler returns, so a failure never resumes the
// caller. Tests install a recording handler and catch this.
class LinkFailure : public std::runtime_error {
  public:
    explicit LinkFailure(int code) : std::runtime_error(LinkFailureMessage(code)), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

using LinkFailureHandler = std::function<void(int code)>;

}  // namespace quarnel
