// The five windows as the operator meets them: layout, keys and focus, and what each button does.
#include "support/AppFolder.h"
#include "support/Modals.h"
#include "ui/backup/Backup.h"
#include "ui/common/Layout.h"
#include "ui/common/ProgressWindow.h"
#include "ui/common/Prompts.h"
#include "ui/common/Wait.h"
#include "ui/restore/Restore.h"
#include "ui/restore/RestoreOk.h"
#include "ui/shell/Application.h"
#include "ui/shell/Dialog.h"

#include <QtWidgets>

namespace {

std::unique_ptr<QWidget> make(const QString& kind, const AppFolder& app)
{
    QWidget* made = kind == u"Dialog" ? static_cast<QWidget*>(new Dialog(app.path(u"app"_s)))
        : kind == u"Backup"           ? static_cast<QWidget*>(new Backup)
        : kind == u"Restore"          ? static_cast<QWidget*>(new Restore)
        : kind == u"Wait"             ? static_cast<QWidget*>(new Wait)
                                      : new RestoreOk;
    return std::unique_ptr<QWidget>(made);
}

// Each window, then its controls: object name (empty for the window), text (nullptr: not checked), twips.
struct Place
{
    const char *window, *name, *text;
    int left, top, width, height;
};
const Place kLayout[] = {
    {"Dialog", "", "数据维护", 2760, 3750, 6030, 3195},
    {"Dialog", "OKButton", "退出", 4680, 2700, 1215, 375},
    {"Dialog", "CancelButton", "取消", 4680, 600, 1215, 375},
    {"Dialog", "Command1", "数据备份", 900, 600, 2115, 495},
    {"Dialog", "CmdRestore", "数据恢复", 930, 1680, 2175, 495},
    {"Backup", "", "数据备份", 0, 0, 7050, 3690},
    {"Backup", "Label1(0)", "备份帐套名", 630, 390, 0, 0},
    {"Backup", "lblzt", "", 1740, 390, 4095, 375},
    {"Backup", "Label1(2)", "备份文件名:", 540, 990, 0, 0},
    {"Backup", "txtFile", nullptr, 1740, 870, 4215, 375},
    {"Backup", "Label1(1)", "备份文件存放路径", 90, 1710, 0, 0},
    {"Backup", "txtPath", nullptr, 1740, 1590, 4215, 375},
    {"Backup", "Command3", "浏览...", 6060, 1590, 855, 375},
    {"Backup", "Frame1", "", 660, 2790, 5295, 735},
    {"Backup", "CmdBackup", "开始备份", 720, 240, 1575, 375},
    {"Backup", "Command2", "取消", 3000, 240, 1695, 375},
    {"Restore", "", "恢复备份文件", 0, 0, 7440, 5040},
    {"Restore", "lblzt", "", 1530, 120, 4095, 375},
    {"Restore", "Label1(0)", "要恢复的帐套名", 270, 210, 0, 0},
    {"Restore", "Frame1", "从以下备份文件中恢复", 120, 570, 7215, 3015},
    {"Restore", "Command3", "浏览...", 6240, 360, 855, 375},
    {"Restore", "txtPath", nullptr, 2040, 360, 3975, 375},
    {"Restore", "Label1(2)", "备份文件名:", 840, 1080, 0, 0},
    {"Restore", "Label1(1)", "备份文件存放路径", 360, 480, 0, 0},
    {"Restore", "List1", nullptr, 2040, 1080, 3975, 1680},
    {"Restore", "Frame2", "", 1140, 3840, 5295, 855},
    {"Restore", "Command2", "取消", 3000, 240, 1695, 495},
    {"Restore", "Command1", "开始恢复", 720, 240, 1695, 495},
    {"Restore", "lblTip", "此目录下没有备份文件", 270, 4050, 0, 0},
    {"Wait", "", "信息", 0, 0, 3270, 2175},
    {"Wait", "txtMsg", "Label1", 240, 240, 2775, 975},
    {"Wait", "Command1", "确定", 1080, 1560, 1095, 495},
    {"RestoreOk", "", "    数据恢复完毕", 0, 0, 3975, 2115},
    {"RestoreOk", "Label1", "数据恢复完毕,您需要重新登录或退出,请选择", 90, 330, 0, 0},
    {"RestoreOk", "Command1", "重新登录", 360, 1380, 1215, 375},
    {"RestoreOk", "Command2", "退出系统", 1920, 1380, 1215, 375},
    {"RestoreOk", "Command3", "Command3", 1260, 870, 1335, 375},
};

// Clicks through the window's QWindow, the way a real mouse press arrives.
void clickThroughWindow(QWidget* target)
{
    QWidget* window = target->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, target->mapTo(window, target->rect().center()));
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    // Each window as it opens: title, size and icon, and each control's text and place. Then its tab order from the
    // control that has the focus; Enter in a text box or the list, and Esc, do nothing (on the restart prompt Esc
    // ends the program).
    void layoutAndKeys()
    {
        const QStringList orders[] = {{"Dialog", "OKButton", "Command1", "CmdRestore"},
                                      {"Backup", "CmdBackup", "Command2", "txtFile", "txtPath", "Command3"},
                                      {"Restore", "Command3", "txtPath", "List1", "Command2", "Command1"},
                                      {"Wait", "Command1"},
                                      {"RestoreOk", "Command1", "Command2", "Command3"}};
        AppFolder app;
        QDir().mkpath(app.paths.BackupFolder); // so that leaving the path box passes
        for (QStringList order : orders) {
            const QString kind = order.takeFirst();
            const auto window = make(kind, app);
            for (const Place& place : kLayout) {
                if (kind != QLatin1String(place.window))
                    continue;
                const QString name = QString::fromUtf8(place.name), text = QString::fromUtf8(place.text);
                const QRect rect = twipsRect(place.left, place.top, place.width, place.height);
                if (name.isEmpty()) {
                    QCOMPARE(window->windowTitle(), text);
                    QCOMPARE(window->size(), rect.size());
                    // The menu has an icon of its own; the other four share one.
                    const QIcon icon = kind == u"Dialog" ? menuIcon() : sharedIcon();
                    QCOMPARE(window->windowIcon().availableSizes(), (QList<QSize> {{32, 32}, {16, 16}}));
                    QCOMPARE(window->windowIcon().pixmap(16).toImage(), icon.pixmap(16).toImage());
                    continue;
                }
                QWidget* control = window->findChild<QWidget*>(name);
                QVERIFY2(control, place.name);
                if (place.text)
                    QCOMPARE(control->property(qobject_cast<QGroupBox*>(control) ? "title" : "text").toString(), text);
                QCOMPARE(control->pos(), rect.topLeft());
                QCOMPARE(control->size(), place.width > 0 ? rect.size() : control->sizeHint()); // labels fit their text
                if (!place.text) // text boxes and the list are announced by the label beside them
                    QCOMPARE(control->accessibleName(), name == u"txtPath" ? u"备份文件存放路径"_s : u"备份文件名:"_s);
            }
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            for (int i = 0; i <= order.size(); ++i) {
                QWidget* focus = QApplication::focusWidget();
                QCOMPARE(focus->objectName(), order[i % order.size()]);
                if (!qobject_cast<QPushButton*>(focus))
                    QVERIFY(answerModals([&] { QTest::keyClick(focus, Qt::Key_Return); }, {}).isEmpty());
                QTest::keyClick(focus, Qt::Key_Tab);
            }
            if (kind != u"RestoreOk")
                QTest::keyClick(window.get(), Qt::Key_Escape);
            QVERIFY(window->isVisible());
        }
    }

