#include "bus/ppdev_port.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "support/fake_ppdev_system.h"

namespace lpt {
namespace {

using testing::FakeSystem;
using testing::kProc;

const std::vector<std::string> kOpen{"open /dev/parport1 rw", "7 PPEXCL",  "7 PPCLAIM",
                                     "7 PPDATADIR 0",         "7 PPRDATA", "7 PPRCONTROL"};

std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class PpdevPortTest : public ::testing::Test {
protected:
    PpdevPortTest() {
        sys->AddPort("parport0", "632\t-1\n");  // 0x278
        sys->AddPort("parport1", "888\t1912\n");
    }
    // `f` throws a PortError whose Russian message holds every one of `parts` and whose English
    // twin, a text of its own in what(), holds every one of `english`. Returns both texts.
    static std::pair<std::string, std::string> ExpectError(
        const std::function<void()>& f, std::initializer_list<std::string> parts,
        std::initializer_list<std::string> english = {}) {
        try {
            f();
            ADD_FAILURE() << "no PortError thrown";
        } catch (const PortError& e) {
            const std::string ru = e.Russian(), en = e.English();
            for (const auto& p : parts) EXPECT_NE(ru.find(p), std::string::npos) << p << "\n" << ru;
            for (const auto& p : english) EXPECT_NE(en.find(p), std::string::npos) << p << "\n" << en;
            EXPECT_NE(en, ru);
            // what() is the English text, one line as the command line prints it.
            EXPECT_EQ(e.what(), en);
            EXPECT_EQ(en.find('\n'), std::string::npos) << en;
            EXPECT_EQ(e.Kind(), ErrorKind::Port);
            EXPECT_TRUE(std::all_of(en.begin(), en.end(), [](char c) { return c > 0; })) << en;
            return {ru, en};
        }
        return {};
    }
    std::shared_ptr<FakeSystem> sys = std::make_shared<FakeSystem>();
    PpdevPort port{sys};
};

using PpdevPortOpen = PpdevPortTest;
using PpdevPortBits = PpdevPortTest;
using PpdevPortMessages = PpdevPortTest;

TEST_F(PpdevPortOpen, NothingIsTouchedBeforeTheFirstCallNorClosedWhenNeverOpened) {
    {
        PpdevPort idle(sys);
        EXPECT_EQ(idle.Timing().clockPeriod, LineTiming::StandardMode().clockPeriod);
        EXPECT_EQ(idle.Timing().dataSetup, LineTiming::StandardMode().dataSetup);
        EXPECT_FALSE(idle.IsOpen());
    }
    EXPECT_TRUE(sys->log.empty());
    EXPECT_EQ(sys->lookups, 0);
}

TEST_F(PpdevPortOpen, ClaimsTheDeviceAt378OnceAndReleasesItAtTheEnd) {
    {
        PpdevPort p(sys);
        p.GetPortBit(889, 3);
        p.GetPortBit(889, 3);
        EXPECT_EQ(p.DevicePath(), "/dev/parport1");
    }
    EXPECT_EQ(sys->log, Plus(kOpen, {"7 PPRSTATUS", "7 PPRSTATUS", "7 PPRELEASE", "close 7"}));
}

TEST_F(PpdevPortOpen, FailedOpenLeavesNothingOpenAndIsRetriedInFull) {
    sys->openError = EACCES;
    EXPECT_THROW(port.SetPortBit(888, 0), PortError);
    sys->openError = 0;
    sys->ioctlError[PPRCONTROL] = EIO;  // fails after the claim: release and close
    EXPECT_THROW(port.SetPortBit(888, 0), PortError);
    EXPECT_FALSE(port.IsOpen());
    sys->ioctlError.clear();
    port.SetPortBit(888, 0);
    EXPECT_EQ(sys->log, Plus(Plus({"open /dev/parport1 rw"}, kOpen),
                             Plus({"7 PPRELEASE", "close 7"}, Plus(kOpen, {"7 PPWDATA f1"}))));
}

TEST_F(PpdevPortBits, WritesTheShadowWithOnlyTheAddressedBitChanged) {
    port.SetPortBit(888, 0);
    sys->data = sys->control = 0x55;  // shadows are read once, not before each write
    port.ClrPortBit(890, 2);
    port.ClrPortBit(888, 0);
    port.SetPortBit(888, 0);
    port.SetPortBit(890, 2);
    port.ClrPortBit(890, 2);
    EXPECT_EQ(sys->log, Plus(kOpen, {"7 PPWDATA f1", "7 PPWCONTROL 08", "7 PPWDATA f0",
                                     "7 PPWDATA f1", "7 PPWCONTROL 0c", "7 PPWCONTROL 08"}));
}

TEST_F(PpdevPortBits, ReadsStatusBit3AfreshOnEveryCall) {
    for (auto [status, bit] : {std::pair{0x08, 1}, {0xF7, 0}, {0xFF, 1}, {0x00, 0}}) {
        sys->status = static_cast<unsigned char>(status);
        EXPECT_EQ(port.GetPortBit(889, 3), bit) << status;
    }
    EXPECT_EQ(sys->log, Plus(kOpen, std::vector<std::string>(4, "7 PPRSTATUS")));
}

TEST_F(PpdevPortBits, RefusesOtherPinsBeforeOpeningAndWritesNothing) {
    const std::vector<std::function<void()>> wrong{
        [&] { port.SetPortBit(889, 3); }, [&] { port.ClrPortBit(889, 3); },
        [&] { port.GetPortBit(888, 0); }, [&] { port.GetPortBit(890, 2); },
        [&] { port.SetPortBit(888, 1); }, [&] { port.ClrPortBit(890, 0); },
        [&] { port.GetPortBit(889, 4); }, [&] { port.SetPortBit(0, 0); }};
    for (const auto& call : wrong) EXPECT_THROW(call(), PortError);
    EXPECT_TRUE(sys->log.empty());
    EXPECT_EQ(sys->lookups, 0);
    port.GetPortBit(889, 3);
    sys->log.clear();
    for (const auto& call : wrong) EXPECT_THROW(call(), PortError);
    EXPECT_TRUE(sys->log.empty());
}

TEST_F(PpdevPortBits, AnotherCableOpensItsOwnBitsAndPowerBitsOnly) {
    port.AllowCable(ChooseCable("jp1", ""));  // SDA D0, SCL D1, power D2, SDA in ~S7
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { port.SetPortBit(888, 3); }, [&] { port.ClrPortBit(890, 2); },
             [&] { port.SetPortBit(889, 7); }})
        EXPECT_THROW(call(), PortError);
    EXPECT_TRUE(sys->log.empty());
    port.SetPortBit(888, 2);
    port.SetPortBit(888, 1);
    sys->status = 0x80;
    EXPECT_EQ(port.GetPortBit(889, 7), 1);
    EXPECT_EQ(port.GetPortBit(889, 5), 0);  // every status bit may be read
    EXPECT_EQ(sys->log, Plus(kOpen, {"7 PPWDATA f4", "7 PPWDATA f6", "7 PPRSTATUS", "7 PPRSTATUS"}));
}

