// lpt-eeprom: the window over the real parallel port at 0x378, through the Linux ppdev driver.
#include <QApplication>

#include "bus/ppdev_port.h"
#include "ui/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    lpt::PpdevPort port;  // opened at the first port call, released when the program ends
    lpt::ui::Form1 window(port);
    window.Load();
    window.show();
    return QApplication::exec();
}
