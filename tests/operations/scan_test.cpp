#include <gtest/gtest.h>

#include <algorithm>

#include "operations/operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;

// What the scan tells, in order ("answered A0", "probed 160"), and the last port call made by
// each time it tells it.
struct ScanLog : ScanListener {
    explicit ScanLog(const sim::SimPort& port) : port_(port) {}
    void Answered(std::uint8_t address) override { Log("answered " + HexForm(address)); }
    void Probed(std::uint8_t address) override { Log("probed " + std::to_string(address)); }

    void Log(const std::string& entry) {
        events.push_back(entry);
        lastCalls.push_back(port_.Calls().empty() ? sim::PortCall{} : port_.Calls().back());
    }
    // Only the entries that start with the prefix.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

    std::vector<std::string> events;
    std::vector<sim::PortCall> lastCalls;

private:
    const sim::SimPort& port_;
};

const std::vector<std::uint8_t> kBlockAddresses = {0xA0, 0xA2, 0xA4, 0xA6,
                                                   0xA8, 0xAA, 0xAC, 0xAE};

TEST(BusScanTest, TheMemoryAloneAnswersItsEightBlockAddresses) {
    BusRig rig;
    ScanLog log(rig.port);
    EXPECT_EQ(BusScan(rig.bus, log), kBlockAddresses);
    EXPECT_EQ(log.Only("answered").size(), 8u);
    EXPECT_EQ(log.Only("probed").size(), 128u);
    EXPECT_EQ(log.events.back(), "probed 254");

    // A second scan finds the same.
    EXPECT_EQ(BusScan(rig.bus), kBlockAddresses);
}

TEST(BusScanTest, ProbesEveryEvenAddressOnceInRisingOrderAndNeverAnOddOne) {
    BusRig rig;
    ScanLog log(rig.port);
    BusScan(rig.bus, log);
    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 128u);
    for (int i = 0; i < 128; ++i) {
        const int a = 2 * i;
        const bool memory = a >= 0xA0 && a <= 0xAE;
        EXPECT_EQ(trace.transactions[i], "S " + testing::Hex2(a) + (memory ? "+" : "-") + " P");
    }
    const auto probed = log.Only("probed");
    ASSERT_EQ(probed.size(), 128u);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(probed[i], "probed " + std::to_string(2 * i));
}

TEST(BusScanTest, AnAnswerIsToldBeforeTheStopOfItsProbeAndEachProbeAfterIt) {
    BusRig rig;
    ScanLog log(rig.port);
    BusScan(rig.bus, log);
    const auto at = std::find(log.events.begin(), log.events.end(), "answered A0");
    ASSERT_NE(at, log.events.end());
    const size_t i = static_cast<size_t>(at - log.events.begin());
    // Right after the ninth clock of the address byte: SCL low, SDA released, no stop yet.
    EXPECT_FALSE(log.lastCalls[i].scl);
    // Then the stop (SDA rising with SCL high), then the probe is told.
    ASSERT_EQ(log.events[i + 1], "probed 160");
    EXPECT_TRUE(log.lastCalls[i + 1].scl && log.lastCalls[i + 1].sda);
}

TEST(BusScanTest, ASecondDeviceOnTheBusIsFoundToo) {
    BusRig rig;
    sim::SimResponder other{0x00, 0x0E};
    rig.port.Attach(other);
    ScanLog log(rig.port);
    std::vector<std::uint8_t> expected = {0x00, 0x0E};
    expected.insert(expected.end(), kBlockAddresses.begin(), kBlockAddresses.end());
    EXPECT_EQ(BusScan(rig.bus, log), expected);
    EXPECT_EQ(log.Only("answered").size(), 10u);
    rig.port.Detach(other);
}

TEST(BusScanTest, AnEmptyBusAnswersNothingAndStillProbesTo254) {
    BusRig rig(false);
    ScanLog log(rig.port);
    EXPECT_TRUE(BusScan(rig.bus, log).empty());
    EXPECT_TRUE(log.Only("answered").empty());
    EXPECT_EQ(log.events.back(), "probed 254");
    EXPECT_EQ(rig.bus.Ack, 0) << "Ack holds the answer to the last probe";
}

}  // namespace
}  // namespace lpt