TEST_F(PpdevPortBits, FailingIoctlNamesItAndTheSystemError) {
    port.GetPortBit(889, 3);
    sys->ioctlError[PPWDATA] = EIO;
    ExpectError([&] { port.SetPortBit(888, 0); },
                {"PPWDATA", "/dev/parport1", "Input/output error"});
    sys->ioctlError = {{PPRSTATUS, ENODEV}};
    ExpectError([&] { port.GetPortBit(889, 3); }, {"PPRSTATUS", "No such device"});
}

TEST_F(PpdevPortMessages, DiscoveryFailuresNameCauseAndRemedyAndOpenNothing) {
    sys->nodes.erase("/dev/parport1");
    ExpectError([&] { port.GetPortBit(889, 3); }, {"/dev/parport1", "modprobe ppdev"});
    sys->files[kProc + "/parport1/base-addr"] = "956\t-1\n";
    ExpectError([&] { port.GetPortBit(889, 3); },
                {"0x378", "parport0 по адресу 0x278, parport1 по адресу 0x3bc", "--port 0x278"},
                {"0x378", "parport0 at 0x278, parport1 at 0x3bc", "--port /dev/parport0"});
    sys->dirs = {{"/dev", {"parport0", "tty0"}}};  // device nodes, but no addresses from the kernel
    ExpectError([&] { port.SetPortBit(888, 0); }, {"/dev/parport0", "parport_pc"});
    sys->dirs = {};
    ExpectError([&] { port.SetPortBit(888, 0); },
                {"не найден", "modprobe -a parport_pc ppdev", "BIOS"});
    EXPECT_TRUE(sys->log.empty());
}

