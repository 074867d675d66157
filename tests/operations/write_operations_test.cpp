#include <gtest/gtest.h>

#include "operations/memory_bus.h"
#include "operations/operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

// Splits the record at every event-processing turn of a pause: each entry is the number of
// port calls made before that turn.
struct PauseMarks {
    explicit PauseMarks(BusRig& rig) {
        rig.duringPause = [this, &rig] { marks.push_back(static_cast<long>(rig.port.Calls().size())); };
    }
    std::vector<long> marks;
};

// Index of the port call that ends each transaction (its stop).
std::vector<long> StopIndexes(const std::vector<sim::PortCall>& calls) {
    std::vector<long> out;
    sim::WalkWire(calls, [&out](const sim::WireEvent& e) {
        if (e.kind == sim::WireEventKind::Stop) out.push_back(static_cast<long>(e.index) + 1);
    });
    return out;
}

// How often `needle` occurs in `text`.
long Occurrences(const std::string& text, const std::string& needle) {
    long n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

// One sequential read of block 0, as the writes read back what they wrote.
std::string ExpectedReadBack(const std::vector<int>& block0) {
    std::string t = "S A0+ 00+ Sr A1+";
    for (int i = 0; i < 256; ++i) t += " " + Hex2(block0[i]) + (i == 255 ? "." : "+");
    return t + " P";
}

// The read-back, the last transaction of a write, has no pause after it.
void ExpectPauseAfterEveryTransaction(const BusRig& rig, const PauseMarks& pm) {
    const auto stops = StopIndexes(rig.port.Calls());
    for (size_t t = 0; t + 1 < stops.size(); ++t) {
        const long end = stops[t + 1];
        const bool paused = std::any_of(pm.marks.begin(), pm.marks.end(),
                                        [&](long m) { return m >= stops[t] && m < end; });
        EXPECT_TRUE(paused) << "no pause after transaction " << t;
    }
}

TEST(BlockFillTest, FillsBlock0WithFFInSixteenPageWritesAndLeavesTheRestAlone) {
    BusRig rig;
    const auto before = rig.eeprom.Memory();
    PauseMarks pm(rig);
    const OperationResult r = BlockFill(rig.bus, rig.pause);

    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 17u);
    for (int p = 0; p < 16; ++p) {
        std::string expected = "S A0+ " + Hex2(16 * p) + "+";
        for (int n = 0; n < 16; ++n) expected += " FF+";
        EXPECT_EQ(trace.transactions[p], expected + " P") << p;
    }
    EXPECT_EQ(trace.transactions[16], ExpectedReadBack(std::vector<int>(256, 0xFF)));
    EXPECT_EQ(r.readBack.compared, 256);
    EXPECT_TRUE(r.readBack.answered);
    EXPECT_TRUE(r.readBack.mismatches.empty());
    ExpectPauseAfterEveryTransaction(rig, pm);
    EXPECT_EQ(rig.eeprom.RefusedAddresses(), 0) << "no transaction fell inside a write cycle";
    EXPECT_EQ(r.unanswered, 0);

    // A block read afterwards shows FF in block 0 and blocks 1 to 7 unchanged.
    rig.port.ClearCalls();
    BlockRead(rig.bus, rig.grid);
    for (int a = 0; a < 2048; ++a) {
        const int expected = a < 256 ? 0xFF : before[a];
        ASSERT_EQ(rig.grid.CellText(a / 16 + 1, a % 16 + 1), HexForm(expected)) << a;
    }
}

TEST(WriteStartTest, BothWritesSayTheBusIsReadyOnceAfterTheBusCheckAndBeforeAnyTransaction) {
    for (const bool pattern : {false, true}) {
        SCOPED_TRACE(pattern ? "pattern" : "fill");
        BusRig rig;
        std::vector<size_t> callsAtReady;
        const BusReady ready = [&] { callsAtReady.push_back(rig.port.Calls().size()); };
        const OperationResult r = pattern ? PatternWrite(rig.bus, rig.pause, nullptr, ready)
                                          : BlockFill(rig.bus, rig.pause, nullptr, ready);
        EXPECT_EQ(r.unanswered, 0);
        EXPECT_EQ(callsAtReady, std::vector<size_t>{1}) << "the bus check's status read only";
    }
}

