#include "link/TracingBoard.h"
#include "unit/sim/SimTestSupport.h"

namespace quarnel::sim::test {
namespace {

using TracingBoardTest = SimTest;

// The wrapper's trace of a board must read exactly like the simulated board's own.
TEST_F(TracingBoardTest, WritesTheSimulatedBoardsLinesForTheSameCalls) {
    auto o = options();
    o.tracePath = (dir / "own.txt").string();
    SimulatedBoard board(o, clock);
    TracingBoard traced(board, (dir / "wrapped.txt").string(), o.warn);
    uint8_t bytes[6] = {};
    traced.VendorIORequest(222, 0x148, 0x4E, 1, 1, bytes);  // before the firmware
    traced.LoadFirmWare((dir / "missing.hex").c_str());
    traced.LoadFirmWare(shippedFirmware().c_str());
    traced.VendorIORequest(222, 0x148, 0x4E, 1, 1, bytes);
    traced.VendorIORequest(222, 0x148, -55 * 256 + 0x26, 0, 0, bytes);
    traced.VendorIORequest(221, 0, 0, 1, 6, bytes);
    traced.VendorIORequest(218, 0, 0, 1, 0, bytes);
    traced.VendorIORequest(218, 0, 0, 7, 1, bytes);
    traced.note("no permission to open the board");
    EXPECT_EQ(readFile(dir / "wrapped.txt"),
              readFile(dir / "own.txt") + "# no permission to open the board\n");
    const size_t boardWarnings = warnings.size();  // the missing image
    TracingBoard lost(board, (dir / "no-such-folder" / "t.txt").string(), o.warn);
    EXPECT_EQ(warnings.size(), boardWarnings + 1);
    EXPECT_EQ(lost.VendorIORequest(222, 0x148, 0x4E, 1, 1, bytes), 0);
}

}  // namespace
}  // namespace quarnel::sim::test
