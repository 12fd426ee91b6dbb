// The five windows as the operator meets them: titles, sizes, keys and focus, and what each button does, with the
// copies behind them stopped, failing and outlived by a quit.
#include "core/common/FileError.h"
#include "support/AppFolder.h"
#include "support/Modals.h"
#include "ui/backup/Backup.h"
#include "ui/common/Layout.h"
#include "ui/common/ProgressWindow.h"
#include "ui/common/Prompts.h"
#include "ui/common/Wait.h"
#include "ui/common/WindowCopyRunner.h"
#include "ui/restore/Restore.h"
#include "ui/restore/RestoreOk.h"
#include "ui/shell/Application.h"
#include "ui/shell/Dialog.h"

#include <QtWidgets>

using fsys::CopyStep;

namespace {

std::unique_ptr<QWidget> make(const QString& kind)
{
    if (kind == "Dialog")
        return std::make_unique<Dialog>(programPaths().AppFolder);
    if (kind == "Backup")
        return std::make_unique<Backup>();
    if (kind == "Restore")
        return std::make_unique<Restore>();
    if (kind == "Wait")
        return std::make_unique<Wait>();
    if (kind == "RestoreOk")
        return std::make_unique<RestoreOk>();
    static fsys::CopyControl control;
    return std::make_unique<ProgressWindow>(control);
}

// What the operator reads in a window: its title, then each shown control's text or, for a box or a list, the name
// a screen reader announces, in the order the controls were made.
QString texts(QWidget* window)
{
    QStringList seen = {window->windowTitle()};
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window))
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            seen << button->text();
        else if (auto* label = qobject_cast<QLabel*>(control))
            seen << label->text();
        else if (auto* frame = qobject_cast<QGroupBox*>(control))
            seen << frame->title();
        else if (!control->accessibleName().isEmpty())
            seen << control->accessibleName();
    }
    return seen.join('|');
}

// Where the backup window's manual backup goes, under the name in its box.
QString manualTarget(const Backup& window)
{
    return programPaths().BackupFolder + pathSeparator() + window.txtFile->text() + ".ZIP";
}

// Clicks through the window's QWindow, the way a real mouse press arrives.
void clickThroughWindow(QWidget* target)
{
    QWidget* window = target->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, target->mapTo(window, target->rect().center()));
}

// Holds the copy, on its worker thread, at the step until goOn says so.
void holdAt(CopyStep step, std::function<bool()> goOn)
{
    fsys::testing::setStepHook([=](CopyStep now, const fsys::Path&) {
        while (now == step && !goOn())
            QThread::msleep(1);
        return std::error_code();
    });
}

} // namespace

