// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "app/ModalLoops.h"
#include "monitor/LogReader.h"
#include "monitor/MasterPoll.h"
#include "ui_frmMain.h"
#include "windows/AppSettings.h"
#include "windows/Twips.h"
#include "windows/graphs/frmGraphing.h"
#include "windows/logreview/frmLogReview.h"

// The icons live in this static library; the linker keeps them only when asked.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace quarnel {
namespace {

constexpr float kDefaultLeft = 1000.0f;  // twips
constexpr float kDefaultTop = 1000.0f;
constexpr float kDefaultWidth = 6500.0f;
constexpr float kDefaultHeight = 6500.0f;
constexpr float kFarTwips = 1e8f;  // beyond any screen, still far from overflowing a pixel int

// A stored value read back as a single-precision number; anything that is not
// one (or is no usable size) gives the default.
float readTwips(QSettings& settings, const char* key, float fallback, bool isSize) {
    bool ok = false;
    const float value =
        settings.value(QString::fromLatin1(key), QString()).toString().trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(value) || (isSize && value < 1.0f)) return fallback;
    return std::clamp(value, -kFarTwips, kFarTwips);
}

QString singleText(double twipsValue) {
    return QString::number(static_cast<double>(static_cast<float>(twipsValue)), 'g', 7);
}

}  // namespace

frmMain::frmMain(MainWindowDeps deps, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain>()), deps_(std::move(deps)) {
    initIconResources();
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/graphs.png")));

    const auto open = [this](QAction* action, ToolWindow which) {
        connect(action, &QAction::triggered, this, [this, which] { openWindow(which); });
    };
    open(ui->mnuLog, ToolWindow::Logging);
    open(ui->mnuRegMap, ToolWindow::RegMap);
    open(ui->mnuGraphs, ToolWindow::Graphs);
    open(ui->mnuInterrupt, ToolWindow::Limits);
    open(ui->mnuConfig, ToolWindow::Config);
    open(ui->mnuAbout, ToolWindow::About);
    connect(ui->mnuWindow, &QMenu::aboutToShow, this, &frmMain::fillWindowMenu);
    auto* profiles = new ProfileMenu(
        deps_.feed, deps_.notifier, deps_.table, this, deps_.profileDialogs, deps_.now,
        [this](const QString& text) { ui->sbStatusBar->showMessage(text, 15000); });
    connect(ui->mnuSaveProfile, &QAction::triggered, profiles, &ProfileMenu::save);
    connect(ui->mnuLoadProfile, &QAction::triggered, profiles, &ProfileMenu::load);
    connect(ui->mnuOpenLog, &QAction::triggered, this, &frmMain::mnuOpenLog_Click);
    // Ends as the close box does; without a window manager it is the only way.
    connect(ui->mnuExit, &QAction::triggered, this, &QWidget::close);

    const std::pair<QAction*, const char*> buttons[] = {{ui->Save, "save"},
                                                        {ui->Config, "config"},
                                                        {ui->Graphs, "graphs"},
                                                        {ui->Tree, "tree"},
                                                        {ui->Interrupts, "interrupts"}};
    for (const auto& [action, icon] : buttons) {
        action->setIcon(QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(icon))));
        // The button's name for screen readers is its text: the description, not the key.
        action->setText(action->toolTip());
        const QString key = action->objectName();
        connect(action, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
    ui->tbToolBar->setIconSize(QSize(24, 24));
    ui->tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    // The window's edges resize it; a grip would be one more nameless control.
    ui->sbStatusBar->setSizeGripEnabled(false);
    const char* panelNames[] = {"sbPanel_1", "sbPanel_2", "sbPanel_3", "sbPanel_4"};
    for (int i = 0; i < 4; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setObjectName(QLatin1String(panelNames[i]));
        panels_[i]->setContentsMargins(6, 0, 6, 0);
        if (i == 0)
            ui->sbStatusBar->addWidget(panels_[i], 1);
        else
            ui->sbStatusBar->addPermanentWidget(panels_[i]);
    }
    panels_[0]->setText(QString::fromLatin1(kStatusIdleText));
    panels_[3]->setText(deps_.boardName);
    fixClockWidths();
    updateClock();
    clockTimer_.setInterval(1000);
    clockTimer_.setTimerType(Qt::CoarseTimer);
    connect(&clockTimer_, &QTimer::timeout, this, &frmMain::updateClock);
    clockTimer_.start();
    closeRetry_.setSingleShot(true);
    connect(&closeRetry_, &QTimer::timeout, this, &QWidget::close);

    setWindowTitle(QString::fromLatin1(kAppTitle));
    // A lost board: when it was lost and when the next try comes, until it is back.
    connect(&deps_.feed, &BoardFeed::boardLost, this, [this](const board::BoardLost&) {
        lostAt_ = clockNow();
        SetStatusText("Board lost at " + timeText(lostAt_));
    });
    connect(&deps_.feed, &BoardFeed::reconnecting, this, [this](const board::Reconnecting& e) {
        const QDateTime next = clockNow().addMSecs(qint64(e.waitSeconds * 1000));
        SetStatusText("Board lost at " + timeText(lostAt_) + "; next try at " + timeText(next));
    });
    connect(&deps_.feed, &BoardFeed::reconnected, this, [this](const board::Reconnected&) {
        SetStatusText(kStatusIdleText);
        showStatusMessage(QStringLiteral("Board back at %1 (lost at %2)")
                              .arg(QString::fromStdString(timeText(clockNow())),
                                   QString::fromStdString(timeText(lostAt_))));
    });
    // Each tick of the board restates the status text (or leaves it).
    connect(&deps_.feed, &BoardFeed::readingsTaken, this, [this](const board::Readings& e) {
        if (e.status && !closed_) SetStatusText(e.status);
    });
    // The workspace has its final size only once the window is shown and
    // maximised; windows opened before then are placed again.
    ui->mdiArea->viewport()->installEventFilter(this);
}

