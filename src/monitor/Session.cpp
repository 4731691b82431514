// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Session.h"

#include <utility>

namespace quarnel {

Session::Session(Orvalink& board, Clock& clock_, Notifier& notifier_, LinkFailureHandler onFailure)
    : clock(clock_),
      notifier(notifier_),
      link(board, clock_, std::move(onFailure)),
      device(link, notifier_, announcer_) {}

}  // namespace quarnel