    void menu()
    {
        AppFolder app;
        Dialog menu(app.path(u"app"_s));
        QCOMPARE(menu.pos(), twipsRect(2760, 3750, 0, 0).topLeft());
        QVERIFY(!(menu.windowFlags() & Qt::WindowMinMaxButtonsHint) && menu.minimumSize() == menu.maximumSize());
        QVERIFY(!menu.CancelButton->isVisibleTo(&menu));
        QCOMPARE(answerModals([&] { menu.Command1->click(); }, {press()}), QStringList {u"数据备份"_s}); // its title
        QCOMPARE(AppFolder::names(app.dir.path()), QStringList {u"app"_s}); // nothing made at start-up

        // A window that cannot load is reported and not shown; the menu goes on.
        Dialog orphan(app.path(u"no/app"_s));
        orphan.show();
        // In the operator's language, with the system's reason behind the path.
        const QStringList seen = answerModals([&] { orphan.CmdRestore->click(); }, {press()});
        QVERIFY2(seen.size() == 1 && seen[0].startsWith(u"无法建立文件夹“"_s + app.path(u"no/app/BACKUP"_s) + u"”："_s)
                     && orphan.isVisible(),
                 qPrintable(seen.join(u'|')));
        QTest::keyClick(orphan.OKButton, Qt::Key_Space);
        QVERIFY(!orphan.isVisible());
    }

