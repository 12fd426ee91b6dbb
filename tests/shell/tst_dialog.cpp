// The maintenance menu as the operator meets it.
#include "backup/Backup.h"
#include "restore/Restore.h"
#include "shell/Dialog.h"
#include "shell/ProgramPaths.h"
#include "support/ModalDriver.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void pathsComeFromTheApplicationFolder()
    {
        TempTree tree;
        Dialog menu(tree.root());
        QCOMPARE(programPaths().DataFilePath, tree.path(QStringLiteral("data1.vzd")));
        QCOMPARE(programPaths().BackupFolder, tree.path(QStringLiteral("BACKUP")));
        QCOMPARE(programPaths().AutoBackupFolder, tree.root() + QStringLiteral("AUTOBK"));
        // Nothing is created at start-up.
        QVERIFY(TempTree::names(tree.root()).isEmpty());
        QVERIFY(!TempTree::exists(tree.root() + QStringLiteral("AUTOBK")));
    }

    void defaultFolderIsTheExecutables()
    {
        Dialog menu;
        QCOMPARE(programPaths().AppFolder, QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    }

    void layoutAsTheOperatorSeesIt()
    {
        TempTree tree;
        Dialog menu(tree.root());
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QCOMPARE(menu.windowTitle(), QStringLiteral("数据维护"));
        QCOMPARE(menu.geometry(), QRect(184, 250, 402, 213));
        QCOMPARE(menu.minimumSize(), menu.maximumSize());
        QVERIFY(!(menu.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(menu.OKButton->text(), QStringLiteral("退出"));
        QCOMPARE(menu.Command1->text(), QStringLiteral("数据备份"));
        QCOMPARE(menu.CmdRestore->text(), QStringLiteral("数据恢复"));
        QCOMPARE(menu.Command1->geometry(), QRect(60, 40, 141, 33));
        QCOMPARE(menu.CmdRestore->geometry(), QRect(62, 112, 145, 33));
        QCOMPARE(menu.OKButton->geometry(), QRect(312, 180, 81, 25));
        QVERIFY(!menu.CancelButton->isVisible());
        QCOMPARE(menu.CancelButton->focusPolicy(), Qt::NoFocus);
        QVERIFY(!menu.windowIcon().isNull());

        // The focus starts on "退出" and Tab walks exit, backup, restore and round again.
        QCOMPARE(QApplication::focusWidget(), menu.OKButton);
        QList<QWidget*> order;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        QCOMPARE(order, (QList<QWidget*> { menu.Command1, menu.CmdRestore, menu.OKButton }));
    }

    void escDoesNothingAndExitEndsTheProgram()
    {
        TempTree tree;
        Dialog menu(tree.root());
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QTest::keyClick(&menu, Qt::Key_Escape);
        QVERIFY(menu.isVisible());
        QTest::keyClick(menu.OKButton, Qt::Key_Space);
        // With no window left, the event loop of the program ends.
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(!window->isVisible());
    }

    void everyClickOpensAFreshWindow()
    {
        TempTree tree;
        Dialog menu(tree.root());
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QList<QString> names;
        for (int opening = 0; opening < 2; ++opening) {
            ModalDriver driver;
            driver.then([&](QWidget* modal) {
                auto* window = qobject_cast<Backup*>(modal);
                QVERIFY(window);
                QCOMPARE(window->windowTitle(), QStringLiteral("数据备份"));
                names << window->txtFile->text();
                window->txtFile->setText(QStringLiteral("changed"));
                window->Result = -1;
                window->Command2->click();
            });
            driver.start();
            menu.Command1->click();
            QVERIFY(driver.done());
        }
        QCOMPARE(names.size(), 2);
        QCOMPARE(names[0], names[1]);
        QVERIFY(names[0].endsWith(QStringLiteral("备份")));
        // The windows were discarded when their modal call returned.
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<Backup*>(window));
    }

    void restoreWindowThatCannotLoadIsNotShown()
    {
        TempTree tree;
        // The backup folder's parent does not exist, so creating it fails while the window loads.
        Dialog menu(tree.path(QStringLiteral("missing/app")));
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        ModalDriver driver;
        QString reason;
        driver.then([&](QWidget* modal) {
            QVERIFY2(!qobject_cast<Restore*>(modal), "the window was shown");
            reason = modalText(modal);
            qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        driver.start();
        menu.CmdRestore->click();
        QVERIFY(driver.done());
        QVERIFY(reason.contains(QStringLiteral("BACKUP")));
        QVERIFY(menu.isVisible());
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
