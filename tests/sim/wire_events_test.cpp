#include "sim/wire_events.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using lpt::sim::PortCall;
using lpt::sim::WireEvent;
using Strings = std::vector<std::string>;

TEST(WireWalker, ReportsEachLineChangeTakesSdaAtTheLowSideOfAClockEdgeAndCatchesUp) {
    std::vector<PortCall> calls;
    for (const auto& [scl, sda] : std::vector<std::pair<bool, bool>>{
             {1, 1}, {1, 0}, {0, 0}, {0, 1}, {1, 1},  // idle, start, one bit
             {0, 0}, {1, 1},                          // both lines moved, twice
             {1, 0}, {0, 0}, {1, 0}, {1, 1}})         // repeated start, a bit, stop
        calls.push_back({PortCall::Op::Set, 888, 0, 0, scl, sda, lpt::TimeNs(100 * calls.size())});
    Strings events;
    lpt::sim::WireWalker walker([&](const WireEvent& e) {
        static const char* const kNames[] = {"rise", "fall", "start", "stop", "data"};
        EXPECT_EQ(e.time, calls.at(e.index).time);
        events.push_back(std::to_string(e.index) + kNames[int(e.kind)] + (e.sda ? "1" : "0"));
    });
    const std::vector<PortCall> all = calls;
    calls.resize(6);  // a record still growing
    walker.CatchUp(calls);
    walker.CatchUp(calls);  // nothing new: nothing reported twice
    calls = all;
    walker.CatchUp(calls);
    EXPECT_EQ(walker.Fed(), all.size());
    EXPECT_EQ(events, (Strings{"1start0", "2fall0", "3data1", "4rise1", "5fall1", "5data0",
                               "6data1", "6rise1", "7start0", "8fall0", "9rise0", "10stop1"}));
    EXPECT_EQ(lpt::sim::CountWireEvents(all, lpt::sim::WireEventKind::SclRise), 3);
    EXPECT_EQ(lpt::sim::CountWireEvents(all, lpt::sim::WireEventKind::Stop), 1);
}

}  // namespace