Q_DECLARE_METATYPE(CopyStep)

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_app = std::make_unique<AppFolder>();
        // A slow machine shows no progress window where none is expected.
        WindowCopyRunner::progressDelay = 60000;
    }
    void cleanup() { fsys::testing::setStepHook({}); }

    void keys_data()
    {
        QTest::addColumn<QString>("texts");
        QTest::addColumn<QSize>("twipsSize");
        // From the control that has the focus when the window opens.
        QTest::addColumn<QStringList>("tabOrder");
        QTest::newRow("Dialog") << "数据维护|退出|数据备份|数据恢复" << QSize(6030, 3195)
                                << QStringList {"OKButton", "Command1", "CmdRestore"};
        QTest::newRow("Backup")
            << "数据备份|备份帐套名||备份文件名:|备份文件名:|备份文件存放路径|备份文件存放路径|浏览...||开始备份|取消"
            << QSize(7050, 3690) << QStringList {"CmdBackup", "Command2", "txtFile", "txtPath", "Command3"};
        QTest::newRow("Restore") << "恢复备份文件||要恢复的帐套名|从以下备份文件中恢复|浏览...|备份文件存放路径|"
                                    "备份文件名:|备份文件存放路径|备份文件名:||取消|开始恢复|此目录下没有备份文件"
                                 << QSize(7440, 5040)
                                 << QStringList {"Command3", "txtPath", "List1", "Command2", "Command1"};
        QTest::newRow("Wait") << "信息|Label1|确定" << QSize(3270, 2175) << QStringList {"Command1"};
        QTest::newRow("RestoreOk")
            << "    数据恢复完毕|数据恢复完毕,您需要重新登录或退出,请选择|重新登录|退出系统|Command3"
            << QSize(3975, 2115) << QStringList {"Command1", "Command2", "Command3"};
        QTest::newRow("ProgressWindow") << "正在复制|已复制 0.0 MB，共 0.0 MB|进度|取消" << QSize(4500, 1650)
                                        << QStringList {"cmdCancel"};
    }

    // Each window opens with its texts, size and icon, and the focus on its first control; Tab goes round in order,
    // and Esc closes nothing (on the restart prompt it ends the program, on the progress window it stops the copy).
    void keys()
    {
        QFETCH(QString, texts);
        QFETCH(QSize, twipsSize);
        QFETCH(QStringList, tabOrder);
        // So that leaving the path box passes.
        QDir().mkpath(app().paths.BackupFolder);
        const auto window = make(QTest::currentDataTag());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(::texts(window.get()), texts);
        QCOMPARE(window->size(), QSize(twips(twipsSize.width()), twips(twipsSize.height())));
        QCOMPARE(window->windowIcon().availableSizes(), (QList<QSize> {{32, 32}, {16, 16}}));
        for (int i = 0; i <= tabOrder.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            QCOMPARE(focus->objectName(), tabOrder[i % tabOrder.size()]);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        if (QTest::currentDataTag() != QByteArray("RestoreOk"))
            QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(window->isVisible());
    }

    // The menu opens the backup and the restore window; "退出" closes it.
    void menuButtons()
    {
        Dialog menu(app().path("app"));
        menu.show();
        const ModalStep close = [](QWidget* window) { window->close(); };
        QCOMPARE(answerModals([&] { menu.Command1->click(); }, {close}), QStringList {"数据备份"});
        QCOMPARE(answerModals([&] { menu.CmdRestore->click(); }, {close}), QStringList {"恢复备份文件"});
        menu.OKButton->click();
        QVERIFY(!menu.isVisible());
    }

    // Enter on "开始备份" backs up at once; the window is disabled meanwhile and gets its focus back. A failure, a
    // copy that throws included, is a message box, leaves Result alone and no temporary file. A path that is no folder
    // keeps the focus in its box, and the click that would take it does not run; "取消" is exempt.
    void backupWindow()
    {
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString target = manualTarget(window);
        const ModalStep disabled = [&](QWidget* modal) {
            QVERIFY(!window.isEnabled());
            press()(modal);
        };
        QCOMPARE(answerModals([&] { QTest::keyClick(window.CmdBackup, Qt::Key_Return); }, {disabled}),
                 QStringList {succeeded(target)});
        QCOMPARE(window.Result, -1);
        QTRY_COMPARE(QApplication::focusWidget(), window.CmdBackup);
        fsys::testing::setStepHook(
            [](CopyStep, const fsys::Path&) -> std::error_code { throw std::runtime_error("out of memory"); });
        window.Result = 7;
        QCOMPARE(answerModals([&] { window.CmdBackup->click(); }, {press(QMessageBox::Yes), press()}).last(), kFailed);
        QCOMPARE(window.Result, 7);
        QVERIFY(window.isEnabled());
        QCOMPARE(AppFolder::names(app().paths.BackupFolder), QStringList {window.txtFile->text() + ".ZIP"});

        const QString typed = app().path("nowhere");
        window.txtPath->setText(typed);
        window.txtPath->setFocus();
        const QStringList notFound = {"找不到路径:" + typed};
        QCOMPARE(answerModals([&] { clickThroughWindow(window.CmdBackup); }, {press()}), notFound);
        // So are Tab, Shift+Tab and a shortcut to another control; the focus stays in the box.
        window.CmdBackup->setShortcut(Qt::ALT | Qt::Key_B);
        for (const QKeyCombination key :
             {Qt::Key_Tab | Qt::NoModifier, Qt::Key_Backtab | Qt::NoModifier, Qt::ALT | Qt::Key_B}) {
            QTRY_COMPARE(QApplication::focusWidget(), window.txtPath);
            QCOMPARE(
                answerModals([&] { QTest::keyClick(window.txtPath, key.key(), key.keyboardModifiers()); }, {press()}),
                notFound);
        }
        QVERIFY(!window.CmdBackup->isDown());
        // A click in the box is the operator's own and checks nothing.
        window.txtPath->setCursorPosition(0);
        QCOMPARE(answerModals([&] { clickThroughWindow(window.txtPath); }, {}), QStringList());
        QVERIFY(window.txtPath->cursorPosition() > 0);
        // A click on a label takes no focus and checks nothing; while another control has the focus nothing is
        // checked either.
        QCOMPARE(answerModals([&] { clickThroughWindow(window.Label1[0]); }, {}), QStringList());
        window.txtFile->setFocus();
        QCOMPARE(answerModals([&] { clickThroughWindow(window.CmdBackup); }, {press()}), QStringList {kFailed});
        // "浏览..." fills in the folder of the file picked in the dialog, which starts in the backup folder and offers
        // every file; a file that is not there, or a cancelled pick, says so and keeps the text. The window goes on
        // working with the focus in the path box.
        window.txtPath->setFocus();
        QString picked = app().write("other/old.ZIP", "x");
        FileDialogState shown;
        window.setShowOpen([&](FileDialogState& state) {
            shown = state;
            state.FileName = picked;
            return true;
        });
        window.Command3->click();
        QCOMPARE(shown.InitDir, app().paths.BackupFolder);
        QCOMPARE(shown.Filter, QString());
        QCOMPARE(window.txtPath->text(), app().path("other"));
        picked = typed;
        QCOMPARE(answerModals([&] { window.Command3->click(); }, {press()}), QStringList {"指定文件不存在"});
        window.setShowOpen([](FileDialogState&) { return false; });
        QCOMPARE(answerModals([&] { window.Command3->click(); }, {press()}), QStringList {"请指定一个文件"});
        QCOMPARE(window.txtPath->text(), app().path("other"));

        window.txtPath->setFocus();
        window.txtPath->setText(typed);
        QCOMPARE(answerModals([&] { clickThroughWindow(window.Command2); }, {}), QStringList());
        QVERIFY(!window.isVisible());
    }

    // The automatic entry reports through a notice, which closes by itself, and sets Result; its failures go to the
    // caller. A caller that sets bAutoBk gets the manual backup's outcome as a notice too, and its refusal still in a
    // message box.
    void automaticBackup()
    {
        Backup window;
        const ModalStep notice = [](QWidget* modal) { QVERIFY(qobject_cast<Wait*>(modal)); };
        window.strAutoBackFile = "auto";
        const QString target = app().path("appAUTOBK/auto.ZIP");
        QCOMPARE(answerModals([&] { window.RunAutoBackup(); }, {notice}), QStringList {succeeded(target)});
        QCOMPARE(window.Result, -1);
        window.strAutoBackFile = "a?";
        QVERIFY_THROWS_EXCEPTION(FileError, window.RunAutoBackup());
        QCOMPARE(window.Result, 0);
        window.bAutoBk = -1;
        QCOMPARE(answerModals([&] { window.CmdBackup_Click(); }, {notice}),
                 QStringList {succeeded(manualTarget(window))});
        window.txtFile->setText("a?");
        QCOMPARE(answerModals([&] { window.CmdBackup_Click(); }, {press()}),
                 QStringList {"备份文件名不能包含通配符 * 或 ?"});
    }

    void stopAt_data()
    {
        QTest::addColumn<CopyStep>("step");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<bool>("stops");
        // "取消", "Esc" or the close box.
        QTest::addColumn<QString>("how");
        QTest::newRow("取消 while copying") << CopyStep::Wrote << "已复制 0.1 MB，共 0.1 MB" << true << "取消";
        QTest::newRow("Esc while flushing") << CopyStep::Flushed << "正在写入磁盘…" << true << "Esc";
        QTest::newRow("close box after the rename") << CopyStep::Renamed << "正在完成，已无法取消" << false << "close";
    }

    // A long copy shows its progress. "取消", Esc and the close box stop it until it replaces the target: the old
    // file stays, nothing is reported, Result stays and the window is usable again. From the rename on it can no
    // longer be stopped; the window says so and the outcome is reported as usual.
    void stopAt()
    {
        QFETCH(CopyStep, step);
        QFETCH(QString, shows);
        QFETCH(bool, stops);
        QFETCH(QString, how);
        const QString target = app().write("app/BACKUP/old.ZIP", "old");
        std::atomic<bool> released = false;
        holdAt(step, [&] { return released.load(); });
        WindowCopyRunner::progressDelay = 0;
        Backup window;
        window.txtFile->setText("old");
        window.Result = 7;
        const ModalStep stop = [&](QWidget* modal) {
            const auto release = qScopeGuard([&] { released = true; });
            auto* progress = qobject_cast<ProgressWindow*>(modal);
            QTRY_COMPARE(progress->lblProgress->text(), shows);
            // All written by then.
            QCOMPARE(progress->barProgress->value(), progress->barProgress->maximum());
            QCOMPARE(progress->cmdCancel->isEnabled(), stops);
            if (how == "取消")
                progress->cmdCancel->click();
            else if (how == "Esc")
                QTest::keyClick(progress, Qt::Key_Escape);
            else
                progress->close();
            QVERIFY(progress->isVisible());
            QCOMPARE(progress->lblProgress->text(), stops ? "正在取消…" : shows);
        };
        const QStringList reported = {"正在复制", stops ? "<step left>" : succeeded(target)};
        QCOMPARE(answerModals([&] { window.CmdBackup->click(); }, {press(QMessageBox::Yes), stop, press()}).mid(1),
                 reported);
        QCOMPARE(AppFolder::read(target), stops ? "old" : app().data);
        QCOMPARE(window.Result, stops ? 7 : -1);
        QVERIFY(window.isEnabled());
    }

    // Quitting the application during a copy (on Windows also the end of the session) stops the copy, and the quit
    // goes through: nothing is replaced and no temporary is left. Quit needs the application's own event loop, which
    // the program ends only when its menu closes.
    void quitDuringACopy()
    {
        std::atomic<bool> quitting = false;
        holdAt(CopyStep::Flushed, [&] {
            if (!quitting)
                return false;
            // Long enough after the quit for it to have asked for the stop.
            QThread::msleep(100);
            return true;
        });
        WindowCopyRunner::progressDelay = 0;
        QApplication::setQuitOnLastWindowClosed(false);
        const auto restore = qScopeGuard([] { QApplication::setQuitOnLastWindowClosed(true); });
        Backup window;
        QTimer::singleShot(0, &window, [&] { window.CmdBackup->click(); });
        QTimer::singleShot(100, &window, [&] {
            quitting = true;
            QCoreApplication::quit();
        });
        // A quit that was refused would never return.
        QCoreApplication::exec();
        QCOMPARE(AppFolder::names(app().paths.BackupFolder), QStringList());
    }

    // The restore hides its window before it reports success. "浏览..." lists another folder, starting the dialog in
    // the one shown, and the restore then reads the folder listed, whatever is typed into the path box; a cancelled
    // dialog changes nothing. A list holds only backups, in the order of their names.
    void restoreWindow()
    {
        const QByteArray kept = QByteArray::fromStdString(sampleBytes(7000, 6));
        app().write("usb/kept.ZIP", kept);
        // Listed by name ignoring case, and only ordinary visible files ending in ".ZIP" in any case.
        for (const char* name : {"Later.zip", "a.zipx", ".hidden.ZIP", "x.ZIP/y"})
            app().write("usb/" + QString(name), "x");
        Restore window;
        window.show();
        QCOMPARE(window.txtPath->text(), app().paths.BackupFolder);
        QStringList starts;
        QString chosen = app().path("usb");
        window.setChooseFolder([&](const QString& start) {
            starts << start;
            return chosen;
        });
        window.Command3->click();
        chosen.clear();
        window.Command3->click();
        QCOMPARE(starts, (QStringList {app().paths.BackupFolder, app().path("usb")}));
        QCOMPARE(window.txtPath->text(), app().path("usb"));
        QCOMPARE(window.List1->count(), 2);
        QCOMPARE(window.List1->currentItem()->text(), "kept.ZIP");
        QCOMPARE(window.List1->item(1)->text(), "Later.zip");
        QCOMPARE(window.lblTip->text(), QString());

        window.txtPath->setText(app().paths.BackupFolder);
        const ModalStep hidden = [&](QWidget* modal) {
            QVERIFY(!window.isVisible());
            press()(modal);
        };
        QCOMPARE(answerModals([&] { window.Command1->click(); }, {press(QMessageBox::Yes), hidden}).last(),
                 "恢复文件成功");
        QCOMPARE(AppFolder::read(app().paths.DataFilePath), kept);
        window.show();
        // "取消"
        window.Command2->click();
        QVERIFY(!window.isVisible());
    }

private:
    const AppFolder& app() const { return *m_app; }

    // Fresh for each test function and row.
    std::unique_ptr<AppFolder> m_app;
};

int main(int argc, char** argv)
{
    // With the program's translation of Qt's own buttons.
    Application app(argc, argv);
    TestWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows.moc"
