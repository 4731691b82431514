#include "UsbTestSupport.h"
#include "monitor/MasterPoll.h"
#include "monitor/Startup.h"

namespace quarnel::usb::test {
namespace {

class QuietNotifier final : public Notifier {
  public:
    void message(const std::string&, Icon) override {}
};

TEST_F(UsbTest, StartsUpAndPollsWithTwoTransfersPerTickUntilUnplugged) {
    plugIn();
    QuietNotifier notifier;
    std::vector<int> failures;
    Session session(*board, clock, notifier, [&](int code) { failures.push_back(code); });
    SilentProgress progress;
    RunConnectionSequence(session, progress, QUARNEL_SOURCE_DIR "/resources", true);
    EXPECT_EQ(session.link.DeviceAddress, 0x48);
    EXPECT_TRUE(emulated->firmwareRunning());
    MasterPoll poll(session);
    clock.advance(1.0);  // the chip converts in the meantime
    for (int tick = 0; tick < kPollStates; ++tick) {
        const size_t before = emulated->setups().size();
        clock.advance(0.01);
        poll.Tick(nullptr);
        EXPECT_EQ(emulated->setups().size(), before + 2);
    }
    EXPECT_NEAR(session.readings.Vdd, 3.3, 0.1);
    EXPECT_GT(session.readings.InternalTemp, 10.0f);
    EXPECT_TRUE(failures.empty());
    emulated->failNext(EmulatedUsbBoard::Fault::kUnplug);
    EXPECT_THROW(poll.Tick(nullptr), LinkFailure);
    EXPECT_EQ(failures, std::vector<int>{kCommsInterrupted});
}

}  // namespace
}  // namespace quarnel::usb::test
