// The maintenance menu.
#include "Dialog.h"

#include "core/common/qtfs.h"
#include "core/shell/ProgramPaths.h"
#include "ui/backup/Backup.h"
#include "ui/common/Guard.h"
#include "ui/common/Layout.h"
#include "ui/restore/Restore.h"

#include <QPushButton>
#include <QWidget>

#ifdef DATAMAINT_HAVE_XCB
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#endif

namespace {

constexpr Qt::WindowFlags kFixedDialog = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
    | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

} // namespace

Dialog::Dialog(const QString& appFolder)
    : Form(kFixedDialog, Placement::AsGiven)
    , m_appFolder(appFolder)
{
    setWindowTitle(QStringLiteral("数据维护"));
    setWindowIcon(menuIcon());
    keepOffTaskbar();
    // The client area at its stored place on the screen, not centred.
    setGeometry(twipsRect(2760, 3750, 6030, 3195));
    setFixedSize(twips(6030), twips(3195));

    OKButton = placeButton(this, "OKButton", QStringLiteral("退出"), 4680, 2700, 1215, 375);
    CancelButton = placeButton(this, "CancelButton", QStringLiteral("取消"), 4680, 600, 1215, 375);
    CancelButton->setFocusPolicy(Qt::NoFocus);
    CancelButton->hide();
    Command1 = placeButton(this, "Command1", QStringLiteral("数据备份"), 900, 600, 2115, 495);
    CmdRestore = placeButton(this, "CmdRestore", QStringLiteral("数据恢复"), 930, 1680, 2175, 495);
    chainTabOrder({OKButton, Command1, CmdRestore});

    connect(OKButton, &QPushButton::clicked, this, guard([this] { OKButton_Click(); }));
    connect(Command1, &QPushButton::clicked, this, guard([this] { Command1_Click(); }));
    connect(CmdRestore, &QPushButton::clicked, this, guard([this] { CmdRestore_Click(); }));

    Form_Load();
    OKButton->setFocus();
}

void Dialog::Form_Load()
{
    const QString folder = m_appFolder.isEmpty() ? qtfs::fromPath(fsys::executableFolder()) : m_appFolder;
    setProgramPaths(ProgramPaths::forFolder(folder));
}

void Dialog::OKButton_Click()
{
    close();
}

// Each opening is a fresh window, discarded when its modal call returns, also when it merely hid itself.
void Dialog::Command1_Click()
{
    Backup window;
    window.exec();
}

void Dialog::CmdRestore_Click()
{
    Restore window;
    window.exec();
}

void Dialog::keepOffTaskbar()
{
#ifdef Q_OS_WIN
    // Windows gives every unowned top-level window a taskbar button; an owned one gets none. The owner is never
    // shown, so closing the menu still leaves no window and ends the program.
    static QWidget* owner = new QWidget;
    setParent(owner, windowFlags());
#endif
#ifdef DATAMAINT_HAVE_XCB
    // Qt never asks an X11 window manager to leave a window off the taskbar; the state has to be on the window
    // before it is mapped, and Qt keeps it when it adds its own.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb") || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto atom = [connection](const char* name) {
        const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    };
    const xcb_atom_t states[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(winId()), atom("_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, 2, states);
    xcb_flush(connection);
#endif
}
