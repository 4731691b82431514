// SPDX-License-Identifier: GPL-3.0-or-later
// The help window (page, start-up choice, placement) and the About window
// (texts, link style, links through the URL opener).

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>

#include "gui/app/AppTestSupport.h"
#include "gui/support/SessionRig.h"
#include "windows/about/frmAbout.h"
#include "windows/help/frmHelp.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// A main window of known size hosting one child, as the program does.
struct Host {
    Host() {
        main.setCentralWidget(area);
        main.resize(1000, 800);
        main.show();
    }
    QMdiSubWindow* add(QWidget* window) {
        QMdiSubWindow* sub = area->addSubWindow(window);
        sub->resize(400, 300);
        sub->show();
        return sub;
    }
    QMainWindow main;
    QMdiArea* area = new QMdiArea;
};

}  // namespace

class HelpAboutTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { clearSettings(); }

    void helpShowsThePageBesideTheProgram() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QUARNEL_SOURCE_DIR "/resources/MORVANEHelp.htm",
                            dir.path() + "/MORVANEHelp.htm"));
        SessionRig rig(0x48);
        frmHelp help(rig.feed, rig.host, dir.path());
        QCOMPARE(help.windowTitle(), QString("Help"));
        auto* browser = help.findChild<QTextBrowser*>("brwWebBrowser");
        QCOMPARE(browser->source(), QUrl::fromLocalFile(dir.path() + "/MORVANEHelp.htm"));
        const QString page = browser->toPlainText();
        for (const char* section :
             {"Start-up", "Connection", "The main window", "The simulated board",
              "The command-line tool", "quarnelctl sim replug"})
            QVERIFY2(page.contains(section), section);

        // A screen reader finds each link by its text and follows it as Enter does.
        QAccessibleInterface* links = QAccessible::queryAccessibleInterface(browser->viewport());
        QStringList names;
        for (int i = 0; i < links->childCount(); ++i)
            if (links->child(i)->role() == QAccessible::Link)
                names << links->child(i)->text(QAccessible::Name);
        QCOMPARE(names.size(), links->childCount());
        QVERIFY(names.contains("The simulated board") && names.contains("Graphs"));
        QSignalSpy followed(browser, &QTextBrowser::anchorClicked);
        links->child(int(names.indexOf("Graphs")))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(followed.value(0).value(0).toUrl().fragment(), QString("graphs"));

        frmHelp missing(rig.feed, rig.host, dir.path() + "/nowhere");
        QVERIFY(missing.findChild<QTextBrowser*>("brwWebBrowser")
                    ->toPlainText()
                    .contains("MORVANEHelp.htm was not found"));
    }

    void helpChoiceRoundTrip() {
        SessionRig rig(0x48);  // ShowHelpAtStartup false, as at program start
        {
            auto* help = new frmHelp(rig.feed, rig.host, QDir::tempPath());
            auto* chk = help->findChild<QCheckBox*>("chkHelp");
            QCOMPARE(chk->text(), QString("Don't display this form on start-up"));
            QVERIFY(chk->isChecked());
            help->close();
            delete help;
        }
        QCOMPARE(storedSetting(keys::kDisplayHelp), QString("False"));
        QVERIFY(!rig.feed.flags().ShowHelpAtStartup);
        {
            frmHelp help(rig.feed, rig.host, QDir::tempPath());
            help.findChild<QCheckBox*>("chkHelp")->setChecked(false);
            help.close();
        }
        QCOMPARE(storedSetting(keys::kDisplayHelp), QString("True"));
        QVERIFY(rig.feed.flags().ShowHelpAtStartup);
        {
            frmHelp help(rig.feed, rig.host, QDir::tempPath());
            QVERIFY(!help.findChild<QCheckBox*>("chkHelp")->isChecked());
        }

        // The next start reads the choice back.
        AppSettings().setValue(keys::kDisplayHelp, "False");
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        QVERIFY(!h.app->feed().flags().ShowHelpAtStartup);
        QCOMPARE(h.main().subWindow(ToolWindow::Help), nullptr);
    }

    void childWindowsSitCentredAndRaised() {
        Host host;
        SessionRig rig(0x48);
        QMdiSubWindow* help = host.add(new frmHelp(rig.feed, rig.host, QDir::tempPath()));
        // Centred on the main window, 1500 twips (100 pixels) above centre.
        const QSize main = host.main.frameGeometry().size();
        const QPoint expected((main.width() - 400) / 2, (main.height() - 300) / 2 - 100);
        QVERIFY(qAbs(expected.x() - 300) <= 8 && qAbs(expected.y() - 150) <= 8);
        QCOMPARE(help->size(), QSize(400, 300));
        QCOMPARE(help->pos(), expected);
        QMdiSubWindow* about = host.add(new frmAbout(rig.host, {}));
        QCOMPARE(about->pos(), expected);

        host.main.resize(500, 300);  // too small: the title bar stays in reach
        QMdiSubWindow* again = host.add(new frmAbout(rig.host, {}));
        QCOMPARE(again->pos().y(), 0);
    }

    void aboutWindowTextsAndLinks() {
        Host host;
        std::vector<QUrl> opened;
        RecordingHost recorder;
        auto* about = new frmAbout(recorder, [&](const QUrl& url) { opened.push_back(url); });
        QMdiSubWindow* sub = host.add(about);
        QCOMPARE(about->windowTitle(), QString("About the PELLIRA Evaluatiton Software"));

        auto* title = about->findChild<QLabel*>("Label1");
        QCOMPARE(title->text(), QString("QUARNEL Evaluation Software Version ") + kAppVersion);
        QVERIFY(title->font().bold());
        QCOMPARE(title->font().pointSizeF(), 9.75);
        // The licence is named where no text of the window changes.
        QVERIFY(about->accessibleDescription().contains("GPL-3.0-or-later"));
        QVERIFY(title->toolTip().contains("GPL-3.0-or-later"));

        auto* sensors = about->findChild<QLabel*>("lblSensorInfo");
        auto* home = about->findChild<QLabel*>("Label6");
        QCOMPARE(sensors->text(), QString("here"));
        QCOMPARE(home->text(), QString("https://www.example.com/"));
        QVERIFY(!about->findChild<QLabel*>("Label4")->text().isEmpty());
        QVERIFY(!about->findChild<QLabel*>("Label5")->text().isEmpty());
        for (QLabel* link : {sensors, home}) {
            QVERIFY(link->font().bold());
            QVERIFY(link->font().underline());
            QCOMPARE(link->font().pointSizeF(), 8.25);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 192));
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
            // Same line as its invitation.
            QCOMPARE(link->y(),
                     about->findChild<QLabel*>(link == sensors ? "Label4" : "Label5")->y());
        }

        QTest::mouseClick(sensors, Qt::LeftButton);
        QTest::mouseClick(home, Qt::LeftButton);
        QTest::mouseClick(home, Qt::RightButton);  // not a click on a link
        sensors->setFocus();
        QTest::keyClick(sensors, Qt::Key_Return);
        QCOMPARE(opened, std::vector<QUrl>({QUrl("https://www.example.com/temp-sensors"),
                                            QUrl("https://www.example.com/"),
                                            QUrl("https://www.example.com/temp-sensors")}));
        QVERIFY(sub->isVisible());  // the links leave the window open

        QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        QVERIFY(sub->isHidden());
    }
};

QUARNEL_APP_TEST_MAIN(HelpAboutTest)
#include "tst_helpabout.moc"
