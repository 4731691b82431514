// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Startup.h"

#include <cmath>
#include <cstdio>

#include "device/ChipRegisters.h"
#include "link/BoardSwitches.h"

namespace quarnel {

int ProgressUnit(double initialWidthTwips) {
    const double whole = std::nearbyint(initialWidthTwips);
    return static_cast<int>(std::floor(whole / 100.0));
}

std::string HexAddressText(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%Xh", static_cast<unsigned>(value));
    return text;
}

void RunConnectionSequence(Session& session, StartupProgress& progress,
                           const std::string& applicationDir, bool quick) {
    BoardLink& link = session.link;
    // The settling delays give the board time after the download and the
    // bus switch; the simulated board needs none of them.
    auto wait = [&](float ms) {
        if (!link.DelayMs(ms)) throw StartupCancelled();
    };
    auto settle = [&](float ms) {
        if (!quick) wait(ms);
    };
    // A stop may be asked for at any moment (the GUI's worker runs on a thread
    // of its own): once it is, nothing more goes to the board.
    auto stopIfAsked = [&] {
        if (link.stopRequested && link.stopRequested()) throw StartupCancelled();
    };

    const int unit = ProgressUnit(progress.initialBarWidthTwips());
    double bar = 0.0;
    progress.setBarWidthTwips(bar);
    progress.showProgress();
    progress.setProgressText("Downloading Firmware...");

    session.ChipName = kChipName;

    stopIfAsked();
    if (link.DownloadFirmware(applicationDir) < 0) {
        // A USB board's wait for its return ends at a stop request too.
        stopIfAsked();
        link.ReportLinkFailure(kFirmwareFailed);
    }
    progress.setStatusText(kFirmwareOkText);
    bar = 33.0 * unit;
    progress.setBarWidthTwips(bar);

    progress.setProgressText("Enumerating...");
    do {
        bar += unit / 2.0;
        progress.setBarWidthTwips(bar);
        settle(50);
    } while (bar < 50.0 * unit);

    progress.setProgressText("Connecting...");
    bool selected = false;
    for (int attempt = 0; attempt < kBusSelectAttempts && !selected; ++attempt) {
        stopIfAsked();
        selected = SelectSmbusInterface(link) == 0;
        settle(200);
    }
    if (!selected) link.ReportLinkFailure(kConnectionFailed);

    bar = 76.0 * unit;
    progress.setBarWidthTwips(bar);
    progress.setProgressText("Searching for " + session.ChipName + " on USB...");
    settle(1000);

    bool found = false;
    for (int address = chip::kFirstBusAddress; address <= chip::kLastBusAddress && !found;
         ++address) {
        bar += 5.0 * unit;
        progress.setBarWidthTwips(bar);
        stopIfAsked();
        if (link.ReadRegister(address, chip::kCompanyId) == chip::kCompanyIdValue) {
            link.DeviceAddress = address;
            found = true;
        }
    }
    if (!found) link.ReportLinkFailure(kConnectionFailed);

    bar = 100.0 * unit;
    progress.setBarWidthTwips(bar);
    progress.setProgressText("Found an " + session.ChipName + " at " +
                             HexAddressText(link.DeviceAddress));

    // Setting MON starts the conversions; the write's hook sets the pin mode.
    stopIfAsked();
    const int32_t config1 = link.ReadRegister(link.DeviceAddress, chip::kConfig1);
    link.WriteRegister(link.DeviceAddress, chip::kConfig1, config1 | chip::kConfig1Mon);
    // Even a quick start waits for one round of conversions (ten channels at 11.6 ms
    // with the slow ADC clock), so the first readings are real ones.
    wait(quick ? kFirstConversionsMs : 2000);

    session.device.InitDeviceState();
    for (int32_t reg : {chip::kConfig3, chip::kMask1, chip::kMask2})
        session.device.OnRegisterWritten(reg);
}

}  // namespace quarnel
