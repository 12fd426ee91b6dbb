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
    menu.show();
    return app.exec();
}
