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
        {
            Dialog menu;
            QCOMPARE(programPaths().AppFolder, QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
        }
        TempTree tree;
        Dialog menu(tree.root());
        QCOMPARE(programPaths().DataFilePath, tree.path(QStringLiteral("data1.vzd")));
        QCOMPARE(programPaths().AutoBackupFolder, tree.root() + QStringLiteral("AUTOBK"));
        QVERIFY(TempTree::names(tree.root()).isEmpty()); // nothing is created at start-up
    }

    void keyboardAndExit()
    {
        TempTree tree;
        Dialog menu(tree.root());
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QVERIFY(!menu.CancelButton->isVisible());
        // The focus starts on "退出"; Tab walks exit, backup, restore and round again, never the hidden button.
        QCOMPARE(QApplication::focusWidget(), menu.OKButton);
        QList<QWidget*> order;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        QCOMPARE(order, (QList<QWidget*> {menu.Command1, menu.CmdRestore, menu.OKButton}));
        QTest::keyClick(&menu, Qt::Key_Escape);
        QVERIFY(menu.isVisible());
        QTest::keyClick(menu.OKButton, Qt::Key_Space);
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(!window->isVisible());
    }

    void everyClickOpensAFreshWindow()
    {
        TempTree tree;
        Dialog menu(tree.root());
        QStringList names;
        for (int opening = 0; opening < 2; ++opening) {
            ModalDriver driver;
            driver.then([&](QWidget* modal) {
                auto* window = qobject_cast<Backup*>(modal);
                names << window->txtFile->text();
                window->txtFile->setText(QStringLiteral("changed"));
                window->Command2->click();
            });
            driver.start();
            menu.Command1->click();
            QVERIFY(driver.done());
        }
        QCOMPARE(names[0], names[1]);
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<Backup*>(window)); // discarded when the modal call returned
    }

    void restoreWindowThatCannotLoadIsNotShown()
    {
        TempTree tree;
        Dialog menu(tree.path(QStringLiteral("missing/app"))); // the backup folder's parent is missing
        menu.show();
        ModalDriver driver;
        QString reason;
        driver.then([&](QWidget* modal) {
            QVERIFY(!qobject_cast<Restore*>(modal));
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
