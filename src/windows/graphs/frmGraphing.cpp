// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/graphs/frmGraphing.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "device/Conversions.h"
#include "monitor/MasterPoll.h"
#include "ui_frmGraphing.h"
#include "widgets/StripChart.h"
#include "widgets/WidgetAccessibility.h"
#include "windows/CheckBoxes.h"

namespace quarnel {
namespace {

enum Graph { kTemp = 0, kVoltage = 1, kDac = 2, kAin = 3 };

const QString kCelsius = QStringLiteral("°C");
const QString kFahrenheit = QStringLiteral("°F");

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString trimmed(float value) {
    return text(TrimmedNumberText(value));
}

QString volts(float value) {
    // Readings arrive rounded to 3 decimals; rounding again keeps a stray
    // longer value from padding to an empty text.
    return text(PadToThreeDecimals(TrimmedNumberText(RoundToSingle(value, 3)))) + QLatin1Char('V');
}

struct ChartSetup {
    const char* title;
    QList<QColor> colors;
    QStringList labels;
    double yMin, yMax;          // shown when the window opens
    double outerMin, outerMax;  // the zoom arrows stay inside this
};

}  // namespace

frmGraphing::frmGraphing(BoardFeed& feed, Notifier& notifier, WindowHost& host,
                         FileChooser chooseFile, QWidget* parent, QDateTime startTime)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmGraphing>()),
      feed_(feed),
      notifier_(notifier),
      host_(host),
      openFlag_(feed, FlaggedWindow::Graphs) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(kGraphingTitle));

    optGraph_ = {ui->optGraph_0, ui->optGraph_1, ui->optGraph_2, ui->optGraph_3};
    charts_ = {ui->stpTemp, ui->stpVoltage, ui->stpDAC, ui->stpAin};

    // Wide enough for both captions, so the column does not jump when logging starts.
    int captionWidth = 0;
    for (const char* caption : {kLoggingText, kLogDataText}) {
        ui->cmdLog->setText(QString::fromLatin1(caption));
        captionWidth = std::max(captionWidth, ui->cmdLog->sizeHint().width());
    }
    ui->cmdLog->setText(QString::fromLatin1(kLogDataText));
    ui->cmdLog->setMinimumWidth(captionWidth);

    if (!startTime.isValid()) startTime = QDateTime::currentDateTime();
    startMsecs_ = startTime.toMSecsSinceEpoch();
    startMonotonic_ = feed_.readings().monotonic;
    chartFahrenheit_ = feed_.readings().fahrenheit;

    configureCharts(chooseFile);

    for (int i = 0; i < kGraphCount; ++i) {
        connect(optGraph_[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked) optGraph_Click(i);
        });
    }
    connect(ui->chkEnableGraph, &QCheckBox::toggled, this, &frmGraphing::chkEnableGraph_Click);
    connect(ui->chkFahrenheit, &QCheckBox::toggled, this, &frmGraphing::chkFahrenheit_Click);
    connect(ui->cmdLog, &QPushButton::clicked, this, &frmGraphing::cmdLog_Click);
    connect(&feed_, &BoardFeed::readingsTaken, this, [this](const board::Readings& e) {
        if (!IsDue(e.timeOfDay, lastUpdate_, kGraphRefreshSeconds)) return;
        lastUpdate_ = e.timeOfDay;
        UpdateGraphingForm();
    });
    connect(&feed_, &BoardFeed::layoutChanged, this, [this](const board::Layout& e) {
        if (e.graphs) UpdateGraphsLayout();
    });
    // A lost board: a gap in every trace, and no value in the legends.
    connect(&feed_, &BoardFeed::boardLost, this, &frmGraphing::UpdateGraphingForm);

    Form_Load();
}

frmGraphing::~frmGraphing() = default;

void frmGraphing::configureCharts(const FileChooser& chooseFile) {
    const QColor blue(0, 0, 255), red(255, 0, 0), green(0, 128, 0), black(0, 0, 0),
        magenta(255, 0, 255), orange(255, 128, 0), lime(0, 255, 0), sky(0, 128, 255);
    const std::array<ChartSetup, kGraphCount> setups = {{
        {"Temperature(°C)",
         {blue, red, green},
         {"Internal", "External", "VARNO"},
         0,
         110,
         -50,
         120},
        {"Vdd (V)", {blue}, {"Vdd"}, 2, 6, 0, 7},
        {"DAC Outputs (V)",
         {blue, red, green, magenta},
         {"DAC A", "DAC B", "DAC C", "DAC D"},
         0,
         6,
         0,
         7},
        {"Ain (V)",
         {blue, red, green, black, magenta, orange, lime, sky},
         {"Ain1", "Ain2", "Ain3", "Ain4", "Ain5", "Ain6", "Ain7", "Ain8"},
         0,
         4,
         0,
         4},
    }};
    for (int i = 0; i < kGraphCount; ++i) {
        StripChart* chart = charts_[i];
        const ChartSetup& setup = setups[i];
        chart->setChannelColors(setup.colors);
        chart->SetChartTitle(QString::fromUtf8(setup.title));
        for (int channel = 1; channel <= setup.labels.size(); ++channel)
            chart->SetChannelLabel(channel, setup.labels[channel - 1]);
        chart->setYRange(setup.yMin, setup.yMax);
        chart->setOuterYRange(setup.outerMin, setup.outerMax);
        chart->setFileChooser(chooseFile);
        chart->setErrorReporter([this](const QString& message) {
            notifier_.message(message.toStdString(), Notifier::Icon::Warning);
        });
    }
    // An empty chart that will fill with Fahrenheit readings says so from the start.
    if (feed_.flags().ShowFahrenheit)
        charts_[kTemp]->SetChartTitle(QStringLiteral("Temperature(") + kFahrenheit +
                                      QLatin1Char(')'));
}

