#include "setup/port_setup.h"

#include <optional>
#include <stdexcept>
#include <utility>

#include "bus/ppdev_port.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"

namespace lpt::setup {

const char kPortHelp[] =
    "The parallel port the memory is wired to: its device (/dev/parport1,\n"
    "parport1) or its base address (0x378, 0xd010, 888), or a kernel I2C\n"
    "adapter (/dev/i2c-N, i2c-N; i2cdetect -l lists them); 0x378 when not given";

// The simulated memory on the wires of a simulated port with zero line timing. The port keeps no
// record of its calls: nobody reads it, and a write would make it large.
class SimulatedMemory {
public:
    SimulatedMemory(std::optional<StartImage> start, const ClockFn& clock, const ChipChoice& chip,
                    const Cable& cable)
        : start_(std::move(start)), eeprom_(clock, chip), port_(LineTiming{}, clock) {
        port_.Wire(cable);  // a whole port: the cable test reads every status bit
        if (start_)
            eeprom_.Memory() = start_->bytes;
        else
            sim::LoadDemoContents(eeprom_);
        port_.SetRecording(false);
        port_.Attach(eeprom_);
    }
    ~SimulatedMemory() { port_.Detach(eeprom_); }
    SimulatedMemory(const SimulatedMemory&) = delete;
    SimulatedMemory& operator=(const SimulatedMemory&) = delete;

    Port& GetPort() { return port_; }

    void SaveChanges() const {
        if (start_ && eeprom_.Memory() != start_->bytes) SaveStartImage(*start_, eeprom_.Memory());
    }

private:
    std::optional<StartImage> start_;
    sim::SimEeprom eeprom_;
    sim::SimPort port_;
};

std::shared_ptr<Port> OpenParallelPort(const PortChoice& choice) {
    return std::make_shared<PpdevPort>(choice);
}

std::shared_ptr<I2cAdapter> OpenAdapter(int number) {
    return std::make_shared<I2cAdapter>(MakeLinuxDeviceSystem(), number);
}

ChosenPort OpenPort(const PortRequest& request, const ClockFn& clock,
                    const ParallelPortOpener& openParallelPort, const AdapterOpener& openAdapter) {
    if (!request.simulated && request.parallelPort.IsAdapter())
        return ChosenPort(openAdapter(request.parallelPort.adapter));
    if (!request.simulated) {
        std::shared_ptr<Port> port = openParallelPort(request.parallelPort);
        // A ppdev port touches only the bits it is told of: the chosen cable's.
        if (auto ppdev = std::dynamic_pointer_cast<PpdevPort>(port)) ppdev->AllowCable(request.cable);
        return ChosenPort(std::move(port));
    }
    std::optional<StartImage> start;
    if (!request.startImage.empty()) start = ReadStartImage(request.startImage, request.chip);
    return ChosenPort(std::make_unique<SimulatedMemory>(std::move(start), clock, request.chip,
                                                        request.cable));
}

ChosenPort::ChosenPort(std::shared_ptr<Port> parallelPort)
    : parallelPort_(std::move(parallelPort)) {}
ChosenPort::ChosenPort(std::unique_ptr<SimulatedMemory> memory) : memory_(std::move(memory)) {}
ChosenPort::ChosenPort(std::shared_ptr<I2cAdapter> adapter) : adapter_(std::move(adapter)) {}
ChosenPort::ChosenPort(ChosenPort&&) noexcept = default;
ChosenPort& ChosenPort::operator=(ChosenPort&&) noexcept = default;
ChosenPort::~ChosenPort() = default;

Port& ChosenPort::Get() const {
    if (adapter_) throw std::logic_error("a kernel I2C adapter has no port lines");
    return memory_ ? memory_->GetPort() : *parallelPort_;
}

void ChosenPort::SaveChanges() const {
    if (memory_) memory_->SaveChanges();
}

}  // namespace lpt::setup
