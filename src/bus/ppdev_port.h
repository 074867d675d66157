// The real parallel port, driven through the Linux ppdev driver (/dev/parportN).
//
// The port used is the one the user chose (PortChoice): by default the one the kernel reports at
// base 0x378, else the one at another base or a device named outright. Whatever port it is, the
// Port calls keep naming its registers by the numbers of the port at 0x378: 888 the data,
// 889 the status and 890 the control register.
//
// The device is opened at the first port call, not before: a base is looked up in
// /proc/sys/dev/parport/parportN/base-addr, a named device is used as it is; the device is
// opened, taken for exclusive use (PPEXCL, PPCLAIM), its data lines set to outputs, and the data
// and control registers read once into shadow copies. A bit change edits the shadow and writes
// the whole register, or nothing when the register already holds that value; the status
// register is read afresh on every call. ppdev passes raw register values, so bits are written
// and read as they are; a cable (bus/cable.h) names its bits at that level, with the port's own
// inversions counted in.
//
// Only the bits the cable uses may be written: by default those of the direct cable (data bit 0,
// control bit 2) and status bit 3 read; AllowCable() opens the chosen cable's outputs and power
// bits and every status bit (a read changes no pin). Any other bit is refused before the device
// is opened.
//
// A failed open throws PortError with a message for the user and leaves nothing open; the next
// port call starts the whole open again. So does a port call whose ioctl fails (an adapter pulled
// out and plugged back, a driver reloaded): the device is released and closed before the error
// is thrown, and the next call opens it afresh and reads the shadows again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bus/cable.h"
#include "bus/port.h"
#include "bus/port_choice.h"
#include "bus/device_system.h"

namespace lpt {

class PpdevPort : public Port {
public:
    PpdevPort();  // the default port, on the running system
    explicit PpdevPort(std::shared_ptr<DeviceSystem> sys);  // the default port
    explicit PpdevPort(PortChoice choice, std::shared_ptr<DeviceSystem> sys = MakeLinuxDeviceSystem());
    ~PpdevPort() override;  // releases the port and closes the device when open

    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    void SetPortBit(int port, int bit) override;
    void ClrPortBit(int port, int bit) override;
    std::int32_t GetPortBit(int port, int bit) override;
    LineTiming Timing() const override;

    // The bits `cable` drives (its lines and power bits) may be written, every status bit read.
    void AllowCable(const Cable& cable);

    bool IsOpen() const { return fd_ >= 0; }
    bool EverOpened() const override { return everOpened_; }
    // The device in use, e.g. "/dev/parport0"; empty while not open.
    const std::string& DevicePath() const { return path_; }

private:
    void WriteBit(int port, int bit, bool one);
    // Runs the ioctl of a port call; on failure closes the device and throws.
    void Call(unsigned long request, const char* name, unsigned char* arg);
    void EnsureOpen();
    std::string FindDevice();  // throws PortError
    void OpenDevice(const std::string& path);
    void Close();

    PortChoice choice_;
    std::shared_ptr<DeviceSystem> sys_;
    int fd_ = -1;
    bool claimed_ = false;
    bool everOpened_ = false;  // an open went through at least once
    std::string path_;
    unsigned char data_ = 0;     // shadow of the data register, valid while open
    unsigned char control_ = 0;  // shadow of the control register, valid while open
    // The bits that may be written (data, control) and read (status).
    unsigned char dataWritable_ = 0x01;
    unsigned char controlWritable_ = 0x04;
    unsigned char statusReadable_ = 0x08;
};

}  // namespace lpt
