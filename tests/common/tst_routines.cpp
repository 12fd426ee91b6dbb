// The common routines and the program-wide path rule, by their edge cases.
#include "common/PickFile.h"
#include "common/Prompts.h"
#include "common/Routines.h"
#include "shell/ProgramPaths.h"
#include "support/ModalDriver.h"
#include "support/TempTree.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace {
// Paths in the cases are written with "\" and turned into the platform's separator.
QString native(QString text) { return text.replace(QLatin1Char('\\'), pathSeparator()); }
} // namespace

class TestRoutines : public QObject
{
    Q_OBJECT

private slots:
    void pathWithSlash_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces around") << "  C:\\data  " << "C:\\data\\";
        QTest::newRow("already closed") << "C:\\data\\" << "C:\\data\\";
        QTest::newRow("empty") << "" << "\\";
        QTest::newRow("only spaces") << "   " << "\\";
        QTest::newRow("inner spaces stay") << " D:\\my data " << "D:\\my data\\";
        QTest::newRow("tab is not a space") << "D:\\x\t" << "D:\\x\t\\";
        QTest::newRow("ideographic space is not a space") << QStringLiteral("D:\\x\u3000") << QStringLiteral("D:\\x\u3000\\");
    }
    void pathWithSlash()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(PathWithSlash(native(path)), native(expected));
    }

    void onlyTheOwnSeparatorCounts()
    {
        const QString other = pathSeparator() == QLatin1Char('/') ? QStringLiteral("\\") : QStringLiteral("/");
        QCOMPARE(PathWithSlash(QStringLiteral("data") + other), QStringLiteral("data") + other + pathSeparator());
    }

    void dateStampIsPadded_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first of March") << QDate(2027, 3, 1) << QStringLiteral("2027年03月01日");
        QTest::newRow("sixth of December") << QDate(2026, 12, 6) << QStringLiteral("2026年12月06日");
        QTest::newRow("early year") << QDate(987, 1, 9) << QStringLiteral("0987年01月09日");
    }
    void dateStampIsPadded()
    {
        QFETCH(QDate, date);
        QFETCH(QString, expected);
        QCOMPARE(dateStamp(date), expected);
    }

    void todayStampIgnoresItsArgument()
    {
        const QString expected = dateStamp(QDate::currentDate());
        const QString stamp = TodayStamp(QDate(1899, 12, 30));
        // Only a midnight passing between the two reads could tell them apart.
        QVERIFY(stamp == expected || stamp == dateStamp(QDate::currentDate()));
    }

    void isBlank_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("three spaces") << "   " << true;
        QTest::newRow("a with spaces") << " a " << false;
        QTest::newRow("tab") << "\t" << false;
    }
    void isBlank()
    {
        QFETCH(QString, text);
        QFETCH(bool, blank);
        QCOMPARE(IsBlank(text), blank);
    }

    void pathRule_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("backup");
        QTest::addColumn<QString>("autoBackup");
        QTest::newRow("plain") << "D:\\Acct" << "D:\\Acct\\data1.vzd" << "D:\\Acct\\BACKUP" << "D:\\AcctAUTOBK";
        QTest::newRow("trailing separator") << "D:\\Acct\\" << "D:\\Acct\\\\data1.vzd" << "D:\\Acct\\\\BACKUP"
                                            << "D:\\Acct\\AUTOBK";
        QTest::newRow("spaces kept") << "D:\\My Acct " << "D:\\My Acct \\data1.vzd" << "D:\\My Acct \\BACKUP"
                                     << "D:\\My Acct AUTOBK";
    }
    void pathRule()
    {
        QFETCH(QString, folder);
        const ProgramPaths paths = ProgramPaths::forFolder(native(folder));
        QFETCH(QString, data);
        QCOMPARE(paths.DataFilePath, native(data));
        QFETCH(QString, backup);
        QCOMPARE(paths.BackupFolder, native(backup));
        QFETCH(QString, autoBackup);
        QCOMPARE(paths.AutoBackupFolder, native(autoBackup));
    }

    void filtersByKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("filter");
        const QString picture = QStringLiteral("图像文件(*.bmp,*.ico,*.gif)|*.bmp;*.jpg;*.ico;*.gif");
        QTest::newRow("图片") << QStringLiteral("图片") << picture;
        QTest::newRow("图形") << QStringLiteral("图形") << picture;
        QTest::newRow("图像") << QStringLiteral("图像") << picture;
        QTest::newRow("EXCEL") << "EXCEL" << QStringLiteral("Excel 文件 (*.xls)|*.xls");
        QTest::newRow("FOXPRO") << "FOXPRO" << QStringLiteral("Visual Foxpro文件 (*.dbf)|*.dbf");
        QTest::newRow("ACCESS") << "ACCESS" << QStringLiteral("Access 文件 (*.mdb)|*.mdb");
    }
    void filtersByKind()
    {
        QFETCH(QString, kind);
        QFETCH(QString, filter);
        FileDialogState dialog;
        QStringList reports;
        PickFile(kind, QString(), dialog, [](FileDialogState&) { return false; },
                 [&](const QString& text) { reports << text; });
        QCOMPARE(dialog.Filter, filter);
        QCOMPARE(reports, QStringList { QStringLiteral("请指定一个文件") });
    }

    void unknownKindsNeverOpenTheDialog()
    {
        for (const QString& kind : { QStringLiteral("excel"), QString(), QStringLiteral("dir") }) {
            FileDialogState dialog;
            bool opened = false;
            QStringList reports;
            const QString picked = PickFile(kind, QStringLiteral("/somewhere"), dialog,
                                            [&](FileDialogState&) { return opened = true; },
                                            [&](const QString& text) { reports << text; });
            QVERIFY(picked.isEmpty());
            QVERIFY(!opened);
            QCOMPARE(reports, QStringList { QStringLiteral("未知文件类型，请指定") });
        }
    }

    void pickFileReturnsOnlyExistingOrdinaryFiles()
    {
        TempTree tree;
        const QString file = tree.write(QStringLiteral("a.ZIP"), "x");
        const QString hidden = tree.write(QStringLiteral(".h.ZIP"), "x");
        const QString folder = tree.makeFolder(QStringLiteral("sub"));
        const auto pick = [&](const QString& chosen, QStringList& reports) {
            FileDialogState dialog;
            return PickFile(QStringLiteral("DIR"), tree.root(), dialog,
                            [&](FileDialogState& state) {
                                state.FileName = chosen;
                                return true;
                            },
                            [&](const QString& text) { reports << text; });
        };
        QStringList reports;
        QCOMPARE(pick(file, reports), file);
        QVERIFY(reports.isEmpty());
        for (const QString& bad : { tree.path(QStringLiteral("typed.ZIP")), hidden, folder,
                                    tree.path(QStringLiteral("*.ZIP")) }) {
            reports.clear();
            QVERIFY2(pick(bad, reports).isEmpty(), qPrintable(bad));
            QCOMPARE(reports, QStringList { QStringLiteral("指定文件不存在") });
        }
        reports.clear();
        QVERIFY(pick(QString(), reports).isEmpty());
        QCOMPARE(reports, QStringList { QStringLiteral("请指定一个文件") });
    }

    void dialogSettingsPersistBetweenCalls()
    {
        FileDialogState dialog;
        dialog.Filter = QStringLiteral("kept|*.x");
        const auto quiet = [](const QString&) {};
        QString initDirSeen;
        const auto cancel = [&](FileDialogState& state) {
            initDirSeen = state.InitDir;
            return false;
        };
        PickFile(QStringLiteral("DIR"), QStringLiteral("/first "), dialog, cancel, quiet);
        QCOMPARE(initDirSeen, QStringLiteral("/first ")); // untrimmed
        QCOMPARE(dialog.Flags, kHideReadOnly);
        QVERIFY(dialog.CancelError);
        QCOMPARE(dialog.Filter, QStringLiteral("kept|*.x")); // "DIR" leaves the filter alone
        PickFile(QStringLiteral("DIR"), QStringLiteral("  "), dialog, cancel, quiet);
        QCOMPARE(initDirSeen, QStringLiteral("/first ")); // a blank start folder keeps the previous one
    }

    void failuresInsideTheDialogAreCaught()
    {
        FileDialogState dialog;
        QStringList reports;
        const QString picked = PickFile(QStringLiteral("DIR"), QString(), dialog,
                                        [](FileDialogState&) -> bool { throw std::runtime_error("dialog broke"); },
                                        [&](const QString& text) { reports << text; });
        QVERIFY(picked.isEmpty());
        QCOMPARE(reports, QStringList { QStringLiteral("请指定一个文件") });
    }

    void askYesNoReturnsTheAnswer()
    {
        for (const bool yes : { true, false }) {
            ModalDriver driver;
            driver.then([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                QCOMPARE(box->icon(), QMessageBox::Question);
                QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
                QCOMPARE(box->text(), QStringLiteral("要覆盖吗?"));
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            driver.start();
            QCOMPARE(AskYesNo(QStringLiteral("要覆盖吗?")), yes);
            QVERIFY(driver.done());
        }
    }

    void reportsHaveOnlyOkNoIconAndTheProgramTitle()
    {
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QStringLiteral("数据维护"));
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->text(), QStringLiteral("备份成功\r\n备份文件名:x"));
            box->button(QMessageBox::Ok)->click();
        });
        driver.start();
        ShowMessage(QStringLiteral("备份成功\r\n备份文件名:x"));
        QVERIFY(driver.done());
    }
};

QTEST_MAIN(TestRoutines)
#include "tst_routines.moc"
