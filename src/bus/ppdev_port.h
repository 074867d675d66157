// The real parallel port, driven through the Linux ppdev driver (/dev/parportN).
//
// The port used is the one the kernel reports at base 0x378 (888). It is opened at the first
// port call, not before: the device is found through /proc/sys/dev/parport/parportN/base-addr,
// opened, taken for exclusive use (PPEXCL, PPCLAIM), its data lines set to outputs, and the data
// and control registers read once into shadow copies. A bit change edits the shadow and writes
// the whole register; the status register is read afresh on every call. ppdev passes raw
// register values, and neither pin in use (control bit 2 = pin 16, status bit 3 = pin 15) is
// inverted by the port hardware, so bits are written and read as they are.
//
// A failed open throws PortError with a message for the user and leaves nothing open; the next
// port call starts the whole open again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bus/port.h"
#include "bus/ppdev_system.h"

namespace lpt {

class PpdevPort : public Port {
public:
    PpdevPort();  // the running system
    explicit PpdevPort(std::shared_ptr<PpdevSystem> sys);
    ~PpdevPort() override;  // releases the port and closes the device when open

    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    void SetPortBit(int port, int bit) override;
    void ClrPortBit(int port, int bit) override;
    std::int32_t GetPortBit(int port, int bit) override;
    LineTiming Timing() const override;

    bool IsOpen() const { return fd_ >= 0; }
    // The device in use, e.g. "/dev/parport0"; empty while not open.
    const std::string& DevicePath() const { return path_; }

private:
    void WriteBit(int port, int bit, bool one);
    void EnsureOpen();
    std::string FindDevice();  // throws PortError
    void OpenDevice(const std::string& path);
    void Close();

    std::shared_ptr<PpdevSystem> sys_;
    int fd_ = -1;
    bool claimed_ = false;
    std::string path_;
    unsigned char data_ = 0;     // shadow of the data register
    unsigned char control_ = 0;  // shadow of the control register
};

}  // namespace lpt
