// lpt-eeprom-sim: the same window over a simulated port with a simulated memory on its wires.
// The memory starts with fixed demonstration contents and lives only while the program runs.
#include <QApplication>

#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "ui/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    lpt::sim::SimPort port;
    port.SetRecording(false);  // nobody reads the record here; don't let it grow
    lpt::sim::SimEeprom eeprom;
    lpt::sim::LoadDemoContents(eeprom);
    port.Attach(eeprom);
    lpt::ui::Form1 window(port);
    window.Load();
    window.show();
    const int rc = QApplication::exec();
    port.Detach(eeprom);
    return rc;
}
