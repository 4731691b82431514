// SPDX-License-Identifier: GPL-3.0-or-later
// File > Save/Load Register Settings... on the simulated board: the dialogs
// are recorded, the load shows its changes and writes only when confirmed.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTableWidget>

#include "gui/app/AppTestSupport.h"
#include "windows/profile/frmProfileChanges.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// The file both choosers return, and what the load confirmation was shown.
struct Dialogs {
    QString file;
    bool answer = false;
    std::vector<std::vector<RegisterChange>> shown;
    QString warning;
    ProfileDialogs make() {
        const auto choose = [this](QWidget*, const QString&, const QString&,
                                   const QString& filter) -> std::optional<QString> {
            if (filter != QLatin1String("Register Settings (*.json)")) return std::nullopt;
            return file;
        };
        return {choose, choose,
                [this](QWidget*, const QString&, const std::vector<RegisterChange>& changes,
                       const QString& why) {
                    shown.push_back(changes);
                    warning = why;
                    return answer;
                }};
    }
};

int chipValue(AppHarness& h, int reg) {
    return h.board->peekRegister(reg);
}

}  // namespace

class ProfileTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { AppSettings().setValue(keys::kDisplayHelp, "False"); }

    void fileMenuOffersBothAfterLogData() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        QStringList texts;
        for (QAction* a : h.main().findChild<QMenu*>("mnuFile")->actions()) texts << a->text();
        QCOMPARE(texts, QStringList({"&Log Data", "&Save Register Settings...",
                                     "Loa&d Register Settings...", "&Open Log...", "E&xit"}));
    }

    void loadShowsTheChangesAndWritesOnlyWhenConfirmed() {
        Dialogs dialogs;
        HarnessOptions options;
        options.profileDialogs = dialogs.make();
        AppHarness h(options);
        dialogs.file = h.file("bench.json");
        QVERIFY(h.app->StartApplication());
        BoardFeed& feed = h.app->feed();
        h.main().findChild<QAction*>("mnuSaveProfile")->trigger();
        QVERIFY(h.main().statusBar()->currentMessage().startsWith("Register settings saved to "));
        const int limit = chipValue(h, 0x25);
        feed.post(board::WriteRegister{0x25, 0x20});
        feed.post(board::WriteRegister{0x18, 0x05});  // external temperature
        QCOMPARE(feed.deviceState().ChannelMode, ChannelFunction::ExternalTemp);

        QAction* load = h.main().findChild<QAction*>("mnuLoadProfile");
        load->trigger();  // answered Cancel
        QCOMPARE(dialogs.shown.size(), size_t(1));
        const auto& changes = dialogs.shown[0];
        QCOMPARE(changes.size(), size_t(2));
        QCOMPARE(changes[0].name, std::string("Configuration 1"));
        QCOMPARE(changes[1].address, 0x25);
        QCOMPARE(changes[1].chip, 0x20);
        QCOMPARE(changes[1].file, limit);
        QVERIFY(dialogs.warning.isEmpty());
        QCOMPARE(chipValue(h, 0x25), 0x20);

        dialogs.answer = true;
        load->trigger();
        QCOMPARE(chipValue(h, 0x25), limit);
        QCOMPARE(feed.deviceState().ChannelMode, ChannelFunction::AinInputs);  // the hook ran
        QVERIFY(h.main().statusBar()->currentMessage().endsWith(": 2 registers written"));
    }

    void aBadFileIsRefusedWithItsReasonAndNothingWritten() {
        Dialogs dialogs;
        HarnessOptions options;
        options.profileDialogs = dialogs.make();
        AppHarness h(options);
        dialogs.file = h.file("bad.json");
        QFile bad(dialogs.file);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(R"({"format": "quarnel-register-profile", "version": 1, "chip": )");
        bad.close();
        QVERIFY(h.app->StartApplication());
        h.counting->clear();
        h.main().findChild<QAction*>("mnuLoadProfile")->trigger();
        QVERIFY(h.counting->writes.empty());
        QVERIFY(dialogs.shown.empty());
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QVERIFY(h.notifier.messages[0].text.find("the file ends too early") != std::string::npos);
        QCOMPARE(h.main().statusBar()->currentMessage(), QString("Register settings not loaded"));
    }

    void changesDialogListsRegisterNameChipAndFile() {
        frmProfileChanges dialog;
        dialog.showChanges("p.json", {{0x25, "Internal High Limit", 0x64, 0x50}},
                           "the profile is from a chip with Device ID 52h, this chip's is 51h");
        auto* table = dialog.findChild<QTableWidget*>("tblChanges");
        QCOMPARE(table->rowCount(), 1);
        QStringList cells;
        for (int c = 0; c < 4; ++c) cells << table->item(0, c)->text();
        QCOMPARE(cells, QStringList({"25h", "Internal High Limit", "64h (100)", "50h (80)"}));
        QVERIFY(dialog.findChild<QLabel*>("lblWarning")->text().endsWith("Load it anyway?"));
        QCOMPARE(dialog.findChild<QLabel*>("lblSummary")->text(),
                 QString("Loading p.json writes 1 register:"));
    }
};

QUARNEL_APP_TEST_MAIN(ProfileTest)
#include "tst_profile.moc"
