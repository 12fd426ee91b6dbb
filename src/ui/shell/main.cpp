// Program start: the maintenance menu, until it is closed.
#include "Application.h"
#include "Dialog.h"
#include "fs/fsys.h"

#include <csignal>

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // Past a file-size limit a write must fail like a full disk, not kill the program half way through a copy.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // A copy cut short by a signal leaves no temporary file of up to the data file's size behind.
    fsys::removeTemporaryOnExit();
    Application app(argc, argv);
    Dialog menu;
    // The program ends when the menu closes, and only then. On Windows the menu has a hidden owner (it keeps the
    // menu off the taskbar), and Qt's count of the windows left would end the program when the backup window closes
    // and keep it running without a window once the menu has closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&menu, &QDialog::finished, &app, &QCoreApplication::quit);
    menu.show();
    return app.exec();
}
