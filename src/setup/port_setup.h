// The port a program drives, made from what its command line chose: the parallel port --port
// names, through ppdev, a kernel I2C adapter it names, or the simulated memory on a simulated port (--sim, lpt-eeprom-sim),
// starting from the demonstration contents or from a start image. The one place where the
// programs turn that choice into a port, and where the words for --port are.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bus/cable.h"
#include "bus/clock.h"
#include "bus/i2c_adapter.h"
#include "bus/port.h"
#include "bus/port_choice.h"
#include "common/chips.h"
#include "setup/start_image.h"

namespace lpt::setup {

// --port's help, the same words in every program. The line break is where the command-line
// program's help breaks the line; the window programs' parser wraps the text by itself.
extern const char kPortHelp[];

// What the command line chose.
struct PortRequest {
    PortChoice parallelPort;  // --port; the port at 0x378 when not given
    bool simulated = false;   // the simulated memory instead of a parallel port
    std::string startImage;   // its start image; empty: the demonstration contents
    ChipChoice chip;          // the part the simulated memory models, and its start image's
    // The cable: a ppdev port may touch its bits; the simulated memory is wired the same way.
    Cable cable = DirectCable();
};

// The parallel port the user chose, through ppdev. Nothing is opened before its first call.
std::shared_ptr<Port> OpenParallelPort(const PortChoice& choice);
// Where the parallel port comes from: OpenParallelPort, or a test's own port.
using ParallelPortOpener = std::function<std::shared_ptr<Port>(const PortChoice&)>;

// Where a kernel I2C adapter comes from: /dev/i2c-N through the running system, or a test's.
std::shared_ptr<I2cAdapter> OpenAdapter(int number);
using AdapterOpener = std::function<std::shared_ptr<I2cAdapter>(int number)>;

class ChosenPort;

// The port the request names: a kernel I2C adapter when --port names one. A start image is read first, as an image of the chosen chip:
// ImageFileError or PartialStartImage when it cannot be used, before any port exists. `clock`
// runs the simulated memory's write cycle; a parallel port comes from `openParallelPort`.
ChosenPort OpenPort(const PortRequest& request, const ClockFn& clock = SteadyNow,
                    const ParallelPortOpener& openParallelPort = OpenParallelPort,
                    const AdapterOpener& openAdapter = OpenAdapter);

class SimulatedMemory;

// The chosen port, ready for a bus, and whatever stands behind it.
class ChosenPort {
public:
    ChosenPort(ChosenPort&&) noexcept;
    ChosenPort& operator=(ChosenPort&&) noexcept;
    ~ChosenPort();

    // The parallel or simulated port; a kernel adapter has none (std::logic_error).
    Port& Get() const;
    // The kernel I2C adapter, when the port is one; nothing otherwise.
    I2cAdapter* Adapter() const { return adapter_.get(); }
    // A simulated memory that started from an image file and no longer holds what it started
    // with goes back into that file, in the file's format. Nothing happens otherwise. Throws
    // ImageFileError.
    void SaveChanges() const;

private:
    friend ChosenPort OpenPort(const PortRequest&, const ClockFn&, const ParallelPortOpener&,
                               const AdapterOpener&);
    explicit ChosenPort(std::shared_ptr<Port> parallelPort);
    explicit ChosenPort(std::unique_ptr<SimulatedMemory> memory);
    explicit ChosenPort(std::shared_ptr<I2cAdapter> adapter);

    std::shared_ptr<Port> parallelPort_;  // one of the three
    std::unique_ptr<SimulatedMemory> memory_;
    std::shared_ptr<I2cAdapter> adapter_;
};

}  // namespace lpt::setup