frmMain::~frmMain() = default;

void frmMain::MDIForm_Load() {
    RestorePlacement();
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowState(windowState() | Qt::WindowMaximized);
}

void frmMain::Connected() {
    openWindow(ToolWindow::Graphs);
}

void frmMain::RestorePlacement() {
    AppSettings settings;
    const float left = readTwips(settings, keys::kMainLeft, kDefaultLeft, false);
    const float top = readTwips(settings, keys::kMainTop, kDefaultTop, false);
    const float width = readTwips(settings, keys::kMainWidth, kDefaultWidth, true);
    const float height = readTwips(settings, keys::kMainHeight, kDefaultHeight, true);
    QRect frame(twips(left), twips(top), std::max(1, twips(width)), std::max(1, twips(height)));

    // The screen most of the placement lies on; one that is gone gives the
    // primary screen's top left corner.
    const QScreen* screen = nullptr;
    qint64 most = 0;
    for (const QScreen* candidate : QGuiApplication::screens()) {
        const QRect common = candidate->availableGeometry() & frame;
        const qint64 area = qint64(common.width()) * common.height();
        if (!common.isEmpty() && area > most) {
            most = area;
            screen = candidate;
        }
    }
    if (!screen && (screen = QGuiApplication::primaryScreen()))
        frame.moveTopLeft(screen->availableGeometry().topLeft());
    if (screen) {
        const QRect avail = screen->availableGeometry();
        // Larger than the screen, the window would only cost a huge backing store.
        frame.setSize(frame.size().boundedTo(avail.size()));
        // The whole frame stays on the screen: without a window manager to
        // move it, a status bar below the edge could never be reached.
        frame.moveLeft(std::clamp(frame.left(), avail.left(), avail.right() + 1 - frame.width()));
        frame.moveTop(std::clamp(frame.top(), avail.top(), avail.bottom() + 1 - frame.height()));
    }

    move(frame.topLeft());
    resize(frame.size());
}

