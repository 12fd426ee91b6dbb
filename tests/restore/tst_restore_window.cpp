// The restore window and the restart prompt, as the operator meets them.
#include "common/Wait.h"
#include "restore/Restore.h"
#include "restore/RestoreOk.h"
#include "shell/ProgramPaths.h"
#include "support/ModalDriver.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

struct App
{
    TempTree tree;
    App() { setProgramPaths(ProgramPaths::forFolder(tree.makeFolder(QStringLiteral("app")))); }
    QString data() const { return programPaths().DataFilePath; }
};

// Run in a child process: a restart prompt opened over a modal notice, then left through "退出系统" (or Esc).
// Getting past either modal loop means the program did not end at once.
int exitProbe(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool byEsc = qEnvironmentVariable("RESTOREOK_PROBE") == QLatin1String("esc");
    Wait notice;
    notice.Timer1->stop();
    QTimer::singleShot(0, &notice, [byEsc] {
        RestoreOk prompt;
        QTimer::singleShot(0, &prompt, [&prompt, byEsc] {
            if (byEsc)
                QTest::keyClick(&prompt, Qt::Key_Escape);
            else
                prompt.Command2->click();
        });
        prompt.exec();
        std::_Exit(3);
    });
    notice.exec();
    return 4;
}

} // namespace

class TestRestoreWindow : public QObject
{
    Q_OBJECT

private slots:
    void firstRunCreatesTheFolderAndSaysItIsEmpty()
    {
        App app;
        Restore window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(TempTree::exists(programPaths().BackupFolder));
        QCOMPARE(window.txtPath->text(), programPaths().BackupFolder);
        QCOMPARE(window.List1->count(), 0);
        QVERIFY(window.List1->selectedItems().isEmpty());
        QCOMPARE(window.lblTip->text(), QStringLiteral("此目录下没有备份文件"));
        QCOMPARE(QApplication::focusWidget(), window.Command3);
    }

    void listsTheBackupsAndSelectsTheFirst()
    {
        App app;
        app.tree.write(QStringLiteral("app/BACKUP/2026年12月06日备份.ZIP"), "b");
        app.tree.write(QStringLiteral("app/BACKUP/2025年01月01日备份.zip"), "a");
        app.tree.write(QStringLiteral("app/BACKUP/notes.txt"), "n");
        Restore window;
        QCOMPARE(window.List1->count(), 2);
        QCOMPARE(window.List1->item(0)->text(), QStringLiteral("2025年01月01日备份.zip"));
        QCOMPARE(window.List1->selectedItems().value(0), window.List1->item(0));
        QVERIFY(window.lblTip->text().isEmpty());
        // Typing into the path box changes neither the list nor where the restore reads.
        window.txtPath->setText(app.tree.root());
        QCOMPARE(window.List1->count(), 2);
    }

    void successHidesTheWindowBeforeItSaysSo()
    {
        App app;
        app.tree.write(QStringLiteral("app/data1.vzd"), "current books");
        app.tree.write(QStringLiteral("app/BACKUP/good.ZIP"), "saved books");
        Restore window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool hiddenDuringMessage = false;
        ModalDriver driver;
        driver.press(QMessageBox::Yes).then([&](QWidget* modal) {
            driver.seen << modalText(modal);
            hiddenDuringMessage = !window.isVisible();
            qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        driver.start();
        window.Command1->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.seen.value(1), QStringLiteral("恢复文件成功"));
        QVERIFY(hiddenDuringMessage);
        QCOMPARE(TempTree::read(app.data()), QByteArray("saved books"));
    }

    void failureKeepsTheWindowOpen()
    {
        App app;
        app.tree.write(QStringLiteral("app/data1.vzd"), "current books");
        app.tree.makeFolder(QStringLiteral("app/BACKUP"));
        Restore window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ModalDriver driver;
        driver.press(QMessageBox::Yes).press(QMessageBox::Ok);
        driver.start();
        window.Command1->click(); // nothing listed, nothing selected
        QVERIFY(driver.done());
        QCOMPARE(driver.seen.value(1), QStringLiteral("恢复文件失败"));
        QVERIFY(window.isVisible());
        QCOMPARE(TempTree::read(app.data()), QByteArray("current books"));
    }

    void cancelTouchesNothing()
    {
        App app;
        app.tree.write(QStringLiteral("app/data1.vzd"), "current books");
        app.tree.write(QStringLiteral("app/BACKUP/good.ZIP"), "saved books");
        const QStringList before = TempTree::names(app.tree.path(QStringLiteral("app")));
        Restore window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.Command2->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(TempTree::names(app.tree.path(QStringLiteral("app"))), before);
        QCOMPARE(TempTree::read(app.data()), QByteArray("current books"));
    }

    void restartPromptLayout()
    {
        RestoreOk prompt;
        prompt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        QCOMPARE(prompt.windowTitle(), QStringLiteral("    数据恢复完毕"));
        QCOMPARE(prompt.Label1->text(), QStringLiteral("数据恢复完毕,您需要重新登录或退出,请选择"));
        prompt.Command1->click();
        prompt.Command3->click();
        QVERIFY(prompt.isVisible());
    }

    void exitEndsTheProgramWhateverIsOpen_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "click";
        QTest::newRow("Esc") << "esc";
    }
    void exitEndsTheProgramWhateverIsOpen()
    {
        QFETCH(QString, how);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("RESTOREOK_PROBE"), how);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("RESTOREOK_PROBE"))
        return exitProbe(argc, argv);
    QApplication app(argc, argv);
    TestRestoreWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_restore_window.moc"
