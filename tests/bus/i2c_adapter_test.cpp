#include "bus/i2c_adapter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "bus/bus_error.h"
#include "support/fake_i2c_dev.h"

namespace lpt {
namespace {

using testing::FakeI2cDev;

// `f` throws an error of type E (and kind `kind`) whose English text holds every one of
// `english` and whose Russian text every one of `russian`; the English is one line.
template <typename E>
void ExpectError(const std::function<void()>& f, ErrorKind kind,
                 std::initializer_list<std::string> english,
                 std::initializer_list<std::string> russian = {}) {
    try {
        f();
        ADD_FAILURE() << "nothing thrown";
    } catch (const E& e) {
        const std::string en = e.English(), ru = e.Russian();
        EXPECT_EQ(e.Kind(), kind) << en;
        EXPECT_EQ(en.find('\n'), std::string::npos) << en;
        EXPECT_NE(en, ru);
        for (const auto& p : english) EXPECT_NE(en.find(p), std::string::npos) << p << "\n" << en;
        for (const auto& p : russian) EXPECT_NE(ru.find(p), std::string::npos) << p << "\n" << ru;
    }
}

struct I2cAdapterTest : ::testing::Test {
    I2cAdapterTest() {
        dev->adapters = {{7, "MCP2221 usb-i2c bridge"}, {0, " SMBus I801 adapter at efa0\n"}};
    }
    std::shared_ptr<FakeI2cDev> dev = std::make_shared<FakeI2cDev>();
    I2cAdapter adapter{dev, 7};
};

TEST_F(I2cAdapterTest, ListsTheAdaptersInRisingNumberFromEitherSysfsDirectory) {
    dev->adapters.push_back({12, ""});
    dev->adapters[0].held = {{0x50, "at24"}};  // "7-0050" beside them in /sys/bus/i2c/devices
    for (const bool classDir : {true, false}) {
        dev->classDir = classDir;
        const auto list = ListAdapters(*dev);
        ASSERT_EQ(list.size(), 3u) << classDir;
        EXPECT_EQ(list[0].Text(), "i2c-0: SMBus I801 adapter at efa0");
        EXPECT_EQ(list[1].Text(), "i2c-7: MCP2221 usb-i2c bridge");
        EXPECT_EQ(list[2].Text(), "i2c-12");
        EXPECT_EQ(AdapterChoices({list[1], list[2]}),
                  "i2c-7: MCP2221 usb-i2c bridge (--port /dev/i2c-7), i2c-12 (--port /dev/i2c-12)");
    }
    EXPECT_EQ(adapter.Describe(), "i2c-7 (MCP2221 usb-i2c bridge)");
    EXPECT_EQ(adapter.Device(), "/dev/i2c-7");
    EXPECT_TRUE(dev->calls.empty()) << "naming it opens nothing";
    EXPECT_EQ(AdapterNumber("/dev/i2c-7"), 7);
    EXPECT_EQ(AdapterNumber("i2c-12"), 12);
    for (const char* other : {"/dev/parport0", "i2c-", "i2c-7x", "7", "/dev/i2c--1", "/dev/i2c-+1"})
        EXPECT_FALSE(AdapterNumber(other)) << other;
}

TEST_F(I2cAdapterTest, OpensOnceWithPlainI2cAndClosesAtTheEnd) {
    {
        I2cAdapter a(dev, 7);
        a.Open();
        a.Open();
        EXPECT_FALSE(a.PcSmbus());
        EXPECT_EQ(a.MaxMessage(), kI2cDevMaxMessage);
    }
    EXPECT_EQ(dev->calls, (std::vector<std::string>{"open /dev/i2c-7", "I2C_FUNCS", "close"}));
    EXPECT_TRUE(I2cAdapter(dev, 0).PcSmbus());
    dev->adapters[1].name = "SMBus PIIX4 adapter port 0 at 0b00";
    EXPECT_TRUE(I2cAdapter(dev, 0).PcSmbus());
}

TEST_F(I2cAdapterTest, AMissingAdapterListsTheOthersOrSaysHowToGetOne) {
    I2cAdapter missing(dev, 3);
    ExpectError<PortError>([&] { missing.Open(); }, ErrorKind::Port,
                           {"no kernel I2C adapter i2c-3",
                            "i2c-0: SMBus I801 adapter at efa0 (--port /dev/i2c-0), "
                            "i2c-7: MCP2221 usb-i2c bridge (--port /dev/i2c-7)",
                            "i2cdetect -l"},
                           {"i2c-3", "i2c-7: MCP2221 usb-i2c bridge (--port /dev/i2c-7)"});
    dev->deviceNodes = false;  // the kernel has the adapter, i2c-dev is not loaded
    ExpectError<PortError>([&] { adapter.Open(); }, ErrorKind::Port,
                           {"i2c-7 (MCP2221 usb-i2c bridge) is there", "sudo modprobe i2c-dev"},
                           {"sudo modprobe i2c-dev"});
    dev->adapters.clear();
    ExpectError<PortError>([&] { adapter.Open(); }, ErrorKind::Port,
                           {"nor any other", "sudo modprobe i2c-dev", "i2cdetect -l"},
                           {"modprobe i2c-dev"});
}

TEST_F(I2cAdapterTest, OpenFailuresNameTheCauseAndAnSmbusOnlyAdapterIsRefused) {
    for (int err : {EACCES, EPERM}) {
        dev->openError = err;
        ExpectError<PortError>([&] { adapter.Open(); }, ErrorKind::Port,
                               {"/dev/i2c-7", std::strerror(err), "sudo adduser $USER i2c"},
                               {"группу i2c"});
    }
    dev->openError = EIO;
    ExpectError<PortError>([&] { adapter.Open(); }, ErrorKind::Port,
                           {"/dev/i2c-7", "Input/output error", "dmesg"});
    dev->openError = 0;
    dev->funcsError = EIO;
    ExpectError<PortError>([&] { adapter.Open(); }, ErrorKind::Port,
                           {"cannot run I2C_FUNCS on /dev/i2c-7 (Input/output error)", "dmesg"});
    dev->funcsError = 0;
    dev->calls.clear();
    dev->adapters[0].functions = I2C_FUNC_SMBUS_EMUL;
    ExpectError<PortError>([&] { adapter.Open(); }, ErrorKind::Port,
                           {"i2c-7 (MCP2221 usb-i2c bridge) offers only SMBus transfers",
                            "use another adapter"},
                           {"только передачи SMBus"});
    EXPECT_EQ(dev->calls, (std::vector<std::string>{"open /dev/i2c-7", "I2C_FUNCS", "close"}));
}

TEST_F(I2cAdapterTest, AHeldAddressNamesItsDriverAndHowToUnbindIt) {
    dev->adapters[0].held = {{0x50, "at24"}, {0x51, ""}};
    EXPECT_EQ(adapter.Holder(0x50), "at24");
    EXPECT_EQ(adapter.Holder(0x51), kUnnamedDriver);
    EXPECT_EQ(adapter.Holder(0x52), std::nullopt);
    EXPECT_EQ(dev->calls, (std::vector<std::string>{"open /dev/i2c-7", "I2C_FUNCS", "I2C_SLAVE 50",
                                                    "I2C_SLAVE 51", "I2C_SLAVE 52"}))
        << "never I2C_SLAVE_FORCE";
    ExpectError<PortError>([] { throw AddressHeld(7, 0x50, "at24"); }, ErrorKind::Port,
                           {"0x50 on i2c-7", "(device byte A0)", "the kernel driver at24",
                            "echo 7-0050 | sudo tee /sys/bus/i2c/drivers/at24/unbind"},
                           {"занят драйвером ядра at24",
                            "echo 7-0050 | sudo tee /sys/bus/i2c/drivers/at24/unbind"});
    ExpectError<PortError>([] { throw AddressHeld(1, 0x57, kUnnamedDriver); }, ErrorKind::Port,
                           {"readlink /sys/bus/i2c/devices/1-0057/driver", "/unbind"});
}

TEST_F(I2cAdapterTest, ACombinedTransferReadsTheMemoryAndAnUnansweredAddressIsNoError) {
    auto& m = dev->sim.eeprom.Memory();
    for (int a = 0; a < 2048; ++a) m[a] = static_cast<std::uint8_t>(a * 7 + 3);
    std::vector<I2cMessage> read{{0x53, false, {0x10}}, {0x53, true, std::vector<std::uint8_t>(4)}};
    EXPECT_EQ(adapter.Transfer(read), I2cAdapter::Outcome::Done);
    EXPECT_EQ(read[1].data, std::vector<std::uint8_t>(m.begin() + 0x310, m.begin() + 0x314));
    std::vector<I2cMessage> nobody{{0x60, true, {0}}};
    EXPECT_EQ(adapter.Transfer(nobody), I2cAdapter::Outcome::NoAnswer);
    EXPECT_EQ(dev->transfers, (std::vector<std::string>{"53 w 10 | 53 r 4", "60 r 1 -> ENXIO"}));
    dev->failNext = {EREMOTEIO};
    EXPECT_EQ(adapter.Transfer(nobody), I2cAdapter::Outcome::NoAnswer);
    std::vector<I2cMessage> tooMany(43, I2cMessage{0x50, true, {0}});
    EXPECT_THROW(adapter.Transfer(tooMany), std::invalid_argument);
}

TEST_F(I2cAdapterTest, TransferFailuresBecomePortOrBusErrorsWithTheirCause) {
    std::vector<I2cMessage> read{{0x50, true, {0}}};
    const auto transfer = [&] { adapter.Transfer(read); };
    struct Case {
        int err;
        ErrorKind kind;
        std::string said;
    };
    for (const Case& c : {Case{ETIMEDOUT, ErrorKind::Bus, "holds SCL or SDA low"},
                          Case{EAGAIN, ErrorKind::Bus, "another master drives this bus"},
                          Case{EIO, ErrorKind::Bus, "a byte the device did not acknowledge"},
                          Case{EACCES, ErrorKind::Port, "sudo adduser $USER i2c"}}) {
        dev->failNext = {c.err};
        ExpectError<UserError>(transfer, c.kind, {std::strerror(c.err), c.said});
    }
    // Gone: the device is closed, and the next transfer opens it afresh.
    for (int err : {ENODEV, ENOENT, ESHUTDOWN}) {
        transfer();
        dev->calls.clear();
        dev->failNext = {err};
        ExpectError<PortError>(transfer, ErrorKind::Port,
                               {"i2c-7 (MCP2221 usb-i2c bridge) went away", std::strerror(err),
                                "nothing that was under way finished"},
                               {"пропал"});
        EXPECT_EQ(dev->calls, std::vector<std::string>{"close"});
        transfer();
        EXPECT_EQ(dev->calls[1], "open /dev/i2c-7");
    }
}

TEST_F(I2cAdapterTest, TheAdaptersMessageLimitIsLearnedFromRefusalsThatSendNothing) {
    dev->messageLimit = 60;
    int refused = 0;
    for (int round = 0; round < 30; ++round) {
        std::vector<I2cMessage> read{{0x50, false, {0}},
                                     {0x50, true, std::vector<std::uint8_t>(
                                                      std::min(256, adapter.MaxMessage()))}};
        const int before = adapter.MaxMessage();
        if (adapter.Transfer(read) == I2cAdapter::Outcome::TooLong) {
            ++refused;
            EXPECT_LT(adapter.MaxMessage(), before);
        }
    }
    EXPECT_EQ(adapter.MaxMessage(), 60) << "the limit itself, not a power of two below it";
    EXPECT_LE(refused, 6);
    const auto memoryBefore = dev->sim.eeprom.CommittedWrites();
    std::vector<I2cMessage> write{{0x50, false, std::vector<std::uint8_t>(61, 0x00)}};
    EXPECT_EQ(adapter.Transfer(write), I2cAdapter::Outcome::TooLong);
    EXPECT_EQ(dev->sim.eeprom.CommittedWrites(), memoryBefore) << "a refused write writes nothing";

    // A refusal of a message no longer than the shortest limit is no length limit.
    std::vector<I2cMessage> shortRead{{0x50, false, {0}},
                                      {0x50, true, std::vector<std::uint8_t>(16)}};
    dev->failNext = {EOPNOTSUPP};
    ExpectError<PortError>([&] { adapter.Transfer(shortRead); }, ErrorKind::Port,
                           {"refuses a transfer of messages of at most 16 bytes",
                            "repeated start", "use another adapter"});
}

}  // namespace
}  // namespace lpt