void frmMain::SavePlacement() {
    if (isMinimized()) return;
    // The frame's position with the window's own size: the frame's size is
    // known only once the window manager has decorated the window, and
    // storing it would grow the window by its decoration on every run.
    const QRect frame(frameGeometry().topLeft(), size());
    AppSettings settings;
    settings.setValue(QString::fromLatin1(keys::kMainLeft), singleText(toTwips(frame.x())));
    settings.setValue(QString::fromLatin1(keys::kMainTop), singleText(toTwips(frame.y())));
    settings.setValue(QString::fromLatin1(keys::kMainWidth), singleText(toTwips(frame.width())));
    settings.setValue(QString::fromLatin1(keys::kMainHeight), singleText(toTwips(frame.height())));
}

void frmMain::closeAtOnce() {
    closingAtOnce_ = true;
    close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!closed_ && !closingAtOnce_ && ModalLoopRunning()) {
        // A window closed now would be deleted under the handler that opened
        // the dialog; end the dialogs first and close once their loops are gone.
        event->ignore();
        DismissModalLoops();
        closeRetry_.start(++closeAttempts_ < 100 ? 0 : 20);
        return;
    }
    if (!closed_) {
        // Every child runs its own close handling first.
        for (QMdiSubWindow* sub : ui->mdiArea->subWindowList()) sub->close();
        SavePlacement();
        closed_ = true;
    }
    event->accept();
}

void frmMain::tbToolBar_ButtonClick(const QString& key) {
    static const std::pair<const char*, ToolWindow> keyed[] = {{"Save", ToolWindow::Logging},
                                                               {"Config", ToolWindow::Config},
                                                               {"Graphs", ToolWindow::Graphs},
                                                               {"Tree", ToolWindow::RegMap},
                                                               {"Interrupts", ToolWindow::Limits}};
    for (const auto& [name, which] : keyed) {
        if (key != QLatin1String(name)) continue;
        try {
            openWindow(which);
        } catch (const std::exception&) {
            // A toolbar command that fails simply ends.
        }
        return;
    }
}

QMdiArea* frmMain::mdiArea() const {
    return ui->mdiArea;
}

QMdiSubWindow* frmMain::subWindow(ToolWindow which) const {
    const auto it = windows_.find(which);
    if (it == windows_.end() || !it->second.sub || it->second.sub->isHidden()) return nullptr;
    return it->second.sub;
}

void frmMain::openWindow(ToolWindow which) {
    if (QMdiSubWindow* sub = subWindow(which)) {
        if (sub->isMinimized()) sub->showNormal();
        ui->mdiArea->setActiveSubWindow(sub);
        sub->raise();
        return;
    }
    if (!deps_.createWindow) return;
    const WindowContext context{deps_.feed,    deps_.notifier,   deps_.table,         *this,
                                deps_.openUrl, deps_.chooseFile, deps_.applicationDir};
    const CreatedWindow created = deps_.createWindow(which, context);
    QWidget* widget = created.widget;
    if (!widget) return;  // a test's factory may make none
    // A form with a designed geometry keeps it; a layout-only form takes its
    // size hint rather than the 640 x 480 of a widget never resized.
    const QSize base = widget->testAttribute(Qt::WA_Resized) ? widget->size() : widget->sizeHint();
    const QSize designed = base.expandedTo(widget->minimumSizeHint());
    QMdiSubWindow* sub = ui->mdiArea->addSubWindow(widget);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    windows_[which] = {sub, widget};
    // The window keeps its designed size; the frame comes on top of it.
    QMargins frame = sub->contentsMargins();
    if (const QLayout* layout = sub->layout()) frame += layout->contentsMargins();
    sub->resize(designed.grownBy(frame));
    sub->show();
    placements_.push_back({sub, which, sub->size(), {}});
    placeChild(placements_.back());
    ui->mdiArea->setActiveSubWindow(sub);
}