TEST(PatternWriteTest, WritesValueIAtWordAddressIOneTransactionEach) {
    BusRig rig;
    const auto before = rig.eeprom.Memory();
    PauseMarks pm(rig);
    const OperationResult r = PatternWrite(rig.bus, rig.pause);

    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    ASSERT_EQ(trace.transactions.size(), 257u);
    std::vector<int> pattern(256);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(trace.transactions[i], "S A0+ " + Hex2(i) + "+ " + Hex2(i) + "+ P") << i;
        pattern[i] = i;
    }
    EXPECT_EQ(trace.transactions[256], ExpectedReadBack(pattern));
    EXPECT_TRUE(r.readBack.mismatches.empty());
    ExpectPauseAfterEveryTransaction(rig, pm);
    EXPECT_EQ(rig.eeprom.RefusedAddresses(), 0);
    EXPECT_EQ(r.transactions, 256);
    EXPECT_EQ(r.unanswered, 0);
    for (int a = 0; a < 2048; ++a)
        ASSERT_EQ(rig.eeprom.Memory()[a], a < 256 ? a : before[a]) << a;
}

TEST(WriteWithoutMemoryTest, BothWritesRunToTheEndAndCountEveryTransaction) {
    BusRig rig(false);
    const OperationResult fill = BlockFill(rig.bus, rig.pause);
    const auto polls = rig.Decode().transactions;
    ASSERT_GT(polls.size(), 16u);
    for (size_t t = 16; t < polls.size(); ++t) ASSERT_EQ(polls[t], "S A0- P") << "read-back polls";
    EXPECT_EQ(fill.transactions, 16);
    EXPECT_EQ(fill.unanswered, 16);
    EXPECT_TRUE(fill.readBackDone);
    EXPECT_FALSE(fill.readBack.answered);
    rig.port.ClearCalls();
    const OperationResult pattern = PatternWrite(rig.bus, rig.pause);
    EXPECT_EQ(pattern.transactions, 256);
    EXPECT_EQ(pattern.unanswered, 256);
    // Only the first transaction of a run waits for the missing memory (100 ms at 100 us a
    // clock reading: the minimum 1000 polls); the others go out as they always did.
    const auto t = rig.Decode().transactions;
    ASSERT_EQ(t.size(), 256u + 1u);
    std::string first = "S A0-";
    for (int n = 0; n < MinimumPolls(kWriteCycleLimit); ++n) first += " Sr A0-";
    EXPECT_EQ(t[0], first + " 00- 00- P");
    for (size_t i = 1; i < 256; ++i) ASSERT_EQ(t[i], "S A0- " + Hex2(i) + "- " + Hex2(i) + "- P");
    EXPECT_EQ(t[256], "S A0- P") << "the read-back, after a run that waited in vain: one poll";
}

