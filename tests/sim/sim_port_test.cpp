#include "sim/sim_port.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using lpt::PortError;
using lpt::TimeNs;
using lpt::sim::PortCall;
using lpt::sim::SimPort;
using Levels = std::pair<bool, bool>;

// A device with a settable SDA output that logs what it is told. With ackOnFall it pulls SDA
// low in reply to a falling clock, the way a target starts an acknowledge.
class Probe : public lpt::sim::BusDevice {
public:
    void OnLines(bool scl, bool sda) override {
        seen.emplace_back(scl, sda);
        if (ackOnFall && !scl && sda) out = false;
    }
    bool SdaOut() const override { return out; }
    bool out = true;
    bool ackOnFall = false;
    std::vector<Levels> seen;
};

TEST(SimPort, SdaIsTheWiredAndOfMasterAndDevices) {
    SimPort port;
    Probe a, b;
    port.Attach(a);
    port.Attach(b);
    EXPECT_TRUE(port.Scl());
    EXPECT_EQ(port.GetPortBit(889, 3), 1) << "idle: both lines high";
    for (int bits = 0; bits < 8; ++bits) {
        const bool master = bits & 1, devA = bits & 2, devB = bits & 4;
        master ? port.SetPortBit(888, 0) : port.ClrPortBit(888, 0);
        a.out = devA;
        b.out = devB;
        EXPECT_EQ(port.Sda(), master && devA && devB) << bits;
        EXPECT_EQ(port.GetPortBit(889, 3), master && devA && devB ? 1 : 0) << bits;
    }
    a.out = false;  // master and b released, a pulling
    EXPECT_FALSE(port.Sda());
    port.Detach(a);
    EXPECT_TRUE(port.Sda()) << "a detached device no longer pulls the wire";
}

TEST(SimPort, RefusesEveryOtherPinWithoutEffect) {
    SimPort port;
    Probe dev;
    port.Attach(dev);
    EXPECT_THROW(port.SetPortBit(888, 1), PortError);
    EXPECT_THROW(port.ClrPortBit(890, 0), PortError);
    EXPECT_THROW(port.ClrPortBit(889, 3), PortError);  // the input cannot be driven
    EXPECT_THROW(port.SetPortBit(891, 2), PortError);
    EXPECT_THROW(port.GetPortBit(889, 6), PortError);
    EXPECT_THROW(port.GetPortBit(888, 0), PortError);  // outputs are not read back
    EXPECT_TRUE(port.Calls().empty());
    EXPECT_EQ(port.Writes() + port.Reads(), 0);
    EXPECT_TRUE(dev.seen.empty());
    EXPECT_TRUE(port.Scl() && port.Sda());
}

TEST(SimPort, RecordsEveryCallAndCountsWithRecordingOff) {
    lpt::SteppingClock clock(TimeNs{100}, TimeNs{5000});
    SimPort port({}, clock.Fn());
    port.ClrPortBit(890, 2);
    port.ClrPortBit(888, 0);
    port.ClrPortBit(888, 0);  // no change, still a call
    EXPECT_EQ(port.GetPortBit(889, 3), 0);
    const auto& c = port.Calls();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_TRUE(c[0].op == PortCall::Op::Clr && c[0].port == 890 && c[0].bit == 2);
    EXPECT_EQ(Levels(c[0].scl, c[0].sda), Levels(false, true));
    EXPECT_EQ(Levels(c[2].scl, c[2].sda), Levels(false, false));
    EXPECT_TRUE(c[3].op == PortCall::Op::Get && c[3].port == 889 && c[3].result == 0);
    for (std::size_t i = 0; i < c.size(); ++i) EXPECT_EQ(c[i].time, TimeNs{5000 + 100 * long(i)});
    EXPECT_EQ(port.Writes(), 3);
    EXPECT_EQ(port.Reads(), 1);

    port.SetRecording(false);
    port.ResetCounters();
    const TimeNs before = clock.Peek();
    port.SetPortBit(890, 2);
    port.GetPortBit(889, 3);
    EXPECT_EQ(c.size(), 4u);
    EXPECT_EQ(port.Writes(), 1);
    EXPECT_EQ(port.Reads(), 1);
    EXPECT_EQ(clock.Peek() - before, TimeNs{200}) << "the clock is read on unrecorded calls too";
    port.ClearCalls();
    EXPECT_TRUE(c.empty());
}

TEST(SimPort, TellsDevicesOnlyAboutChangesAndSettlesTheirReplies) {
    SimPort port;
    Probe acker, other;
    acker.ackOnFall = true;
    port.Attach(acker);
    port.Attach(other);
    port.SetPortBit(890, 2);  // already high: nothing to tell
    EXPECT_TRUE(acker.seen.empty());
    port.ClrPortBit(890, 2);
    // The clock fall, then the wire after the acknowledge, to every device.
    const std::vector<Levels> expected{{false, true}, {false, false}};
    EXPECT_EQ(acker.seen, expected);
    EXPECT_EQ(other.seen, expected);
    EXPECT_FALSE(port.Calls().back().sda) << "the record holds the settled wire";

    // A device changing out of turn is reported at the next write, even one that changes nothing.
    acker.ackOnFall = false;
    acker.out = true;
    port.ClrPortBit(890, 2);
    EXPECT_EQ(other.seen.back(), Levels(false, true));
}

TEST(SimPort, FailAfterThrowsWithoutTouchingAnything) {
    SimPort port;
    port.FailAfter(2, "cable pulled");
    port.ClrPortBit(890, 2);
    EXPECT_THROW(port.SetPortBit(888, 7), PortError);  // a refused pin does not use up a call
    port.ClrPortBit(888, 0);
    try {
        port.SetPortBit(888, 0);
        FAIL() << "expected PortError";
    } catch (const PortError& e) {
        EXPECT_STREQ(e.what(), "cable pulled");
    }
    EXPECT_THROW(port.GetPortBit(889, 3), PortError);
    EXPECT_FALSE(port.Sda() || port.Scl());
    EXPECT_EQ(port.Calls().size(), 2u);
    EXPECT_EQ(port.Writes() + port.Reads(), 2);
    port.ClearFailure();
    port.SetPortBit(888, 0);
    EXPECT_TRUE(port.Sda());
}

}  // namespace
