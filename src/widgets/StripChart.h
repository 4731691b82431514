// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A strip chart: a few channels plotted against wall-clock time, scrolling with
// the newest sample. The caller stamps every sample (the chart never reads the
// clock), adds samples cheaply and asks for one replot with refresh(), so the
// drawing rate is the caller's, not the sample rate.

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "widgets/FileChooser.h"

class QCustomPlot;
class QCPGraph;
class QCPAxisTickerDateTime;
class QCPTextElement;
class QCPItemText;
class QAction;
class QTimer;

namespace quarnel {

class StripChartArrow;
class ChartCursor;

class StripChart : public QWidget {
    Q_OBJECT

  public:
    // Told about an image that could not be written.
    using ErrorReporter = std::function<void(const QString& message)>;

    explicit StripChart(QWidget* parent = nullptr);
    explicit StripChart(const QList<QColor>& channelColors, QWidget* parent = nullptr);
    ~StripChart() override;

    // Channels are numbered from 1. Setting the colours sets the channel
    // count; channels start labelled "Channel n", shown and empty.
    void setChannelColors(const QList<QColor>& colors);
    void setChannelColor(int channel, const QColor& color);
    int channelCount() const;

    // Samples are stamped by the caller in milliseconds since the epoch (or a
    // QDateTime), so the axis keeps running across midnight. A time earlier
    // than the newest sample means the clock was set back: the history is
    // dropped and the chart starts again from that time. A NaN value is no
    // reading (the channel has not been read yet): nothing is added.
    void AddSample(int channel, double value, qint64 msecsSinceEpoch);
    void AddSample(int channel, double value, const QDateTime& when);
    // values[i] goes to channel i + 1; extra values are ignored.
    void AddSamples(qint64 msecsSinceEpoch, const QList<double>& values);
    void AddSamples(const QDateTime& when, const QList<double>& values);

    // Every sample drawn so far through f (a change of unit), so the chart never
    // mixes two units.
    void convertSamples(const std::function<double(double)>& f);
    void SetChartTitle(const QString& text);
    void SetChannelLabel(int channel, const QString& text);
    // A hidden channel keeps its legend but takes no samples: those added while
    // it is hidden are never drawn, and a gap separates what came before from
    // what comes after it is shown again.
    void SetChannelShown(int channel, bool shown);
    void SetChartVisible(bool visible);

    QString chartTitle() const;
    QString channelLabel(int channel) const;
    bool channelShown(int channel) const;
    int sampleCount(int channel) const;  // points held for the channel
    QList<QString> legendTexts() const;
    // Accessibility: name is the title, value the legend texts; each legend
    // entry is a child of its own (channel n the child n - 1), at this place.
    QString accessibleCaption() const { return chartTitle(); }
    QString accessibleValue() const;
    QRect legendEntryRect(int channel) const;

    // Y axis range shown, and the outer range the zoom arrows may not leave.
    // The outer range grows to hold the shown range.
    void setYRange(double min, double max);
    void setOuterYRange(double min, double max);
    double yMin() const { return yMin_; }
    double yMax() const { return yMax_; }

    // Visible time span (zoomed by the arrow on the time axis), bounded by
    // the history kept per channel.
    void setTimeSpanSeconds(double seconds);
    double timeSpanSeconds() const { return spanSeconds_; }
    static constexpr double historySeconds() { return kHistorySeconds; }
    // Time axis range shown after the last replot, in seconds since the epoch.
    double timeAxisLower() const;
    double timeAxisUpper() const;

    // One replot now when the chart is visible, else one when it is next shown.
    // Adding samples never replots; label, title and range setters schedule one
    // replot for the next event loop pass that refresh() absorbs.
    void refresh();

    // Dialog seams: the context menu's "Save Image..." asks the chooser for a
    // file name and reports failures to the reporter; without a chooser it
    // does nothing.
    void setFileChooser(FileChooser chooser);
    void setErrorReporter(ErrorReporter reporter);
    void copyImage();  // to the clipboard

    // While the pointer is over the plot: a line at the pointer and, beside it,
    // the time there and each shown channel's value (the nearest sample),
    // named by its label up to any "=". Empty while the pointer is elsewhere.
    QString cursorReadout() const;

    // The plot, for its signals (afterReplot) and for rendering.
    QCustomPlot* plot() const { return plot_; }

  signals:
    void zoomed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    struct Channel {
        QCPGraph* graph = nullptr;
        QString label;
        bool gapPending = false;  // samples were dropped while hidden
        int removed = 0;          // points trimmed since the container was last squeezed
        int labelWidth = -1;      // legend text width in pixels; -1 until measured
        QString labelTold;        // the legend text screen readers last heard of
    };

    bool validChannel(int channel) const;
    void addPoint(Channel& channel, double key, double value);
    void startAgainAt(double key);
    void trim(Channel& channel);
    void dress();  // in the palette's colours
    void replotNow();
    void scheduleReplot();
    void placeArrows();
    void updateLegendWrap();
    int legendTextWidth(const QString& text);
    void spaceTimeTicks();
    void dragTimeArrow(double dx, bool start);
    void dragYArrow(bool top, double dy, bool start);
    void updateAccessibleText();
    void chooseAndSaveImage();
    void pointerAt(std::optional<double> x);
    void updateCursor();

    QCustomPlot* plot_ = nullptr;
    QCPTextElement* title_ = nullptr;
    QSharedPointer<QCPAxisTickerDateTime> timeTicker_;
    std::vector<Channel> channels_;
    StripChartArrow* timeArrow_ = nullptr;
    StripChartArrow* yTopArrow_ = nullptr;
    StripChartArrow* yBottomArrow_ = nullptr;
    std::unique_ptr<ChartCursor> cursor_;
    QCPItemText* readout_ = nullptr;
    std::optional<double> pointerX_;  // pixels, while the pointer is over the plot
    QAction* saveAction_ = nullptr;
    QAction* copyAction_ = nullptr;
    QTimer* replotTimer_ = nullptr;
    FileChooser fileChooser_;
    ErrorReporter errorReporter_;
    // Text widths, measured once per text and font: shaping a text costs more
    // than the rest of a replot's layout.
    QHash<QString, int> legendWidths_;
    QFont legendWidthFont_;
    QFont timeLabelFont_;
    int timeLabelWidth_ = -1;

    static constexpr double kHistorySeconds = 600.0;
    // Guards memory against a caller whose clock stands still.
    static constexpr int kMaxPoints = 20000;

    double yMin_ = 0.0, yMax_ = 10.0;
    double outerYMin_ = 0.0, outerYMax_ = 10.0;
    double spanSeconds_ = 60.0;
    double newestKey_ = 0.0;
    bool hasSamples_ = false;
    bool replotPending_ = false;  // refresh() asked while hidden
    // Values at the start of an arrow drag.
    double dragSpan_ = 0.0, dragYMin_ = 0.0, dragYMax_ = 0.0;
};

}  // namespace quarnel
