// A Linux kernel I2C adapter through i2c-dev (/dev/i2c-N): a USB bridge, a board's I2C bus, the
// kernel's own parallel-port driver. The kernel runs whole messages; nothing here sees a line.
//
// Every call goes through a DeviceSystem, so the tests can play the kernel. Nothing is opened
// before the first call that needs the device. Errors reach the caller as PortError (the
// adapter cannot be used: missing, unplugged, no permission, no plain I2C) or BusError (the bus
// failed: a time-out, arbitration lost, another error the adapter reported); a device address
// or byte the target left unacknowledged is no error but a result.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus/device_system.h"
#include "bus/port.h"

namespace lpt {

// One kernel I2C adapter, as /sys/class/i2c-adapter (or /sys/bus/i2c/devices) lists it.
struct AdapterInfo {
    int number = 0;    // N of /dev/i2c-N
    std::string name;  // its name file, trimmed: "MCP2221 usb-i2c bridge"
    // "i2c-7: MCP2221 usb-i2c bridge"
    std::string Text() const;
};

// Every adapter the kernel lists, in rising number; empty when there are none (or no sysfs).
std::vector<AdapterInfo> ListAdapters(DeviceSystem& system);

// "/dev/i2c-7" and "i2c-7" -> 7; nothing for any other text.
std::optional<int> AdapterNumber(const std::string& text);

// The adapters as a user picks one, for the messages that list them: "i2c-0: SMBus I801 adapter
// at efa0 (--port /dev/i2c-0), i2c-7: MCP2221 usb-i2c bridge (--port /dev/i2c-7)".
std::string AdapterChoices(const std::vector<AdapterInfo>& adapters);

// The longest message i2c-dev passes on (its own limit, whatever the adapter takes).
constexpr int kI2cDevMaxMessage = 8192;
// The shortest message limit that is learned from refusals: an adapter that refuses a message
// this short refuses it for another reason than its length (see I2cAdapter::Transfer).
constexpr int kShortestMessageLimit = 16;

// What Holder says when the kernel reports the address busy but no driver can be named.
inline constexpr const char* kUnnamedDriver = "a kernel driver";

// The error for an address that a kernel driver holds: names the adapter, the address (7-bit),
// the driver, and how to unbind it (the sysfs device is "<adapter>-00<address>", "1-0050").
PortError AddressHeld(int adapter, std::uint8_t address, const std::string& driver);

// One message of a combined transaction: to the 7-bit `address`, written from or read into
// `data` (its size is the message's length).
struct I2cMessage {
    std::uint8_t address = 0;
    bool read = false;
    std::vector<std::uint8_t> data;
};

class I2cAdapter {
public:
    // The adapter /dev/i2c-`number`.
    I2cAdapter(std::shared_ptr<DeviceSystem> system, int number);
    ~I2cAdapter();
    I2cAdapter(const I2cAdapter&) = delete;
    I2cAdapter& operator=(const I2cAdapter&) = delete;

    int Number() const { return number_; }
    std::string Device() const;  // "/dev/i2c-7"
    // Its name from sysfs ("" when it gives none).
    const std::string& Name();
    // "i2c-7 (MCP2221 usb-i2c bridge)", as the messages name it.
    std::string Describe();

    // Opens the device and checks its functionality, once: PortError when it is missing (the
    // message lists the adapters there are), when the user may not open it (the i2c group),
    // or when it offers no plain I2C messages (an SMBus-only adapter).
    void Open();
    // The adapter is a PC motherboard's SMBus ("SMBus I801 adapter at efa0", "SMBus PIIX4 ..."),
    // on which the memory modules' SPD EEPROMs sit at 0x50-0x57.
    bool PcSmbus();

    // The kernel driver that holds `address` (7-bit), when one does: "at24", "ee1004", or
    // "a kernel driver" when the kernel says the address is busy but not by whom.
    std::optional<std::string> Holder(std::uint8_t address);

    enum class Outcome {
        Done,      // every message went out and every byte written was acknowledged
        NoAnswer,  // the target did not acknowledge (ENXIO, EREMOTEIO): nothing more was sent
        TooLong,   // the adapter refused a message as longer than it takes (EOPNOTSUPP, EINVAL,
                   // EMSGSIZE), before anything went on the bus; MaxMessage() is shorter now,
                   // and the caller sends the same in pieces of at most that
    };
    // One combined transaction: a start, the messages with a repeated start between them, a
    // stop; reads filled in. Opens first. Messages longer than the adapter takes are refused
    // by the kernel: see MaxMessage. At most I2C_RDWR_IOCTL_MAX_MSGS messages of at most
    // kI2cDevMaxMessage bytes each (std::invalid_argument otherwise: a fault of the caller).
    // Throws PortError when the adapter went away (unplugged: the device is closed, the next
    // call opens it afresh) or may not be used, BusError when the bus failed (a time-out,
    // arbitration lost, any other error the adapter reported).
    Outcome Transfer(std::vector<I2cMessage>& messages);

    // The longest message to send, in bytes: the kernel's limit for one i2c-dev message at
    // first, shorter once the adapter refused a longer one. The kernel does not tell user space
    // an adapter's own limit, so it is learned: after a refusal of a message of L bytes, half
    // of L (never below the longest message that went through, nor below
    // kShortestMessageLimit); once a message of this length went through and a longer one is
    // not yet known to be refused, halfway up to the shortest refused. It settles on the
    // adapter's limit after a few refusals, none of which puts anything on the bus.
    int MaxMessage() const { return maxMessage_; }

private:
    void Close();
    // The message for a failed ioctl `op` with errno `err`: PortError for an adapter that went
    // away (the device is closed first) or may not be used, BusError for a bus fault.
    [[noreturn]] void Fail(const char* op, int err);

    std::shared_ptr<DeviceSystem> system_;
    int number_;
    int fd_ = -1;
    std::optional<std::string> name_;
    unsigned long functions_ = 0;
    int maxMessage_;
    int longestDone_ = 0;                          // the longest message that went through
    int shortestRefused_ = kI2cDevMaxMessage + 1;  // the shortest refused as too long
};

}  // namespace lpt
