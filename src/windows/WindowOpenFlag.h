#pragma once
// A tool window's open flag (read by the polling cycle): raised at the end of
// the window's load, lowered once at its close or destruction, so an old
// window destroyed late never lowers the flag of a newer one.

namespace quarnel {

class WindowOpenFlag {
  public:
    explicit WindowOpenFlag(bool& flag) : flag_(flag) {}
    ~WindowOpenFlag() { lower(); }
    WindowOpenFlag(const WindowOpenFlag&) = delete;
    WindowOpenFlag& operator=(const WindowOpenFlag&) = delete;

    void raise() { flag_ = true; }
    void lower() {
        if (lowered_) return;
        lowered_ = true;
        flag_ = false;
    }

  private:
    bool& flag_;
    bool lowered_ = false;
};

}  // namespace quarnel
