#include <gtest/gtest.h>

#include "operations/memory_bus.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

TEST(MemoryGeometryTest, OneFormulaGivesTheDeviceByteOfEveryAddress) {
    EXPECT_EQ(k24c16.BlockSize(), 256);
    EXPECT_EQ(k24c16.Blocks(), 8);
    EXPECT_EQ(k24c16.Pages(), 128);
    for (int a = 0; a < k24c16.size; ++a)
        ASSERT_EQ(k24c16.DeviceByte(a), 0xA0 + 2 * (a / 256)) << a;
}

TEST(MemoryBusTest, ASequentialReadEndsWithoutANinthClockOrWithANackAndRollsOver) {
    BusRig rig;
    LineMemoryBus memory(rig.bus);
    const auto& m = rig.eeprom.Memory();
    std::vector<std::uint8_t> got;
    const ByteSink keep = [&got](int i, std::uint8_t v) {
        EXPECT_EQ(i, static_cast<int>(got.size() % 3)) << "the index within its read";
        got.push_back(v);
    };
    EXPECT_TRUE(memory.SequentialRead(0x123, 3, keep, Opening::Once(), OnRefusal::StopThere)
                    .Answered());
    EXPECT_TRUE(memory
                    .SequentialRead(0x7FE, 3, keep, Opening::Once(), OnRefusal::StopThere,
                                    ReadEnding::NackAndStop)
                    .Answered());
    std::uint8_t single = 0;
    EXPECT_TRUE(memory.RandomRead(0x53C, single, Opening::Once(), OnRefusal::SendOn).Answered());

    EXPECT_EQ(got, (std::vector<std::uint8_t>{m[0x123], m[0x124], m[0x125], m[0x7FE], m[0x7FF],
                                              m[0x000]}));
    EXPECT_EQ(single, m[0x53C]);
    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 3u);
    EXPECT_EQ(trace.transactions[0], "S A2+ 23+ Sr A3+ " + Hex2(m[0x123]) + "+ " +
                                         Hex2(m[0x124]) + "+ " + Hex2(m[0x125]) + ". P");
    EXPECT_EQ(trace.transactions[1], "S AE+ FE+ Sr AF+ " + Hex2(m[0x7FE]) + "+ " +
                                         Hex2(m[0x7FF]) + "+ " + Hex2(m[0x000]) + "- P")
        << "a ninth clock with SDA released, then the stop";
    EXPECT_EQ(trace.transactions[2], "S AA+ 3C+ Sr AB+ " + Hex2(m[0x53C]) + ". P")
        << "the memory took the NACK's stop and answers the next read";
}

TEST(MemoryBusTest, RefusedBytesAreSentOnOrEndTheTransactionAsAsked) {
    BusRig rig(false);
    LineMemoryBus memory(rig.bus, rig.clock.Fn());
    const std::uint8_t data[] = {0x01, 0x02};
    const Transfer sentOn = memory.PageWrite(0x10, data, 2, Opening::Once(), OnRefusal::SendOn);
    const Transfer stopped = memory.PageWrite(0x10, data, 2, Opening::Once(), OnRefusal::StopThere);
    const Transfer polled =
        memory.SequentialRead(0x310, 2, {}, Opening::Polling(TimeNs{0}), OnRefusal::StopThere);
    bool toldWhileOpen = false;
    EXPECT_FALSE(memory.Probe(0xA0, [&] { toldWhileOpen = true; }));
    EXPECT_FALSE(toldWhileOpen);
    for (const Transfer& t : {sentOn, stopped, polled})
        EXPECT_EQ(t.refused, Transfer::Byte::DeviceAddress);
    const std::vector<std::string> expected = {"S A0- 10- 01- 02- P", "S A0- P", "S A6- P",
                                               "S A0- P"};
    EXPECT_EQ(rig.Decode().transactions, expected);
    EXPECT_TRUE(rig.port.Sda() && rig.port.Scl());
}

}  // namespace
}  // namespace lpt
