// The backup window: its defaults, the folder check when the path box is left, and its buttons.
#include "backup/Backup.h"
#include "common/Routines.h"
#include "common/Wait.h"
#include "fs/fsys.h"
#include "common/qtfs.h"
#include "shell/ProgramPaths.h"
#include "support/ModalDriver.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// Clicks through the window's QWindow, the way a real mouse press arrives.
void clickThroughWindow(QWidget* target)
{
    QWidget* window = target->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, target->mapTo(window, target->rect().center()));
}

struct App
{
    TempTree tree;
    QByteArray data = TempTree::sample(4096, 'w');
    App()
    {
        setProgramPaths(ProgramPaths::forFolder(tree.path(QStringLiteral("app"))));
        tree.write(QStringLiteral("app/data1.vzd"), data);
    }
};

} // namespace

class TestBackupWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void opensWithTodaysNameAndTheBackupFolder()
    {
        App app;
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.txtFile->text(), TodayStamp(QDate()) + QStringLiteral("备份"));
        QCOMPARE(window.txtPath->text(), programPaths().BackupFolder);
        QVERIFY(!TempTree::exists(programPaths().BackupFolder)); // the window does not create it

        app.tree.makeFolder(QStringLiteral("app/BACKUP")); // so that leaving the path box passes
        QCOMPARE(QApplication::focusWidget(), window.CmdBackup);
        QList<QWidget*> order;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        QCOMPARE(
            order,
            (QList<QWidget*> {window.Command2, window.txtFile, window.txtPath, window.Command3, window.CmdBackup}));
    }

    void enterOnTheStartButtonBacksUp()
    {
        App app;
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool disabledWhileCopying = false;
        fsys::testing::setStepHook([&](fsys::CopyStep, const fsys::Path&) {
            disabledWhileCopying = !window.isEnabled();
            return std::error_code {};
        });
        ModalDriver driver;
        driver.press(QMessageBox::Ok);
        driver.start();
        QTest::keyClick(window.CmdBackup, Qt::Key_Return);
        QVERIFY(driver.done());
        const QString target = programPaths().BackupFolder + sep() + window.txtFile->text() + QStringLiteral(".ZIP");
        QCOMPARE(driver.seen, QStringList {QStringLiteral("备份成功\r\n备份文件名:") + target});
        QCOMPARE(TempTree::read(target), app.data);
        QCOMPARE(window.Result, qint16(-1));
        QVERIFY(disabledWhileCopying);
        QVERIFY(window.isEnabled());
    }

    void missingFolderKeepsTheFocusAndSwallowsTheClick()
    {
        App app;
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString typed = app.tree.path(QStringLiteral("nowhere"));
        window.txtPath->setText(typed);
        window.txtPath->setFocus();

        {
            ModalDriver driver;
            driver.press(QMessageBox::Ok);
            driver.start();
            clickThroughWindow(window.CmdBackup);
            QVERIFY(driver.done());
            QCOMPARE(driver.seen, QStringList {QStringLiteral("找不到路径:") + typed});
            QCOMPARE(QApplication::focusWidget(), window.txtPath);
        }
        QVERIFY(!TempTree::exists(programPaths().BackupFolder)); // no backup started

        // Tab is refused the same way; an empty box fails too.
        window.txtPath->clear();
        ModalDriver tab;
        tab.press(QMessageBox::Ok);
        tab.start();
        QTest::keyClick(window.txtPath, Qt::Key_Tab);
        QVERIFY(tab.done());
        QCOMPARE(tab.seen, QStringList {QStringLiteral("找不到路径:")});
        QTRY_COMPARE(QApplication::focusWidget(), window.txtPath);
    }

    // A file passes the folder check too, and "取消" is exempt from it.
    void existingFileLetsTheFocusGoAndCancelIsExempt()
    {
        App app;
        Backup window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ModalDriver driver; // no window may appear
        driver.start();
        window.txtPath->setText(programPaths().DataFilePath);
        window.txtPath->setFocus();
        QTest::keyClick(window.txtPath, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window.Command3);
        window.txtPath->setText(QStringLiteral("no such folder"));
        window.txtPath->setFocus();
        clickThroughWindow(window.Command2);
        QVERIFY(!window.isVisible());
        QTest::qWait(20);
        QVERIFY(driver.done());
    }

    void browseFillsTheFolderOfThePickedFile()
    {
        App app;
        const QString picked = app.tree.write(QStringLiteral("other/old.ZIP"), "x");
        Backup window;
        QString initDir;
        window.setShowOpen([&](FileDialogState& dialog) {
            initDir = dialog.InitDir;
            dialog.FileName = picked;
            return true;
        });
        window.Command3->click();
        QCOMPARE(window.txtPath->text(), app.tree.path(QStringLiteral("other")));
        QCOMPARE(initDir, programPaths().BackupFolder);
        QCOMPARE(window.CommonDialog1.FileName, picked);

        // A cancelled pick says so and keeps what the box held.
        window.setShowOpen([](FileDialogState&) { return false; });
        ModalDriver driver;
        driver.press(QMessageBox::Ok);
        driver.start();
        window.Command3->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.seen, QStringList {QStringLiteral("请指定一个文件")});
        QCOMPARE(window.txtPath->text(), app.tree.path(QStringLiteral("other")));
    }

    void automaticBackupReportsByNoticeAndSetsResult()
    {
        App app;
        Backup window;
        window.setClock([] { return QDateTime(QDate(2026, 12, 6), QTime(14, 5)); });
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* notice = qobject_cast<Wait*>(modal);
            QVERIFY(notice);
            driver.seen << notice->txtMsg->text();
            notice->Command1->click();
        });
        driver.start();
        window.RunAutoBackup();
        QVERIFY(driver.done());
        const QString target
            = programPaths().AutoBackupFolder + sep() + QStringLiteral("2026年12月06日14时05分自动备份data1.ZIP");
        QCOMPARE(driver.seen, QStringList {QStringLiteral("备份成功\r\n备份文件名:") + target});
        QCOMPARE(window.Result, qint16(-1));

        // A failure reaches the caller, and Result is false.
        QFile::remove(programPaths().DataFilePath);
        window.strAutoBackFile = QStringLiteral("again");
        QVERIFY_THROWS_EXCEPTION(FileError, window.RunAutoBackup());
        QCOMPARE(window.Result, qint16(0));
    }
};

QTEST_MAIN(TestBackupWindow)
#include "tst_backup_window.moc"