TEST_F(PpdevPortMessages, PermissionDeniedAsksForGroupLp) {
    for (int err : {EACCES, EPERM}) {
        sys->openError = err;
        ExpectError([&] { port.SetPortBit(890, 2); },
                    {"/dev/parport1", std::strerror(err), "sudo usermod -aG lp $USER"});
    }
}

TEST_F(PpdevPortMessages, PortHeldByAnotherDriverAsksToUnloadLp) {
    sys->ioctlError[PPCLAIM] = ENXIO;
    ExpectError([&] { port.SetPortBit(888, 0); },
                {"PPCLAIM", "No such device or address", "sudo rmmod lp"});
    EXPECT_EQ(sys->log, std::vector<std::string>({"open /dev/parport1 rw", "7 PPEXCL", "7 PPCLAIM",
                                                  "close 7"}));  // not claimed
    sys->ioctlError = {{PPEXCL, EBUSY}};
    ExpectError([&] { port.SetPortBit(888, 0); },
                {"PPEXCL", "Device or resource busy", "rmmod lp"});
}

TEST_F(PpdevPortMessages, OtherFailuresNameOperationPathAndError) {
    sys->openError = ENODEV;
    ExpectError([&] { port.SetPortBit(888, 0); }, {"открыть /dev/parport1", "No such device"});
    sys->openError = 0;
    sys->ioctlError[PPDATADIR] = EIO;
    ExpectError([&] { port.SetPortBit(888, 0); },
                {"PPDATADIR", "/dev/parport1", "Input/output error"});
}

TEST_F(PpdevPortMessages, BusyAndVanishedDevicesAtOpenGetTheirOwnRemedy) {
    sys->openError = EBUSY;
    auto [ru, en] = ExpectError([&] { port.SetPortBit(888, 0); },
                                {"/dev/parport1", "занят", "sudo rmmod lp"}, {"busy", "rmmod lp"});
    EXPECT_EQ(ru.find("dmesg"), std::string::npos);  // not the generic "try again"
    for (int err : {ENXIO, ENODEV}) {
        sys->openError = err;
        std::tie(ru, en) = ExpectError([&] { port.SetPortBit(888, 0); },
                                       {std::strerror(err), "modprobe -a parport_pc ppdev"},
                                       {"no port is behind it", "plug the card"});
        EXPECT_EQ(ru.find("dmesg"), std::string::npos);
    }
    sys->openError = EIO;
    ExpectError([&] { port.SetPortBit(888, 0); }, {"sudo dmesg"}, {"sudo dmesg"});
}

TEST_F(PpdevPortBits, FailedCallClosesTheDeviceAndTheNextCallOpensItAfresh) {
    port.GetPortBit(889, 3);
    sys->ioctlError[PPWDATA] = EIO;
    EXPECT_THROW(port.SetPortBit(888, 0), PortError);
    EXPECT_FALSE(port.IsOpen());
    sys->ioctlError.clear();
    sys->data = 0x01;  // the port came back holding other values: the shadow is read again
    port.SetPortBit(888, 0);
    port.ClrPortBit(888, 0);
    sys->ioctlError[PPRSTATUS] = ENXIO;
    ExpectError([&] { port.GetPortBit(889, 3); }, {"PPRSTATUS", "modprobe -a parport_pc ppdev"},
                {"the port is gone"});
    EXPECT_EQ(sys->log, Plus(Plus(kOpen, {"7 PPRSTATUS", "7 PPWDATA f1", "7 PPRELEASE", "close 7"}),
                             Plus(kOpen, {"7 PPWDATA 00", "7 PPRSTATUS", "7 PPRELEASE", "close 7"})));
}

