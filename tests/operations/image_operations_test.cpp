#include <gtest/gtest.h>

#include "operations/bus_check.h"
#include "operations/image_operations.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

struct ImageRig : BusRig {
    ClockFn clock = BusRig::clock.Fn();
    MemoryImage Current() const { return MemoryImage::Full(eeprom.Memory()); }
    // Decoded transactions from `from` on.
    std::vector<std::string> Transactions(size_t from = 0) const {
        const auto all = Decode().transactions;
        return {all.begin() + static_cast<long>(std::min(from, all.size())), all.end()};
    }
};

std::string PageWrite(int device, int word, std::uint8_t value) {
    std::string t = "S " + Hex2(device) + "+ " + Hex2(word) + "+";
    for (int i = 0; i < 16; ++i) t += " " + Hex2(value) + "+";
    return t + " P";
}

TEST(ImageReadTest, ReadsTheWholeMemoryAndRefusesAMemoryThatDoesNotAnswer) {
    ImageRig rig;
    int lastDone = 0;
    EXPECT_EQ(ReadMemory(rig.bus, rig.clock, [&](int done, int total) {
                  EXPECT_EQ(total, 2048);
                  lastDone = done;
              }),
              rig.eeprom.Memory());
    EXPECT_EQ(lastDone, 2048);
    EXPECT_EQ(rig.Transactions().size(), 8u);

    ImageRig absent;
    absent.eeprom.SetPresent(false);
    try {
        ReadMemory(absent.bus, absent.clock);
        FAIL() << "read FF from an absent memory";
    } catch (const BusError& e) {
        EXPECT_NE(e.English().find("does not answer at A0"), std::string::npos) << e.English();
    }
}

TEST(ImageWriteTest, WritesOnlyTheChangedPagesPollsForTheWriteCycleAndReadsThemBack) {
    ImageRig rig;
    MemoryImage image = rig.Current();  // pages 0x000, 0x050 and 0x7f0 differ
    for (int i = 0; i < 16; ++i) image.bytes[i] = image.bytes[0x50 + i] = image.bytes[0x7F0 + i] = 0x5A;
    const WriteReport report = WriteImage(rig.bus, image, rig.clock);
    EXPECT_EQ(report.pagesWritten, 3);
    EXPECT_EQ(report.pagesSkipped, 125);
    EXPECT_TRUE(report.verified);
    EXPECT_EQ(report.verify.differing, 0);
    EXPECT_EQ(report.verify.compared, 48);
    EXPECT_EQ(rig.eeprom.Memory(), image.bytes);

    const auto t = rig.Transactions(8);  // after the read of the eight blocks
    size_t i = 0;
    auto expect = [&](const std::string& tx) {
        if (i < t.size()) EXPECT_EQ(t[i++], tx);
        else ADD_FAILURE() << "missing: " << tx;
    };
    auto polls = [&](const std::string& refused) {
        int n = 0;
        while (i < t.size() && t[i] == refused) ++i, ++n;
        EXPECT_GT(n, 0) << "the memory was busy after the stop, and was polled";
    };
    expect(PageWrite(0xA0, 0x00, 0x5A));
    polls("S A0- P");
    expect(PageWrite(0xA0, 0x50, 0x5A));  // the acknowledged poll goes straight on
    polls("S AE- P");
    expect(PageWrite(0xAE, 0xF0, 0x5A));
    polls("S A0- P");
    expect("S A0+ P");  // the last poll only waits for the end of the write cycle
    ASSERT_EQ(t.size(), i + 3) << "then one read-back per run of pages";
    EXPECT_EQ(t[i].substr(0, 16), "S A0+ 00+ Sr A1+");
    EXPECT_EQ(t[i + 2].substr(0, 16), "S AE+ F0+ Sr AF+");
    EXPECT_TRUE(rig.Decode().faults.empty());
}

TEST(ImageWriteTest, AnIdenticalImageWritesNothingAndAPartialOneKeepsTheRest) {
    ImageRig rig;
    const auto before = rig.eeprom.Memory();
    const WriteReport same = WriteImage(rig.bus, rig.Current(), rig.clock);
    EXPECT_EQ(same.pagesWritten, 0);
    EXPECT_EQ(rig.Transactions().size(), 8u) << "one read, no page write";

    MemoryImage partial;  // covers 0x105..0x107 only
    for (int a = 0x105; a <= 0x107; ++a) partial.bytes[a] = 0x11, partial.covered.set(a);
    const WriteReport r = WriteImage(rig.bus, partial, rig.clock);
    EXPECT_EQ(r.pagesWritten, 1);
    for (int a = 0; a < 2048; ++a)
        ASSERT_EQ(rig.eeprom.Memory()[a], a >= 0x105 && a <= 0x107 ? 0x11 : before[a]) << a;
}

TEST(ImageWriteTest, AWriteProtectedMemoryFailsItsReadBackAndASlowOneNamesThePage) {
    ImageRig rig;
    rig.eeprom.SetWriteProtected(true);
    const WriteReport r = EraseMemory(rig.bus, 0x00, rig.clock, {true, true});
    EXPECT_EQ(r.pagesWritten, 128);
    EXPECT_GT(r.verify.differing, 1000);
    ASSERT_EQ(r.verify.first.size(), size_t(kShownMismatches));
    EXPECT_EQ(r.verify.first[0].expected, 0x00);

    ImageRig slow;
    slow.eeprom.SetWriteCycle(std::chrono::milliseconds(30));
    try {
        EraseMemory(slow.bus, 0x00, slow.clock, {true, true});
        FAIL() << "a 30 ms write cycle passed";
    } catch (const BusError& e) {
        EXPECT_NE(e.English().find("page 0x000"), std::string::npos) << e.English();
        EXPECT_NE(e.English().find("20 ms"), std::string::npos);
    }
}

TEST(ImageVerifyTest, CountsTheDifferingCoveredBytesAndKeepsTheFirstFew) {
    ImageRig rig;
    MemoryImage image = rig.Current();
    for (int a = 100; a < 120; ++a) image.bytes[a] ^= 0xFF;
    image.covered.reset(119);
    const ImageDiff diff = VerifyImage(rig.bus, image, rig.clock);
    EXPECT_EQ(diff.compared, 2047);
    EXPECT_EQ(diff.differing, 19);
    ASSERT_EQ(diff.first.size(), size_t(kShownMismatches));
    EXPECT_EQ(diff.first[0].address, 100);
    EXPECT_EQ(diff.first[0].found, rig.eeprom.Memory()[100]);
    EXPECT_EQ(AddressText(0x7F0), "0x7F0");
}

}  // namespace
}  // namespace lpt