TEST(WriteCycleTest, AMemorySlowerThanThePauseIsWaitedForByRepeatingTheStartAndTheAddress) {
    // Old parts take 10 ms: each write transaction finds the memory still busy with the one
    // before, and its opening start and device address are repeated until acknowledged.
    for (const OperationKind kind : {OperationKind::PatternWrite, OperationKind::BlockFill}) {
        SCOPED_TRACE(kind == OperationKind::PatternWrite ? "pattern" : "fill");
        BusRig rig;
        rig.eeprom.SetWriteCycle(std::chrono::milliseconds(10));
        const bool pattern = kind == OperationKind::PatternWrite;
        const OperationResult r = pattern ? PatternWrite(rig.bus, rig.pause)
                                          : BlockFill(rig.bus, rig.pause);
        const int count = pattern ? 256 : 16;
        EXPECT_EQ(r.transactions, count);
        EXPECT_EQ(r.unanswered, 0);
        ASSERT_TRUE(r.readBack.answered);
        EXPECT_EQ(r.readBack.compared, 256);
        EXPECT_TRUE(r.readBack.mismatches.empty());
        for (int a = 0; a < 256; ++a) ASSERT_EQ(rig.eeprom.Memory()[a], pattern ? a : 0xFF) << a;
        // Only the opening is repeated, with repeated starts, until acknowledged; the rest of
        // each transaction is as before.
        const sim::DecodedTrace trace = rig.Decode();
        EXPECT_TRUE(trace.faults.empty());
        ASSERT_GT(trace.transactions.size(), size_t(count));
        long repeated = 0;
        for (int t = 0; t < count; ++t) {
            const std::string& tx = trace.transactions[t];
            const long repeats = Occurrences(tx, " Sr A0");
            std::string expected = repeats == 0 ? "S A0+" : "S A0-";
            for (long k = 1; k <= repeats; ++k) expected += k < repeats ? " Sr A0-" : " Sr A0+";
            expected += " " + Hex2(pattern ? t : 16 * t) + "+";
            for (int n = 0; n < (pattern ? 1 : 16); ++n)
                expected += " " + Hex2(pattern ? t : 0xFF) + "+";
            EXPECT_EQ(tx, expected + " P");
            repeated += repeats;
        }
        EXPECT_GT(repeated, count / 2) << "the memory was busy and polled";
        // Then the read-back, polling while the last write cycle runs.
        long polls = 0;
        for (size_t t = count; t + 1 < trace.transactions.size(); ++t, ++polls)
            EXPECT_EQ(trace.transactions[t], "S A0- P");
        EXPECT_EQ(repeated + polls, rig.eeprom.RefusedAddresses());
    }
}

TEST(WriteCycleTest, AMemorySlowerThanTheWaitRefusesTransactionsAndTheWriteSaysHowMany) {
    BusRig rig;
    const auto before = rig.eeprom.Memory();
    // Far longer than the 100 ms wait (here 1000 polls, at two clock readings a poll); the last
    // write cycle still ends within the read-back's wait.
    rig.eeprom.SetWriteCycle(std::chrono::milliseconds(400));
    const OperationResult r = PatternWrite(rig.bus, rig.pause);
    EXPECT_EQ(r.transactions, 256) << "the traffic does not change";
    EXPECT_GT(r.unanswered, 0);
    EXPECT_LT(r.unanswered, 256);
    // The transactions counted are those whose device address was refused to the end; the
    // memory refused no other address than those on the wire.
    const auto transactions = rig.Decode().transactions;
    int refusedToTheEnd = 0;
    long refusedOnTheWire = 0;
    for (size_t t = 0; t < transactions.size(); ++t) {
        if (t < 256 && transactions[t].find("A0+") == std::string::npos) ++refusedToTheEnd;
        refusedOnTheWire +=
            Occurrences(transactions[t], "S A0-") + Occurrences(transactions[t], "Sr A0-");
    }
    EXPECT_EQ(r.unanswered, refusedToTheEnd);
    EXPECT_EQ(refusedOnTheWire, rig.eeprom.RefusedAddresses());
    // A read afterwards (once the memory is done) shows which bytes were lost: exactly as many
    // as were refused.
    rig.clock.Advance(std::chrono::seconds(1));
    BlockRead(rig.bus, rig.grid);
    int lost = 0;
    for (int a = 0; a < 256; ++a) {
        const std::string cell = rig.grid.CellText(a / 16 + 1, a % 16 + 1);
        if (cell != HexForm(a)) {
            EXPECT_EQ(cell, HexForm(before[a])) << "a lost byte keeps its old value";
            ++lost;
        }
    }
    EXPECT_EQ(lost, r.unanswered);
    // The read-back names exactly those bytes, with what was written and what was found.
    ASSERT_TRUE(r.readBack.answered);
    ASSERT_EQ(static_cast<int>(r.readBack.mismatches.size()), lost);
    for (const Mismatch& m : r.readBack.mismatches) {
        EXPECT_EQ(m.expected, m.address);
        EXPECT_EQ(m.found, before[m.address]);
    }
    EXPECT_EQ(r.readBack.compared, 256);
}

