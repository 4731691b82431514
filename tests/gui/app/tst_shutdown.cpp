// Ending the program while a dialog or message box of ours runs its own loop,
// and while the start-up waits: nothing is deleted under the handler that
// opened the dialog, nobody has to press OK, the placement is saved.

#include <QDialog>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <csignal>

#include "app/Platform.h"
#include "app/SignalBridge.h"
#include "gui/app/AppTestSupport.h"

using namespace quarnel;
using namespace quarnel::test;

class ShutdownTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        clearSettings();
        AppSettings().setValue(keys::kDisplayHelp, "False");
    }

    void endWhileADialogRuns_data() {
        QTest::addColumn<bool>("fileDialog");   // else a message box
        QTest::addColumn<bool>("cablePulled");  // else SIGTERM
        QTest::addColumn<int>("status");
        QTest::newRow("signal, Start Logging's file dialog") << true << false << 0;
        QTest::newRow("signal, message box") << false << false << 0;
        QTest::newRow("pulled cable, message box") << false << true << 3;
    }
    void endWhileADialogRuns() {
        QFETCH(bool, fileDialog);
        QFETCH(bool, cablePulled);
        QFETCH(int, status);
        bool stuck = false, windowSurvived = false;
        std::unique_ptr<AppHarness> h;
        // What a signal or a failing tick does while the dialog's loop runs;
        // then a look whether that ended the dialog.
        const auto endInside = [&] {
            QTimer::singleShot(0, [&] {
                if (cablePulled)
                    h->app->HandleLinkFailure(kCommsInterrupted);
                else
                    h->app->requestClose();
                QTimer::singleShot(0, [&] {
                    if (QWidget* open = QApplication::activeModalWidget()) {
                        stuck = true;
                        open->close();
                    }
                });
            });
        };
        HarnessOptions options;
        options.fakeWindows = false;
        options.createWindow = [&](ToolWindow which, const WindowContext& c) {
            // A chooser that runs a dialog the way QFileDialog does.
            WindowContext withDialog = c;
            withDialog.chooseFile = [&](QWidget* parent, const QString&, const QString&,
                                        const QString&) -> std::optional<QString> {
                QPointer<QWidget> window(parent);
                QPointer<QDialog> dialog = new QDialog(parent);
                endInside();
                dialog->exec();
                delete dialog;
                windowSurvived = !window.isNull();
                return std::nullopt;
            };
            return CreateToolWindow(which, withDialog);
        };
        h = std::make_unique<AppHarness>(options);
        QVERIFY(h->app->StartApplication());
        QTimer::singleShot(0, [&] {
            if (fileDialog) {
                h->main().openWindow(ToolWindow::Logging);
                auto* logging = h->main().subWindow(ToolWindow::Logging)->widget();
                QMetaObject::invokeMethod(logging->findChild<QPushButton*>("cmdLog"), "click");
            } else {
                endInside();
                QtNotifier().message("Limits not written", Notifier::Icon::Warning);
                windowSurvived = true;
            }
        });
        const int exitStatus = h->app->exec();

        QVERIFY(!stuck);
        QVERIFY(windowSurvived);
        QCOMPARE(exitStatus, status);
        QVERIFY(h->main().closed());
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
    }

    void signalDuringTheSettlingDelaysEndsTheStartUp() {
        HarnessOptions options;
        options.quick = false;
        AppHarness h(options);
        SignalBridge bridge;
        connect(&bridge, &SignalBridge::terminateRequested, this, [&] { h.app->requestClose(); });
        std::raise(SIGINT);
        QVERIFY(!h.app->StartApplication());
        QCOMPARE(h.app->exitStatus(), 0);
        // The first delay woke on the signal instead of running the 3.4 s of them.
        QVERIFY2(h.clock.monotonic() < 0.1, qPrintable(QString::number(h.clock.monotonic())));
        QVERIFY(h.main().closed());
        QVERIFY(h.notifier.messages.empty());
    }
};

QUARNEL_APP_TEST_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