void frmGraphing::Form_Load() {
    const SharedFlags& flags = feed_.flags();
    // A value that names no chart would leave the area empty.
    const int selected =
        flags.SelectedGraph >= 0 && flags.SelectedGraph < kGraphCount ? flags.SelectedGraph : 0;
    if (optGraph_[selected]->isChecked()) {
        optGraph_Click(selected);
    } else {
        optGraph_[selected]->setChecked(true);  // runs optGraph_Click
    }
    openFlag_.raise();
    UpdateGraphsLayout();
    if (feed_.deviceState().GraphingEnabled) ui->chkEnableGraph->setChecked(true);
    if (flags.ShowFahrenheit) ui->chkFahrenheit->setChecked(true);
}

void frmGraphing::closeEvent(QCloseEvent* event) {
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmGraphing::Form_Unload() {
    openFlag_.lower();
}

void frmGraphing::optGraph_Click(int index) {
    if (index < 0 || index >= kGraphCount) return;
    feed_.setSelectedGraph(static_cast<int16_t>(index));
    ShowSelectedGraph();
}

void frmGraphing::ShowSelectedGraph() {
    for (StripChart* chart : charts_) chart->SetChartVisible(false);
    const int selected = feed_.flags().SelectedGraph;
    if (selected >= 0 && selected < kGraphCount) charts_[selected]->SetChartVisible(true);
}

void frmGraphing::chkEnableGraph_Click() {
    feed_.setGraphingEnabled(isChecked(ui->chkEnableGraph));
}

void frmGraphing::chkFahrenheit_Click() {
    // The limits window hears it and re-lays its temperature scales.
    feed_.setShowFahrenheit(isChecked(ui->chkFahrenheit));
}

void frmGraphing::cmdLog_Click() {
    host_.openWindow(ToolWindow::Logging);
}

void frmGraphing::UpdateGraphsLayout() {
    if (!feed_.flags().GraphsWindowOpen) return;
    const DeviceState& state = feed_.deviceState();
    StripChart* temp = charts_[kTemp];
    StripChart* ain = charts_[kAin];
    const auto set = [](StripChart* chart, int channel, const char* label, bool shown) {
        chart->SetChannelLabel(channel, QString::fromLatin1(label));
        chart->SetChannelShown(channel, shown);
    };
    if (state.ChannelMode == ChannelFunction::ExternalTemp) {
        set(temp, 2, "External", true);
        set(ain, 1, "Ain1 Disabled", false);
        set(ain, 2, "Ain2 Disabled", false);
    } else if (state.ChannelMode == ChannelFunction::AinInputs) {
        set(temp, 2, "External Disabled", false);
        set(ain, 1, "Ain1", true);
        set(ain, 2, "Ain2", true);
    }
    if (state.VarnoOnAin3) {
        set(temp, 3, "VARNO", true);
        set(ain, 3, "Ain3", true);
    } else {
        set(temp, 3, "VARNO Disabled", false);
        set(ain, 3, "Ain3 Disabled", false);
    }
}

qint64 frmGraphing::sampleMsecs() const {
    const double elapsed = feed_.readings().monotonic - startMonotonic_;
    return startMsecs_ + std::llround(elapsed * 1000.0);
}

QDateTime frmGraphing::sampleTime() const {
    return QDateTime::fromMSecsSinceEpoch(sampleMsecs());
}

QRect frmGraphing::newestSamplesArea() const {
    for (const StripChart* chart : charts_) {
        if (!chart->isVisibleTo(this)) continue;
        const QRect whole = chart->rect();
        const QRect end(whole.right() - whole.width() / 4, whole.top(), whole.width() / 4,
                        whole.height());
        return end.translated(chart->mapTo(this, QPoint()));
    }
    return {};
}

StripChart* frmGraphing::chart(int index) const {
    return index >= 0 && index < kGraphCount ? charts_[index] : nullptr;
}

void frmGraphing::UpdateGraphingForm() {
    if (!isChecked(ui->chkEnableGraph)) return;
    const CurrentReadings& r = feed_.readings().readings;
    const DeviceState& state = feed_.deviceState();
    StripChart* temp = charts_[kTemp];
    StripChart* vdd = charts_[kVoltage];
    StripChart* ain = charts_[kAin];
    // The first readings in the other unit: what is drawn follows before they
    // join it, so the chart never mixes °C and °F.
    const bool fahrenheit = feed_.readings().fahrenheit;
    if (fahrenheit != chartFahrenheit_) {
        const std::function<double(double)> toF = [](double c) { return c * 9.0 / 5.0 + 32.0; };
        const std::function<double(double)> toC = [](double f) { return (f - 32.0) * 5.0 / 9.0; };
        temp->convertSamples(fahrenheit ? toF : toC);
        chartFahrenheit_ = fahrenheit;
    }

    // A channel is plotted from its first reading on, not from the 0 it
    // holds until the polling cycle has come round to it.
    const auto read = [&r](PollReading state, float value) {
        return (r.Taken >> state) & 1u ? double(value) : std::numeric_limits<double>::quiet_NaN();
    };
    const qint64 now = sampleMsecs();
    temp->AddSamples(now, {read(kPollInternalTemp, r.InternalTemp),
                           read(kPollExternalTemp, r.ExternalTemp), read(kPollAin3, r.VarnoTemp)});
    vdd->AddSample(1, read(kPollVdd, r.Vdd), now);
    ain->AddSamples(now, {read(kPollAin1, r.Ain1), read(kPollAin2, r.Ain2), read(kPollAin3, r.Ain3),
                          read(kPollAin4, r.Ain4), read(kPollAin5, r.Ain5), read(kPollAin6, r.Ain6),
                          read(kPollAin7, r.Ain7), read(kPollAin8, r.Ain8)});

    const QString& unit = fahrenheit ? kFahrenheit : kCelsius;

    // While the board is lost no value is current: a dash stands in the legends.
    const bool lost = feed_.boardDown();
    const QString none = QStringLiteral("\u2014");
    const auto trimmed = [&](float value) { return lost ? none : quarnel::trimmed(value); };
    const auto volts = [&](float value) { return lost ? none : quarnel::volts(value); };
    temp->SetChartTitle(QStringLiteral("Temperature(") + unit + QLatin1Char(')'));
    temp->SetChannelLabel(1, QStringLiteral("Internal=") + trimmed(r.InternalTemp) + unit);
    if (state.ChannelMode == ChannelFunction::ExternalTemp)
        temp->SetChannelLabel(2, QStringLiteral("External=") + trimmed(r.ExternalTemp) + unit);
    if (state.VarnoOnAin3)
        temp->SetChannelLabel(3, QStringLiteral("VARNO=") + trimmed(r.VarnoTemp) + unit);

    vdd->SetChannelLabel(1, QStringLiteral("Vdd=") + trimmed(r.Vdd) + QLatin1Char('V'));

    if (state.ChannelMode == ChannelFunction::AinInputs) {
        ain->SetChannelLabel(1, QStringLiteral("Ain1=") + volts(r.Ain1));
        ain->SetChannelLabel(2, QStringLiteral("Ain2=") + volts(r.Ain2));
    }
    if (state.VarnoOnAin3) ain->SetChannelLabel(3, QStringLiteral("Ain3(VARNO)=") + volts(r.Ain3));
    ain->SetChannelLabel(4, QStringLiteral("Ain4(Photo-Sensor)=") + volts(r.Ain4));
    ain->SetChannelLabel(5, QStringLiteral("Ain5=") + volts(r.Ain5));
    ain->SetChannelLabel(6, QStringLiteral("Ain6=") + volts(r.Ain6));
    ain->SetChannelLabel(7, QStringLiteral("Ain7=") + volts(r.Ain7));
    ain->SetChannelLabel(8, QStringLiteral("Ain8=") + volts(r.Ain8));

    const LoggingState& logging = feed_.logging();
    if (logging.LoggingActive) {
        ui->cmdLog->setText(QString::fromLatin1(kLoggingText));
        ui->lblLogged->setText(text(TrimmedNumberText(static_cast<double>(logging.LoggedCount))));
        // Its name is what a screen reader reads: the count with its caption.
        SetAccessibleName(ui->lblLogged, QStringLiteral("Logged ") + ui->lblLogged->text());
    } else {
        ui->cmdLog->setText(QString::fromLatin1(kLogDataText));
    }

    // One replot for the shown chart; a hidden one replots when it is next shown.
    // The DAC chart gets no samples and needs none.
    temp->refresh();
    vdd->refresh();
    ain->refresh();
}

}  // namespace quarnel