TEST(NestingTest, AFillClickedDuringAPatternPauseRunsToItsEndInsideThatPause) {
    BusRig rig;
    const int reached = 40;  // the fill starts in the pause after word address 40
    bool fired = false;
    WriteJournal journal;  // shared, as the window shares its own
    OperationResult fill{OperationKind::BlockFill};
    rig.duringPause = [&] {
        if (!fired && rig.Decode().transactions.size() == reached + 1) {
            fired = true;
            rig.pause.Settle();  // as the window does before a nested operation
            fill = BlockFill(rig.bus, rig.pause, &journal);
        }
    };
    const OperationResult pattern = PatternWrite(rig.bus, rig.pause, &journal);
    ASSERT_TRUE(fired);
    const sim::DecodedTrace trace = rig.Decode();
    EXPECT_TRUE(trace.faults.empty());
    EXPECT_EQ(trace.transactions.size(), 256u + 16u + 2u) << "each write reads block 0 back";
    // The pattern's read-back leaves out what the fill overwrote: the user asked for that.
    EXPECT_TRUE(fill.readBack.mismatches.empty());
    EXPECT_EQ(pattern.readBack.compared, 255 - reached);
    EXPECT_TRUE(pattern.readBack.mismatches.empty());
    for (int a = 0; a < 256; ++a)
        ASSERT_EQ(rig.eeprom.Memory()[a], a <= reached ? 0xFF : a) << a;
    EXPECT_EQ(rig.eeprom.RefusedAddresses(), 0);
}

TEST(NestingTest, ABlockReadClickedDuringAPatternPauseShowsThePatternUpToTheAddressReached) {
    BusRig rig;
    const auto before = rig.eeprom.Memory();
    bool fired = false;
    rig.duringPause = [&] {
        if (!fired && rig.Decode().transactions.size() == 100) {
            fired = true;
            rig.pause.Settle();
            BlockRead(rig.bus, rig.grid);
        }
    };
    PatternWrite(rig.bus, rig.pause);
    ASSERT_TRUE(fired);
    for (int a = 0; a < 256; ++a)
        ASSERT_EQ(rig.grid.CellText(a / 16 + 1, a % 16 + 1), HexForm(a < 100 ? a : before[a])) << a;
    EXPECT_TRUE(rig.Decode().faults.empty());
}

TEST(NestingTest, WithoutSettlingANestedReadMeetsTheMemoryInItsWriteCycle) {
    // What Settle() prevents: right after a write's stop the memory refuses everything for its
    // write cycle, so a read started at the first turn of the pause loses block 0 and says so.
    BusRig rig;
    OperationResult nested{OperationKind::BlockRead};
    bool fired = false;
    rig.duringPause = [&] {
        if (!fired) {
            fired = true;
            nested = BlockRead(rig.bus, rig.grid);
        }
    };
    PatternWrite(rig.bus, rig.pause);
    EXPECT_GE(nested.unanswered, 1);
    EXPECT_EQ(rig.grid.CellText(1, 1), "FF");
}

TEST(WriteFailureTest, APortFailureMidWriteEndsItThere) {
    BusRig rig;
    rig.port.FailAfter(5000, "нет порта");
    EXPECT_THROW(BlockFill(rig.bus, rig.pause), PortError);
    EXPECT_TRUE(rig.bus.Interrupted());
    rig.port.FailAfter(5000, "нет порта");
    EXPECT_THROW(PatternWrite(rig.bus, rig.pause), PortError);
    EXPECT_TRUE(rig.bus.Interrupted());
}

TEST(WriteCancelTest, ACancelledPauseEndsTheWriteThereWithoutTouchingTheWindowAgain) {
    BusRig rig;
    rig.duringPause = [&] {
        if (rig.Decode().transactions.size() == 3) rig.pause.Cancel();
    };
    EXPECT_THROW(PatternWrite(rig.bus, rig.pause), OperationCancelled);
    EXPECT_EQ(rig.Decode().transactions.size(), 3u) << "no transaction after the pause";
    EXPECT_TRUE(rig.port.Sda());
    EXPECT_TRUE(rig.port.Scl());
}

}  // namespace
}  // namespace lpt
