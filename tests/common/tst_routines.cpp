// The common routines and the program-wide path rule, by their edge cases.
#include "common/PickFile.h"
#include "common/Prompts.h"
#include "common/Routines.h"
#include "shell/ProgramPaths.h"
#include "support/ModalDriver.h"
#include "support/TempTree.h"

#include <QPushButton>
#include <QTest>

namespace {
// Cases are written with "\" and "|" (the other platform's separator) and turned into this platform's.
QString native(QString text)
{
    const QChar other = pathSeparator() == QLatin1Char('/') ? QLatin1Char('\\') : QLatin1Char('/');
    return text.replace(QLatin1Char('\\'), pathSeparator()).replace(QLatin1Char('|'), other);
}
} // namespace

class TestRoutines : public QObject
{
    Q_OBJECT

private slots:
    void pathWithSlash_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces around") << "  C:\\data  "
                                       << "C:\\data\\";
        QTest::newRow("already closed") << "C:\\data\\"
                                        << "C:\\data\\";
        QTest::newRow("empty") << ""
                               << "\\";
        QTest::newRow("only spaces") << "   "
                                     << "\\";
        QTest::newRow("tab is not a space") << "D:\\x\t"
                                            << "D:\\x\t\\";
        QTest::newRow("ideographic space is not a space")
            << QStringLiteral("D:\\x\u3000") << QStringLiteral("D:\\x\u3000\\");
        QTest::newRow("the other separator does not count") << "C:\\data|"
                                                            << "C:\\data|\\";
    }
    void pathWithSlash()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(PathWithSlash(native(path)), native(expected));
    }

    void datesAndBlanks()
    {
        QCOMPARE(dateStamp(QDate(2027, 3, 1)), QStringLiteral("2027年03月01日"));
        QCOMPARE(dateStamp(QDate(2026, 12, 6)), QStringLiteral("2026年12月06日"));
        const QString stamp = TodayStamp(QDate(1899, 12, 30)); // the argument is ignored
        QVERIFY(stamp == dateStamp(QDate::currentDate()) || stamp == dateStamp(QDate::currentDate().addDays(-1)));
        QVERIFY(IsBlank(QString()));
        QVERIFY(IsBlank(QStringLiteral("   ")));
        QVERIFY(!IsBlank(QStringLiteral(" a ")));
        QVERIFY(!IsBlank(QStringLiteral("\t")));
    }

    void pathRule_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("backup");
        QTest::addColumn<QString>("autoBackup");
        QTest::newRow("plain") << "D:\\Acct"
                               << "D:\\Acct\\data1.vzd"
                               << "D:\\Acct\\BACKUP"
                               << "D:\\AcctAUTOBK";
        QTest::newRow("trailing separator") << "D:\\Acct\\"
                                            << "D:\\Acct\\\\data1.vzd"
                                            << "D:\\Acct\\\\BACKUP"
                                            << "D:\\Acct\\AUTOBK";
    }
    void pathRule()
    {
        QFETCH(QString, folder);
        QFETCH(QString, data);
        QFETCH(QString, backup);
        QFETCH(QString, autoBackup);
        const ProgramPaths paths = ProgramPaths::forFolder(native(folder));
        QCOMPARE(paths.DataFilePath, native(data));
        QCOMPARE(paths.BackupFolder, native(backup));
        QCOMPARE(paths.AutoBackupFolder, native(autoBackup));
    }

    void pickFileReturnsOnlyExistingOrdinaryFiles()
    {
        TempTree tree;
        const QString file = tree.write(QStringLiteral("a.ZIP"), "x");
        QStringList reports;
        const auto pick = [&](const QString& kind, const QString& chosen) {
            FileDialogState dialog;
            return PickFile(
                kind, tree.root(), dialog,
                [&](FileDialogState& state) {
                    if (chosen == QLatin1String("<cancel>"))
                        return false;
                    if (chosen == QLatin1String("<throw>"))
                        throw std::runtime_error("dialog broke");
                    state.FileName = chosen;
                    return true;
                },
                [&](const QString& text) { reports << text; });
        };
        QCOMPARE(pick(QStringLiteral("DIR"), file), file);
        QVERIFY(reports.isEmpty());
        const QStringList missing = {tree.path(QStringLiteral("typed.ZIP")), tree.write(QStringLiteral(".h.ZIP"), "x"),
                                     tree.makeFolder(QStringLiteral("sub")), tree.path(QStringLiteral("*.ZIP"))};
        for (const QString& bad : missing)
            QVERIFY(pick(QStringLiteral("DIR"), bad).isEmpty());
        for (const QString& ending : {QStringLiteral("<cancel>"), QStringLiteral("<throw>"), QString()})
            QVERIFY(pick(QStringLiteral("DIR"), ending).isEmpty());
        // Kinds match exactly; an unknown one never opens the dialog.
        for (const QString& kind : {QStringLiteral("excel"), QString()})
            QVERIFY(pick(kind, file).isEmpty());
        QCOMPARE(reports,
                 QStringList() << QStringList(4, QStringLiteral("指定文件不存在"))
                               << QStringList(3, QStringLiteral("请指定一个文件"))
                               << QStringList(2, QStringLiteral("未知文件类型，请指定")));
    }

    void dialogSettingsPersistBetweenCalls()
    {
        FileDialogState dialog;
        QString initDirSeen;
        const auto cancel = [&](FileDialogState& state) {
            initDirSeen = state.InitDir;
            return false;
        };
        const auto quiet = [](const QString&) {};
        PickFile(QStringLiteral("EXCEL"), QStringLiteral("/first "), dialog, cancel, quiet);
        QCOMPARE(initDirSeen, QStringLiteral("/first ")); // untrimmed
        QCOMPARE(dialog.Filter, QStringLiteral("Excel 文件 (*.xls)|*.xls"));
        QCOMPARE(dialog.Flags, kHideReadOnly);
        QVERIFY(dialog.CancelError);
        PickFile(QStringLiteral("DIR"), QStringLiteral("  "), dialog, cancel, quiet);
        QCOMPARE(initDirSeen, QStringLiteral("/first ")); // a blank start folder keeps the previous one
        QCOMPARE(dialog.Filter, QStringLiteral("Excel 文件 (*.xls)|*.xls")); // "DIR" leaves the filter alone
    }

    void questionsAndReports()
    {
        for (const bool yes : {true, false}) {
            ModalDriver driver;
            driver.then([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QCOMPARE(box->icon(), QMessageBox::Question);
                QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            driver.start();
            QCOMPARE(AskYesNo(QStringLiteral("要覆盖吗?")), yes);
            QVERIFY(driver.done());
        }
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QStringLiteral("数据维护"));
            QCOMPARE(box->buttons().size(), 1);
            box->button(QMessageBox::Ok)->click();
        });
        driver.start();
        ShowMessage(QStringLiteral("备份成功\r\n备份文件名:x"));
        QVERIFY(driver.done());
    }
};

QTEST_MAIN(TestRoutines)
#include "tst_routines.moc"