void frmMain::placeChild(Placement& placement) {
    QMdiSubWindow* sub = placement.sub;
    sub->resize(placement.designed);
    if (placement.which == ToolWindow::Help || placement.which == ToolWindow::About) {
        centreFrame(sub->widget());
    } else {
        // Whole inside the workspace, as far as its minimum size allows.
        const QSize area = ui->mdiArea->viewport()->size();
        sub->resize(sub->size().boundedTo(area).expandedTo(sub->minimumSizeHint()));
        const int left = std::clamp(sub->x(), 0, std::max(0, area.width() - sub->width()));
        const int top = std::clamp(sub->y(), 0, std::max(0, area.height() - sub->height()));
        sub->move(left, top);
    }
    placement.placed = sub->geometry();
}

void frmMain::placeChildrenAgain() {
    // A window the user has moved, resized or closed is theirs from now on.
    std::erase_if(placements_, [](const Placement& p) {
        return !p.sub || p.sub->isHidden() || p.sub->geometry() != p.placed;
    });
    for (Placement& placement : placements_) placeChild(placement);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->mdiArea->viewport() && event->type() == QEvent::Resize) placeChildrenAgain();
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::centreFrame(QWidget* window) {
    WindowHost::centreFrame(window);
    auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    const auto help = windows_.find(ToolWindow::Help);
    QMdiSubWindow* graphsFrame = subWindow(ToolWindow::Graphs);
    auto* graphs = graphsFrame ? qobject_cast<frmGraphing*>(graphsFrame->widget()) : nullptr;
    if (!sub || help == windows_.end() || help->second.widget != window || !graphs) return;
    const QRect newest =
        graphs->newestSamplesArea().translated(graphs->mapTo(ui->mdiArea->viewport(), QPoint()));
    if (!sub->geometry().intersects(newest)) return;
    // Below the graphs, beside them, or low at the left, where the oldest
    // samples are: the first that leaves the newest clear, else the one that
    // covers least of them.
    const QRect area(QPoint(), ui->mdiArea->viewport()->size());
    const QRect graph = graphsFrame->geometry();
    const QPoint tries[] = {{sub->x(), graph.bottom() + 1},
                            {graph.right() + 1, sub->y()},
                            {0, area.height() - sub->height()}};
    const auto inside = [&](QPoint at) {
        return QRect(QPoint(std::clamp(at.x(), 0, std::max(0, area.width() - sub->width())),
                            std::clamp(at.y(), 0, std::max(0, area.height() - sub->height()))),
                     sub->size());
    };
    const auto covered = [&](QPoint at) {
        const QRect common = inside(at) & newest;
        return qint64(common.width()) * common.height();
    };
    const QPoint* best =
        std::min_element(std::begin(tries), std::end(tries),
                         [&](QPoint a, QPoint b) { return covered(a) < covered(b); });
    if (covered(*best) < covered(sub->pos())) sub->move(inside(*best).topLeft());
}

bool frmMain::openLogFile(const QString& path) {
    const std::string problem = LogFileProblem(path.toStdString());
    if (!problem.empty()) {
        deps_.notifier.message(problem, Notifier::Icon::Error);
        return false;
    }
    auto* window = new frmLogReview(path, deps_.notifier, deps_.chooseFile, *this);
    QMdiSubWindow* sub = ui->mdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(window->size().grownBy(sub->contentsMargins()));
    // Cascaded from the top left, over the graphs window.
    const int step = 24 * int(findChildren<frmLogReview*>().size() - 1) % 192;
    sub->move(step, step);
    sub->show();
    ui->mdiArea->setActiveSubWindow(sub);
    return true;
}

void frmMain::mnuOpenLog_Click() {
    const FileChooser& choose = deps_.profileDialogs.chooseOpen;
    if (!choose) return;
    const std::optional<QString> path =
        choose(this, QStringLiteral("Open Log"), LogFolder(deps_.applicationDir),
               QString::fromLatin1(kLogReviewFilter));
    if (!path || path->isEmpty()) return;
    RememberLogFolder(*path);
    openLogFile(*path);
}

