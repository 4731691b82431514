#pragma once
// What the main window calls on the tool windows that the polling cycle and
// the register-written handler refresh. Each window implements its interface;
// the main window finds it with dynamic_cast on the open window's widget.

namespace quarnel {

class GraphsView {
  public:
    virtual ~GraphsView() = default;
    virtual void UpdateGraphingForm() = 0;
    virtual void UpdateGraphsLayout() = 0;
};

class RegMapView {
  public:
    virtual ~RegMapView() = default;
    virtual bool ContinuousReadChecked() const = 0;  // chkContRead is checked
    virtual void cmdRead_Click() = 0;
    // The Read command as the master timer runs it while continuous read is on.
    virtual void ContinuousRead() { cmdRead_Click(); }
};

class LimitsView {
  public:
    virtual ~LimitsView() = default;
    virtual void UpdateLimitsForm() = 0;
    virtual void UpdateLimitsLayout() = 0;
};

class LoggingView {
  public:
    virtual ~LoggingView() = default;
    // Logging stopped because a line could not be written.
    virtual void LoggingStopped() = 0;
};

}  // namespace quarnel
