#include "bus/ppdev_port.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace lpt {
namespace {

const std::string kProc = "/proc/sys/dev/parport";

// Plays the system: ports, register contents and errors to inject. `log` records the device
// calls (open, ioctl, close); `lookups` counts the directory and file look-ups.
class FakeSystem : public PpdevSystem {
public:
    std::map<std::string, std::vector<std::string>> dirs{{kProc, {"default"}}};
    std::map<std::string, std::string> files;
    std::set<std::string> nodes;
    int openError = 0, lookups = 0;
    std::map<unsigned long, int> ioctlError;
    unsigned char data = 0xF0, control = 0x0C, status = 0;
    std::vector<std::string> log;

    void AddPort(const std::string& name, const std::string& baseAddr) {
        dirs[kProc].push_back(name);
        dirs["/dev"].push_back(name);
        files[kProc + "/" + name + "/base-addr"] = baseAddr;
        nodes.insert("/dev/" + name);
    }
    OpenResult Open(const std::string& path, int flags) override {
        log.push_back("open " + path + ((flags & O_ACCMODE) == O_RDWR ? " rw" : " ro/wo"));
        return openError ? OpenResult{-1, openError} : OpenResult{7, 0};
    }
    int Ioctl(int fd, unsigned long req, void* arg) override {
        static const std::map<unsigned long, std::string> names{
            {PPEXCL, "PPEXCL"},         {PPCLAIM, "PPCLAIM"},       {PPRELEASE, "PPRELEASE"},
            {PPDATADIR, "PPDATADIR"},   {PPRDATA, "PPRDATA"},       {PPWDATA, "PPWDATA"},
            {PPRCONTROL, "PPRCONTROL"}, {PPWCONTROL, "PPWCONTROL"}, {PPRSTATUS, "PPRSTATUS"}};
        auto* byte = static_cast<unsigned char*>(arg);
        char value[8] = "";
        if (req == PPDATADIR) std::snprintf(value, sizeof value, " %d", *static_cast<int*>(arg));
        if (req == PPWDATA || req == PPWCONTROL) std::snprintf(value, sizeof value, " %02x", *byte);
        const std::string entry = names.at(req) + value;
        log.push_back(std::to_string(fd) + " " + entry);
        if (ioctlError.count(req)) return ioctlError[req];
        if (req == PPRDATA || req == PPRCONTROL || req == PPRSTATUS)
            *byte = req == PPRDATA ? data : req == PPRCONTROL ? control : status;
        return 0;
    }
    void Close(int fd) override { log.push_back("close " + std::to_string(fd)); }
    std::vector<std::string> ListDir(const std::string& path) override {
        ++lookups;
        return dirs[path];
    }
    std::optional<std::string> ReadTextFile(const std::string& path) override {
        ++lookups;
        return files.count(path) ? std::optional(files[path]) : std::nullopt;
    }
    bool Exists(const std::string& path) override { return ++lookups, nodes.count(path) > 0; }
};

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
    // `f` throws a PortError whose message holds every one of `parts`.
    static void ExpectError(const std::function<void()>& f,
                            std::initializer_list<std::string> parts) {
        try {
            f();
            ADD_FAILURE() << "no PortError thrown";
        } catch (const PortError& e) {
            for (const auto& p : parts)
                EXPECT_NE(std::string(e.what()).find(p), std::string::npos) << p;
        }
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
    ExpectError([&] { port.GetPortBit(889, 3); }, {"0x378", "0x278, 0x3bc"});
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

}  // namespace
}  // namespace lpt
