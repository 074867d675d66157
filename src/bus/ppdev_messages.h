// What the ppdev port tells the user when it cannot be reached: each failure's cause and remedy
// in both languages (see common/user_error.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bus/i2c_adapter.h"
#include "bus/port.h"
#include "bus/port_choice.h"

namespace lpt {

// A port the system knows of: "parport0", and its base when the kernel reports one.
struct FoundPort {
    int number;
    std::string name;
    std::optional<long> base;
};

// The kernel knows no parallel port at all. The kernel I2C adapters there are, if any, are
// named after it (the memory may hang on one of them).
PortError NoPorts(const std::vector<AdapterInfo>& adapters = {});
// Device nodes (not empty) but no addresses: a port chosen by its base cannot be found.
PortError NoAddresses(const PortChoice& choice, const std::vector<std::string>& devices);
// The port asked for is not among `ports` (not empty): lists them, then the kernel I2C
// adapters there are, and says how to pick one.
PortError PortNotFound(const PortChoice& choice, const std::vector<FoundPort>& ports,
                       const std::vector<AdapterInfo>& adapters = {});
// The kernel knows the port `name` (at `base`), but its device node `path` is missing.
PortError NoDeviceNode(const std::string& name, std::optional<long> base, const std::string& path);
// Opening `path` failed with errno `err`: no access (EACCES, EPERM); the device node is there
// but no port behind it (ENXIO, ENODEV); any other reason.
PortError AccessDenied(const std::string& path, int err);
PortError NoPortBehindDevice(const std::string& path, int err);
PortError OpenFailed(const std::string& path, int err);
// Exclusive use refused at `op` ("open", "PPEXCL", "PPCLAIM"): another driver holds the port.
PortError PortBusy(const std::string& path, const char* op, int err);
// The ioctl `op` on the open device failed; the device is closed by the time the user reads it.
PortError CallFailed(const char* op, const std::string& path, int err);
// A write (or a read) of a port bit the memory is not wired to: a bug of the program.
PortError PinRefused(int port, int bit, bool write);

}  // namespace lpt