    void backupWindow()
    {
        AppFolder app;
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.txtPath->text(), app.paths.BackupFolder);
        const QString target = app.backup(window.txtFile->text() + u".ZIP"_s);
        bool disabled = false;
        const auto seeState = [&](QWidget* modal) { disabled = !window.isEnabled(), press()(modal); };
        QCOMPARE(answerModals([&] { QTest::keyClick(window.CmdBackup, Qt::Key_Return); }, {seeState}),
                 QStringList {succeeded(target)});
        QVERIFY(disabled && window.isEnabled() && window.Result == -1);
        QTRY_COMPARE(QApplication::focusWidget(), window.CmdBackup); // a second Enter backs up again

        // A failure is a message box and leaves Result alone.
        QFile::remove(app.paths.DataFilePath);
        window.Result = 7;
        QCOMPARE(answerModals([&] { window.CmdBackup->click(); }, {press(QMessageBox::Yes), press()}).last(),
                 u"备份出错，请退出系统再进入一次进行备份"_s);
        QVERIFY(window.Result == 7 && window.isEnabled());

        // A path that is no folder keeps the focus in its box, and the click that would take it does not run.
        const QString typed = app.path(u"nowhere"_s);
        window.txtPath->setText(typed);
        window.txtPath->setFocus();
        QCOMPARE(answerModals([&] { clickThroughWindow(window.CmdBackup); }, {press()}),
                 QStringList {u"找不到路径:"_s + typed});
        QCOMPARE(answerModals([&] { QTest::keyClick(window.txtPath, Qt::Key_Tab); }, {press()}).size(), 1);
        clickThroughWindow(window.Label1[0]); // a label takes no focus: no check
        QCOMPARE(QApplication::focusWidget(), window.txtPath);
        window.txtFile->setFocus(); // the box is checked when it is left, not while another control has the focus
        QCOMPARE(answerModals([&] { clickThroughWindow(window.CmdBackup); }, {press()}),
                 QStringList {u"备份出错，请退出系统再进入一次进行备份"_s});
        window.txtPath->setFocus();
        window.txtPath->setText(target); // a file passes the folder test too
        QVERIFY(answerModals([&] { QTest::keyClick(window.txtPath, Qt::Key_Tab); }, {}).isEmpty());
        QCOMPARE(QApplication::focusWidget(), window.Command3);

        // "浏览..." opens the file dialog in the backup folder and fills in the folder of the picked file; a
        // cancelled pick says so and keeps the text. Windows shows its own dialog, which no test can drive: there a
        // stand-in picks.
        const QString picked = app.write(u"other/old.ZIP"_s, "x");
        const auto pick = [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QCOMPARE(QDir::toNativeSeparators(dialog->directory().path()), app.paths.BackupFolder);
            dialog->selectFile(picked);
            QMetaObject::invokeMethod(dialog, "accept");
        };
        QList<ModalStep> steps = {pick};
        if (QGuiApplication::platformName() == u"windows")
            window.setShowOpen([&](FileDialogState& state) { return state.FileName = picked, true; }), steps.clear();
        QCOMPARE(answerModals([&] { window.Command3->click(); }, steps).size(), steps.size());
        window.setShowOpen([](FileDialogState&) { return false; });
        QCOMPARE(answerModals([&] { window.Command3->click(); }, {press()}), QStringList {u"请指定一个文件"_s});
        QCOMPARE(window.txtPath->text(), app.path(u"other"_s));

