#include <gtest/gtest.h>

#include "operations/operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;

TEST(BusScanTest, TheMemoryAloneAnswersItsEightBlockAddresses) {
    BusRig rig;
    BusScan(rig.bus, rig.feedback);
    EXPECT_EQ(rig.feedback.text, "A0 A2 A4 A6 A8 AA AC AE ");
    EXPECT_EQ(rig.feedback.caption, "254");
    EXPECT_EQ(rig.feedback.captionWrites, 128);
    EXPECT_EQ(rig.feedback.textReads, 8);
    EXPECT_EQ(rig.feedback.textWrites, 8);
    EXPECT_EQ(rig.feedback.beeps, 0);
    EXPECT_TRUE(rig.feedback.Only("disable").empty());

    // A second scan appends the same entries after the first ones.
    BusScan(rig.bus, rig.feedback);
    EXPECT_EQ(rig.feedback.text, "A0 A2 A4 A6 A8 AA AC AE A0 A2 A4 A6 A8 AA AC AE ");
}

TEST(BusScanTest, ProbesEveryEvenAddressOnceInRisingOrderAndNeverAnOddOne) {
    BusRig rig;
    std::vector<std::string> captions;
    BusScan(rig.bus, rig.feedback);
    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 128u);
    for (int i = 0; i < 128; ++i) {
        const int a = 2 * i;
        const bool memory = a >= 0xA0 && a <= 0xAE;
        EXPECT_EQ(trace.transactions[i], "S " + testing::Hex2(a) + (memory ? "+" : "-") + " P");
    }
    const auto captionEvents = rig.feedback.Only("caption");
    ASSERT_EQ(captionEvents.size(), 128u);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(captionEvents[i], "caption " + std::to_string(2 * i));
}

TEST(BusScanTest, TheTextIsUpdatedBeforeTheStopOfTheProbeThatHit) {
    BusRig rig;
    std::vector<long> setAt;
    rig.feedback.onEvent = [&](const std::string& e) {
        if (e.rfind("set", 0) == 0) setAt.push_back(static_cast<long>(rig.port.Calls().size()));
    };
    BusScan(rig.bus, rig.feedback);
    ASSERT_EQ(setAt.size(), 8u);
    // Right after the ninth clock of the address byte: SCL low, SDA released, no stop yet.
    const auto& call = rig.port.Calls()[static_cast<size_t>(setAt[0] - 1)];
    EXPECT_FALSE(call.scl);
}

TEST(BusScanTest, ASecondDeviceOnTheBusIsFoundToo) {
    BusRig rig;
    sim::SimResponder other{0x00, 0x0E};
    rig.port.Attach(other);
    BusScan(rig.bus, rig.feedback);
    EXPECT_EQ(rig.feedback.text, "0 E A0 A2 A4 A6 A8 AA AC AE ");
    EXPECT_EQ(rig.feedback.textReads, 10);
    rig.port.Detach(other);
}

TEST(BusScanTest, AnEmptyBusLeavesTheTextAsItWasAndStillCountsTo254) {
    BusRig rig(false);
    rig.feedback.text = "earlier ";
    BusScan(rig.bus, rig.feedback);
    EXPECT_EQ(rig.feedback.text, "earlier ");
    EXPECT_EQ(rig.feedback.caption, "254");
    EXPECT_EQ(rig.feedback.textReads, 0);
    EXPECT_EQ(rig.feedback.textWrites, 0);
    EXPECT_EQ(rig.bus.Ack, 0) << "Ack holds the answer to the last probe";
}

}  // namespace
}  // namespace lpt
