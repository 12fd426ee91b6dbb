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

namespace {

const QString kFailed = u"备份出错，请退出系统再进入一次进行备份"_s;

std::unique_ptr<QWidget> make(const QString& kind, const AppFolder& app)
{
    if (kind == u"Dialog")
        return std::make_unique<Dialog>(app.path(u"app"_s));
    if (kind == u"Backup")
        return std::make_unique<Backup>();
    if (kind == u"Restore")
        return std::make_unique<Restore>();
    if (kind == u"Wait")
        return std::make_unique<Wait>();
    return std::make_unique<RestoreOk>();
}

// Clicks through the window's QWindow, the way a real mouse press arrives.
void clickThroughWindow(QWidget* target)
{
    QWidget* window = target->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, target->mapTo(window, target->rect().center()));
}

// Holds the copy at a step, on its worker thread, until the test lets it go on.
struct Hold
{
    std::atomic<int> at {-1};

    void arm(fsys::CopyStep step)
    {
        at = static_cast<int>(step);
        fsys::testing::setStepHook([this](fsys::CopyStep now, const fsys::Path&) {
            while (static_cast<int>(now) == at)
                QThread::msleep(1);
            return std::error_code();
        });
    }
    void release() { at = -1; }
};

} // namespace

Q_DECLARE_METATYPE(fsys::CopyStep)

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_app = std::make_unique<AppFolder>(); }
    void cleanup()
    {
        fsys::testing::setStepHook({});
        WindowCopyRunner::progressDelay = 300;
    }

    void keys_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("twipsSize");
        QTest::addColumn<QStringList>("tabOrder"); // from the control that has the focus when the window opens
        QTest::newRow("menu") << u"Dialog"_s << u"数据维护"_s << QSize(6030, 3195)
                              << QStringList {u"OKButton"_s, u"Command1"_s, u"CmdRestore"_s};
        QTest::newRow("backup") << u"Backup"_s << u"数据备份"_s << QSize(7050, 3690)
                                << QStringList {u"CmdBackup"_s, u"Command2"_s, u"txtFile"_s, u"txtPath"_s,
                                                u"Command3"_s};
        QTest::newRow("restore") << u"Restore"_s << u"恢复备份文件"_s << QSize(7440, 5040)
                                 << QStringList {u"Command3"_s, u"txtPath"_s, u"List1"_s, u"Command2"_s, u"Command1"_s};
        QTest::newRow("notice") << u"Wait"_s << u"信息"_s << QSize(3270, 2175) << QStringList {u"Command1"_s};
        QTest::newRow("restart prompt") << u"RestoreOk"_s << u"    数据恢复完毕"_s << QSize(3975, 2115)
                                        << QStringList {u"Command1"_s, u"Command2"_s, u"Command3"_s};
    }

    // Each window opens with its title and size and the focus on its first control; Tab goes round in order, Enter
    // outside a button and Esc do nothing (on the restart prompt Esc ends the program).
    void keys()
    {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(QSize, twipsSize);
        QFETCH(QStringList, tabOrder);
        QDir().mkpath(app().paths.BackupFolder); // so that leaving the path box passes
        const auto window = make(kind, app());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->windowTitle(), title);
        QCOMPARE(window->size(), QSize(twips(twipsSize.width()), twips(twipsSize.height())));
        for (int i = 0; i <= tabOrder.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            QCOMPARE(focus->objectName(), tabOrder[i % tabOrder.size()]);
            if (!qobject_cast<QPushButton*>(focus))
                QCOMPARE(answerModals([&] { QTest::keyClick(focus, Qt::Key_Return); }, {}), QStringList());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        if (kind != u"RestoreOk")
            QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(window->isVisible());
    }

    void menu()
    {
        Dialog menu(app().path(u"app"_s));
        QCOMPARE(answerModals([&] { menu.Command1->click(); }, {press()}), QStringList {u"数据备份"_s});
        QCOMPARE(AppFolder::names(app().dir.path()), QStringList {u"app"_s}); // nothing made at start-up

        // A window that cannot load is reported, in the operator's language with the system's reason behind the
        // path, and not shown; the menu goes on.
        Dialog orphan(app().path(u"no/app"_s));
        orphan.show();
        const QStringList seen = answerModals([&] { orphan.CmdRestore->click(); }, {press()});
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen[0].startsWith(u"无法建立文件夹“"_s + app().path(u"no/app/BACKUP"_s) + u"”："_s),
                 qPrintable(seen[0]));
        QVERIFY(orphan.isVisible());
        QTest::keyClick(orphan.OKButton, Qt::Key_Space);
        QVERIFY(!orphan.isVisible());
    }

    // Enter on "开始备份" backs up at once; the window is disabled meanwhile and gets its focus back.
    void backupWindow()
    {
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.txtPath->text(), app().paths.BackupFolder);
        const QString target = app().backup(window.txtFile->text() + u".ZIP"_s);
        bool disabled = false;
        const auto seeState = [&](QWidget* modal) {
            disabled = !window.isEnabled();
            press()(modal);
        };
        QCOMPARE(answerModals([&] { QTest::keyClick(window.CmdBackup, Qt::Key_Return); }, {seeState}),
                 QStringList {succeeded(target)});
        QVERIFY(disabled);
        QVERIFY(window.isEnabled());
        QCOMPARE(window.Result, -1);
        QTRY_COMPARE(QApplication::focusWidget(), window.CmdBackup);

        // A failure is a message box and leaves Result alone.
        QFile::remove(app().paths.DataFilePath);
        window.Result = 7;
        const QStringList seen = answerModals([&] { window.CmdBackup->click(); }, {press(QMessageBox::Yes), press()});
        QCOMPARE(seen.last(), kFailed);
        QCOMPARE(window.Result, 7);
        QVERIFY(window.isEnabled());
    }

    // A path that is no folder keeps the focus in its box, and the click that would take it does not run.
    void pathCheck()
    {
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString typed = app().path(u"nowhere"_s);
        window.txtPath->setText(typed);
        window.txtPath->setFocus();
        const QStringList notFound = {u"找不到路径:"_s + typed};
        QCOMPARE(answerModals([&] { clickThroughWindow(window.CmdBackup); }, {press()}), notFound);
        QCOMPARE(answerModals([&] { QTest::keyClick(window.txtPath, Qt::Key_Tab); }, {press()}), notFound);
        clickThroughWindow(window.Label1[0]); // a label takes no focus: no check
        QCOMPARE(QApplication::focusWidget(), window.txtPath);
        QTest::keyClick(window.windowHandle(), Qt::Key_A, Qt::ControlModifier); // the box's own shortcuts work
        QTest::keyClick(window.windowHandle(), Qt::Key_B); // and typing in it is no leaving
        QCOMPARE(window.txtPath->text(), u"b"_s);
        window.txtPath->setText(typed);
        window.txtFile->setFocus(); // checked when it is left, not while another control has the focus
        QCOMPARE(answerModals([&] { clickThroughWindow(window.CmdBackup); }, {press()}), QStringList {kFailed});

        window.txtPath->setFocus();
        window.txtPath->setText(app().paths.DataFilePath); // a file passes the folder test too
        QCOMPARE(answerModals([&] { QTest::keyClick(window.txtPath, Qt::Key_Tab); }, {}), QStringList());
        QCOMPARE(QApplication::focusWidget(), window.Command3);
        window.txtPath->setFocus();
        window.txtPath->setText(typed);
        QCOMPARE(answerModals([&] { clickThroughWindow(window.Command2); }, {}), QStringList()); // "取消" is exempt
        QVERIFY(!window.isVisible());
    }

    // "浏览..." fills in the folder of the file picked in the dialog, which starts in the backup folder; a cancelled
    // pick says so and keeps the text. Windows shows its own dialog, which no test here can drive: a stand-in picks.
    void backupBrowse()
    {
        QDir().mkpath(app().paths.BackupFolder);
        Backup window;
        const QString picked = app().write(u"other/old.ZIP"_s, "x");
        QList<ModalStep> steps = {[&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QCOMPARE(QDir::toNativeSeparators(dialog->directory().path()), app().paths.BackupFolder);
            dialog->selectFile(picked);
            QMetaObject::invokeMethod(dialog, "accept");
        }};
        if (QGuiApplication::platformName() == u"windows") {
            window.setShowOpen([&](FileDialogState& state) {
                state.FileName = picked;
                return true;
            });
            steps.clear();
        }
        QCOMPARE(answerModals([&] { window.Command3->click(); }, steps).size(), steps.size());
        QCOMPARE(window.txtPath->text(), app().path(u"other"_s));
        window.setShowOpen([](FileDialogState&) { return false; });
        QCOMPARE(answerModals([&] { window.Command3->click(); }, {press()}), QStringList {u"请指定一个文件"_s});
        QCOMPARE(window.txtPath->text(), app().path(u"other"_s));
    }

    // The automatic entry reports through a notice and sets Result; its failures go to the caller. A caller that
    // sets bAutoBk gets the manual backup's outcome as a notice too, and its failure still in a message box.
    void automaticBackup()
    {
        Backup window;
        const auto notice = [](QWidget* modal) {
            QVERIFY(qobject_cast<Wait*>(modal));
            press()(modal);
        };
        window.strAutoBackFile = u"auto"_s;
        const QString target = app().path(u"appAUTOBK/auto.ZIP"_s);
        QCOMPARE(answerModals([&] { window.RunAutoBackup(); }, {notice}), QStringList {succeeded(target)});
        QCOMPARE(window.Result, -1);
        window.strAutoBackFile = u"a?"_s;
        QVERIFY_THROWS_EXCEPTION(FileError, window.RunAutoBackup());
        QCOMPARE(window.Result, 0);

        window.bAutoBk = -1;
        const QStringList seen = answerModals([&] { window.CmdBackup_Click(); }, {notice});
        QCOMPARE(seen, QStringList {succeeded(app().backup(window.txtFile->text() + u".ZIP"_s))});
        window.txtFile->setText(u"a?"_s);
        QCOMPARE(answerModals([&] { window.CmdBackup_Click(); }, {press()}),
                 QStringList {u"备份文件名不能包含通配符 * 或 ?"_s});
    }

    void stopAt_data()
    {
        QTest::addColumn<fsys::CopyStep>("step");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<bool>("stops");
        QTest::newRow("while copying") << fsys::CopyStep::Wrote << u"已复制 0.1 MB，共 0.1 MB"_s << true;
        QTest::newRow("while flushing") << fsys::CopyStep::Flushed << u"正在写入磁盘…"_s << true;
        QTest::newRow("after the rename") << fsys::CopyStep::Renamed << u"正在完成，已无法取消"_s << false;
    }

    // A long copy shows its progress. "取消" and the close box stop it until it replaces the target: the old file
    // stays, no temporary is left, nothing is reported, Result stays and the window is usable again. From the rename
    // on it can no longer be stopped; the window says so and the outcome is reported as usual.
    void stopAt()
    {
        QFETCH(fsys::CopyStep, step);
        QFETCH(QString, shows);
        QFETCH(bool, stops);
        const QByteArray old = QByteArray::fromStdString(sampleBytes(70000, 5));
        const QString target = app().write(u"app/BACKUP/old.ZIP"_s, old);
        Hold hold;
        hold.arm(step);
        WindowCopyRunner::progressDelay = 0;
        Backup window;
        window.txtFile->setText(u"old"_s);
        window.Result = 7;
        const auto stop = [&](QWidget* modal) {
            const auto release = qScopeGuard([&] { hold.release(); });
            auto* progress = qobject_cast<ProgressWindow*>(modal);
            QCOMPARE(progress->size(), QSize(twips(4500), twips(1650)));
            QTRY_COMPARE(progress->lblProgress->text(), shows);
            QCOMPARE(progress->cmdCancel->isEnabled(), stops);
            progress->close();
            QVERIFY(progress->isVisible());
            progress->cmdCancel->click();
            QCOMPARE(progress->lblProgress->text(), stops ? u"正在取消…"_s : shows);
        };
        const QString question = u"目标文件"_s + target + u"已经存在,要覆盖吗 ?"_s;
        const QStringList seen
            = answerModals([&] { window.CmdBackup->click(); }, {press(QMessageBox::Yes), stop, press()});
        QStringList expected = {question, u"正在复制"_s, stops ? u"<step left>"_s : succeeded(target)};
        QCOMPARE(seen, expected);
        QCOMPARE(AppFolder::read(target), stops ? old : app().data);
        QCOMPARE(window.Result, stops ? 7 : -1);
        QVERIFY(window.isEnabled());
        QCOMPARE(AppFolder::names(app().paths.BackupFolder), QStringList {u"old.ZIP"_s});
    }

    // A copy that throws is a failure, reported as one, with its temporary file gone and the window usable.
    void copyThatThrows()
    {
        fsys::testing::setStepHook([](fsys::CopyStep step, const fsys::Path&) -> std::error_code {
            if (step == fsys::CopyStep::Wrote)
                throw std::runtime_error("out of memory");
            return {};
        });
        Backup window;
        QCOMPARE(answerModals([&] { window.CmdBackup->click(); }, {press()}), QStringList {kFailed});
        QVERIFY(window.isEnabled());
        QCOMPARE(AppFolder::names(app().paths.BackupFolder), QStringList());
    }

    void quitDuringACopy_data()
    {
        QTest::addColumn<int>("progressDelay");
        QTest::newRow("before the progress window shows") << 60000;
        QTest::newRow("with the progress window") << 0;
    }

    // Quitting the application during a copy (on Windows also the end of the session) stops the copy, and the quit
    // goes through: the window's thread waits only for the stop, nothing is replaced and no temporary is left.
    // Quit needs the application's own event loop, which the program ends only when its menu closes.
    void quitDuringACopy()
    {
        QFETCH(int, progressDelay);
        std::atomic<bool> quitting {false};
        fsys::testing::setStepHook([&](fsys::CopyStep step, const fsys::Path&) {
            while (step == fsys::CopyStep::Flushed && !quitting)
                QThread::msleep(1);
            if (step == fsys::CopyStep::Flushed)
                QThread::msleep(100); // long enough for the quit to have asked for the stop
            return std::error_code();
        });
        WindowCopyRunner::progressDelay = progressDelay;
        QApplication::setQuitOnLastWindowClosed(false);
        const auto restore = qScopeGuard([] { QApplication::setQuitOnLastWindowClosed(true); });
        Backup window;
        bool refused = false;
        QTimer::singleShot(0, &window, [&] { window.CmdBackup->click(); });
        QTimer::singleShot(100, &window, [&] {
            quitting = true;
            QCoreApplication::quit();
        });
        QTimer::singleShot(45000, &window, [&] { // a flush may wait for all that the disk has yet to write
            refused = true;
            QCoreApplication::exit();
        });
        QCoreApplication::exec();
        QVERIFY(!refused);
        QCOMPARE(AppFolder::names(app().paths.BackupFolder), QStringList());
    }

    // The restore hides its window before it reports success. "浏览..." lists another folder, starting the dialog in
    // the one shown, and the restore then reads the folder listed, whatever is typed into the path box; a cancelled
    // dialog changes nothing.
    void restoreWindow()
    {
        const QByteArray kept = QByteArray::fromStdString(sampleBytes(7000, 6));
        app().write(u"usb/kept.ZIP"_s, kept);
        app().write(u"usb/later.ZIP"_s, "x");
        QDir().mkpath(app().path(u"empty"_s));
        Restore window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.List1->count(), 0);
        QCOMPARE(window.lblTip->text(), u"此目录下没有备份文件"_s);
        QString start;
        QString chosen = app().path(u"usb"_s);
        window.setChooseFolder([&](const QString& from) {
            start = from;
            return chosen;
        });
        window.Command3->click();
        QCOMPARE(start, app().paths.BackupFolder);
        QCOMPARE(window.txtPath->text(), app().path(u"usb"_s));
        QCOMPARE(window.List1->currentItem()->text(), u"kept.ZIP"_s);
        QCOMPARE(window.List1->count(), 2);
        QCOMPARE(window.lblTip->text(), QString());
        chosen.clear();
        window.Command3->click();
        QCOMPARE(start, app().path(u"usb"_s));
        QCOMPARE(window.List1->count(), 2);

        window.txtPath->setText(app().path(u"empty"_s));
        const auto seeHidden = [&](QWidget* modal) {
            QVERIFY(!window.isVisible());
            press()(modal);
        };
        const QStringList seen = answerModals([&] { window.Command1->click(); }, {press(QMessageBox::Yes), seeHidden});
        QCOMPARE(seen.last(), u"恢复文件成功"_s);
        QCOMPARE(AppFolder::read(app().paths.DataFilePath), kept);

        window.show();
        window.Command2->click(); // "取消"
        QVERIFY(!window.isVisible());
    }

    // A question answers what the operator pressed; a notice shows its text as it is, and closes by itself.
    void promptsAndNotices()
    {
        bool yes = false;
        bool no = true;
        const auto ask = [&] {
            yes = AskYesNo(u"?"_s);
            no = AskYesNo(u"?"_s);
        };
        QCOMPARE(answerModals(ask, {press(QMessageBox::Yes), press(QMessageBox::No)}).size(), 2);
        QVERIFY(yes);
        QVERIFY(!no);
        const auto wait = [](QWidget*) {};
        QCOMPARE(answerModals([] { ShowNotice(u"<b>m</b>"_s); }, {wait}), QStringList {u"<b>m</b>"_s});
    }

private:
    const AppFolder& app() const { return *m_app; }

    std::unique_ptr<AppFolder> m_app; // fresh for each test function and row
};

int main(int argc, char** argv)
{
    Application app(argc, argv); // with the program's translation of Qt's own buttons
    TestWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows.moc"
