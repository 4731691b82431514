#pragma once
// Start-up progress nobody watches.

#include <string>

#include "monitor/Startup.h"

namespace quarnel::test {

class SilentProgress final : public StartupProgress {
  public:
    explicit SilentProgress(int barWidthTwips) : barWidthTwips_(barWidthTwips) {}
    int initialBarWidthTwips() const override { return barWidthTwips_; }
    void showProgress() override {}
    void setBarWidthTwips(double) override {}
    void setProgressText(const std::string&) override {}
    void setStatusText(const std::string&) override {}
    void processEvents() override {}

  private:
    int barWidthTwips_;
};

}  // namespace quarnel::test