void frmMain::fillWindowMenu() {
    ui->mnuWindow->clear();
    const QMdiSubWindow* active = ui->mdiArea->activeSubWindow();
    int number = 1;
    for (QMdiSubWindow* sub : ui->mdiArea->subWindowList()) {
        if (sub->isHidden()) continue;
        QAction* item = ui->mnuWindow->addAction(
            QStringLiteral("&%1 %2").arg(number++).arg(sub->windowTitle()));
        item->setCheckable(true);
        item->setChecked(sub == active);
        QPointer<QMdiSubWindow> target(sub);
        connect(item, &QAction::triggered, this, [this, target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            ui->mdiArea->setActiveSubWindow(target);
        });
    }
}

QDateTime frmMain::clockNow() const {
    return deps_.now ? deps_.now() : QDateTime::currentDateTime();
}

std::string frmMain::timeText(const QDateTime& at) {
    return at.time().toString(QStringLiteral("HH:mm:ss")).toStdString();
}

void frmMain::updateClock() {
    const QDateTime now = deps_.now ? deps_.now() : QDateTime::currentDateTime();
    const QLocale locale;
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    const QString time = locale.toString(now.time(), QLocale::ShortFormat);
    if (panels_[1]->text() != date) panels_[1]->setText(date);
    if (panels_[2]->text() != time) panels_[2]->setText(time);
}

void frmMain::fixClockWidths() {
    // The date and time panels are as wide as their widest text from the
    // start, so a new text never re-lays the status bar.
    const QLocale locale;
    const QFontMetrics metrics(panels_[1]->font());
    const auto widest = [&](const QList<QString>& texts) {
        return *std::max_element(
            texts.begin(), texts.end(), [&](const QString& a, const QString& b) {
                return metrics.horizontalAdvance(a) < metrics.horizontalAdvance(b);
            });
    };
    // Each field's widest value with the others held: hours, minutes and
    // seconds (or months and days) take their widths independently.
    QList<QString> hours, minutes, seconds, months, days;
    for (int h = 0; h < 24; ++h) hours << locale.toString(QTime(h, 0), QLocale::ShortFormat);
    const int widestHour = int(hours.indexOf(widest(hours)));
    for (int m = 0; m < 60; ++m)
        minutes << locale.toString(QTime(widestHour, m), QLocale::ShortFormat);
    // Some locales show seconds too.
    const int widestMinute = int(minutes.indexOf(widest(minutes)));
    for (int second = 0; second < 60; ++second)
        seconds << locale.toString(QTime(widestHour, widestMinute, second), QLocale::ShortFormat);
    const int year = (deps_.now ? deps_.now() : QDateTime::currentDateTime()).date().year();
    for (int month = 1; month <= 12; ++month)
        months << locale.toString(QDate(year, month, 1), QLocale::ShortFormat);
    const int widestMonth = int(months.indexOf(widest(months))) + 1;
    for (int day = 1; day <= QDate(year, widestMonth, 1).daysInMonth(); ++day)
        days << locale.toString(QDate(year, widestMonth, day), QLocale::ShortFormat);
    const QString texts[] = {widest(days), widest(seconds)};
    for (int i = 0; i < 2; ++i) {
        panels_[i + 1]->setText(texts[i]);
        panels_[i + 1]->setMinimumWidth(panels_[i + 1]->sizeHint().width());
    }
}

QString frmMain::statusText() const {
    return panels_[0]->text();
}

void frmMain::setMainTitle(const QString& title) {
    setWindowTitle(title);
}

void frmMain::showStatusMessage(const QString& text) {
    ui->sbStatusBar->showMessage(text, 15000);
}

void frmMain::SetStatusText(const std::string& text) {
    // Every tick restates the text: compare before converting.
    if (!QAnyStringView::equal(panels_[0]->text(), QUtf8StringView(text)))
        panels_[0]->setText(QString::fromStdString(text));
}

}  // namespace quarnel