TEST_F(PpdevPortBits, WriteThatChangesNothingMakesNoIoctl) {
    port.ClrPortBit(888, 0);  // data 0xf0 and control 0x0c: both already as asked
    port.SetPortBit(890, 2);
    port.SetPortBit(888, 0);
    port.SetPortBit(888, 0);
    port.ClrPortBit(890, 2);
    port.ClrPortBit(890, 2);
    EXPECT_EQ(sys->log, Plus(kOpen, {"7 PPWDATA f1", "7 PPWCONTROL 08"}));
}

// A machine whose only port is a card at 0xd010, not at the default 0x378.
class PpdevPortCard : public PpdevPortTest {
protected:
    PpdevPortCard() {
        sys = std::make_shared<FakeSystem>();
        sys->AddPort("parport0", "53264\t53248\n");
    }
};

TEST_F(PpdevPortCard, DefaultPortListsThePortsThereAndHowToChooseOne) {
    PpdevPort fallback(sys);
    const auto [ru, en] = ExpectError(
        [&] { fallback.GetPortBit(889, 3); },
        {"0x378", "parport0 по адресу 0xd010", "--port 0xd010 или --port /dev/parport0"},
        {"0x378", "parport0 at 0xd010", "--port 0xd010 or --port /dev/parport0"});
    EXPECT_EQ(ru.find("BIOS"), std::string::npos);  // a card has no BIOS setting for its address
    PpdevPort missing(*ParsePortChoice("/dev/parport3"), sys);
    ExpectError([&] { missing.GetPortBit(889, 3); }, {"/dev/parport3", "parport0 по адресу 0xd010"},
                {"/dev/parport3", "parport0 at 0xd010"});
    EXPECT_TRUE(sys->log.empty());
}

TEST_F(PpdevPortCard, PortNotFoundListsTheKernelI2cAdaptersAfterThePorts) {
    PpdevPort fallback(sys);
    const auto [ru, en] = ExpectError([&] { fallback.GetPortBit(889, 3); }, {"0x378"}, {"0x378"});
    EXPECT_EQ(en.find("I2C"), std::string::npos) << "none there, none named";
    sys->dirs["/sys/class/i2c-adapter"] = {"i2c-7", "i2c-0"};
    sys->files["/sys/class/i2c-adapter/i2c-7/name"] = "MCP2221 usb-i2c bridge\n";
    sys->files["/sys/class/i2c-adapter/i2c-0/name"] = "SMBus I801 adapter at efa0\n";
    const std::string list = "i2c-0: SMBus I801 adapter at efa0 (--port /dev/i2c-0), "
                             "i2c-7: MCP2221 usb-i2c bridge (--port /dev/i2c-7)";
    ExpectError([&] { fallback.GetPortBit(889, 3); },
                {"parport0 по адресу 0xd010. Адаптеры I2C ядра: " + list},
                {"parport0 at 0xd010; kernel I2C adapters: " + list});
    sys->dirs.erase(kProc);
    sys->dirs.erase("/dev");
    ExpectError([&] { fallback.GetPortBit(889, 3); }, {"Адаптеры I2C ядра: " + list},
                {"no parallel port found", "kernel I2C adapters: " + list});
    EXPECT_TRUE(sys->log.empty());
}

TEST_F(PpdevPortCard, PortChosenByBaseOrDeviceNameOpensAndKeepsTheLogicalRegisters) {
    for (const char* text : {"0xd010", "53264", "/dev/parport0", "parport0"}) {
        sys->log.clear();
        {
            PpdevPort chosen(*ParsePortChoice(text), sys);
            chosen.SetPortBit(888, 0);
            chosen.ClrPortBit(890, 2);
            EXPECT_EQ(chosen.DevicePath(), "/dev/parport0") << text;
        }
        EXPECT_EQ(sys->log[0], "open /dev/parport0 rw") << text;
        EXPECT_EQ(std::vector(sys->log.end() - 4, sys->log.end()),
                  std::vector<std::string>({"7 PPWDATA f1", "7 PPWCONTROL 08", "7 PPRELEASE",
                                            "close 7"}))
            << text;
    }
    sys->nodes.clear();  // the kernel knows the port, the device node is missing
    PpdevPort named(*ParsePortChoice("parport0"), sys);
    ExpectError([&] { named.GetPortBit(889, 3); }, {"/dev/parport0", "0xd010", "modprobe ppdev"},
                {"/dev/parport0", "modprobe ppdev"});
}

}  // namespace
}  // namespace lpt