        window.txtPath->setFocus();
        QTest::keyClick(window.windowHandle(), Qt::Key_A, Qt::ControlModifier); // the box's own shortcuts work
        QTest::keyClick(window.windowHandle(), Qt::Key_A); // and typing in it is no leaving
        QCOMPARE(window.txtPath->text(), u"a"_s);
        QVERIFY(answerModals([&] { clickThroughWindow(window.Command2); }, {}).isEmpty()); // "取消" is exempt
        QVERIFY(!window.isVisible());
    }

    // A long copy shows its progress and can be stopped: the old file stays, no temporary is left, nothing is
    // reported and the window is usable again. A stop while the data reaches the disk waits for the disk. A restore
    // that runs through hides its window before it reports.
    void progressCancelAndRestore()
    {
        AppFolder app;
        const QByteArray old = QByteArray::fromStdString(sampleBytes(70000, 5));
        const QString target = app.write(u"app/BACKUP/old.ZIP"_s, old);
        app.write(u"app/BACKUP/new.ZIP"_s, old);
        std::atomic<int> holdAt {-1};
        fsys::testing::setStepHook([&](fsys::CopyStep step, const fsys::Path&) {
            while (int(step) == holdAt)
                QThread::msleep(1);
            return std::error_code {};
        });
        // While the copy is held: the bytes so far, or (bar full) that the data is going to the disk.
        const auto watchThen = [&](bool cancel) {
            return [&, cancel](QWidget* modal) {
                const auto release = qScopeGuard([&] { holdAt = -1; });
                auto* window = qobject_cast<ProgressWindow*>(modal);
                QCOMPARE(window->size(), QSize(twips(4500), twips(1650)));
                const bool writing = holdAt == int(fsys::CopyStep::Wrote);
                QTRY_COMPARE(window->lblProgress->text(),
                             writing ? u"已复制 0.1 MiB，共 0.1 MiB"_s : u"正在写入磁盘…"_s);
                QVERIFY(writing || window->barProgress->value() == window->barProgress->maximum());
                if (cancel)
                    window->cmdCancel->click();
            };
        };
        WindowPrompter::progressDelay = 0;
        Backup backup;
        backup.txtFile->setText(u"old"_s);
        backup.Result = 7;
        using enum fsys::CopyStep;
        for (const auto& [step, cancel] :
             {std::pair(Wrote, true), std::pair(Flushed, true), std::pair(Flushed, false)}) {
            holdAt = int(step);
            const QStringList seen = answerModals([&] { backup.CmdBackup->click(); },
                                                  {press(QMessageBox::Yes), watchThen(cancel), press()});
            QCOMPARE(seen,
                     (QStringList {u"目标文件"_s + target + u"已经存在,要覆盖吗 ?"_s, u"正在复制"_s,
                                   cancel ? u"<step left>"_s : succeeded(target)}));
            QVERIFY(AppFolder::read(target) == (cancel ? old : app.data) && backup.Result == (cancel ? 7 : -1));
        }
        QCOMPARE(AppFolder::names(app.paths.BackupFolder), (QStringList {u"new.ZIP"_s, u"old.ZIP"_s}));
        WindowPrompter::progressDelay = 300;

        Restore restore;
        restore.show();
        QVERIFY(QTest::qWaitForWindowExposed(&restore));
        QVERIFY(restore.List1->currentRow() == 0 && restore.lblTip->text().isEmpty());
        const auto seeHidden = [&](QWidget* modal) {
            QVERIFY(!restore.isVisible());
            press()(modal);
        };
        QCOMPARE(answerModals([&] { restore.Command1->click(); }, {press(QMessageBox::Yes), seeHidden}).last(),
                 u"恢复文件成功"_s);
        QCOMPARE(AppFolder::read(app.paths.DataFilePath), old);
        restore.show();
        restore.Command2->click(); // "取消"
        QVERIFY(!restore.isVisible());
    }

    // A question answers what the operator pressed; a notice shows its text as it is and closes itself.
    void promptsAndNotices()
    {
        bool yes = false, no = true;
        const auto show = [&] { yes = AskYesNo(u"?"_s), no = AskYesNo(u"?"_s), ShowNotice(u"<b>m</b>"_s); };
        QCOMPARE(answerModals(show, {press(QMessageBox::Yes), press(QMessageBox::No), press()}).last(), u"<b>m</b>"_s);
        QVERIFY(yes && !no);
        Wait notice;
        QVERIFY(notice.Timer1->isActive() && notice.Timer1->isSingleShot() && notice.Timer1->interval() == 1500);
        QVERIFY(notice.txtMsg->textFormat() == Qt::PlainText && notice.txtMsg->wordWrap());
        QCOMPARE(notice.txtMsg->alignment(), Qt::AlignLeft | Qt::AlignTop);
    }
};

int main(int argc, char** argv)
{
    Application app(argc, argv); // with the program's translation of Qt's own buttons
    TestWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows.moc"
