// The routines, the path rule, file picking, backup names and the backup list, by their edge cases.
#include "core/backup/BackupOperation.h"
#include "core/common/PickFile.h"
#include "core/restore/RestoreOperation.h"
#include "support/AppFolder.h"

class TestCore : public QObject
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
        QTest::newRow("tab and ideographic space stay") << QStringLiteral("D:\\x\t\u3000")
                                                        << QStringLiteral("D:\\x\t\u3000\\");
    }
    void pathWithSlash()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(PathWithSlash(native(path)), native(expected));
        QCOMPARE(IsBlank(path), expected.size() == 1);
    }

    void datesNamesAndPaths()
    {
        QCOMPARE(dateStamp(QDate(2027, 3, 1)), QStringLiteral("2027年03月01日"));
        const QString stamp = TodayStamp(QDate(1899, 12, 30)); // the argument is ignored
        QVERIFY(stamp == dateStamp(QDate::currentDate()) || stamp == dateStamp(QDate::currentDate().addDays(-1)));
        QVERIFY(!IsBlank(QStringLiteral("\t")));
        QCOMPARE(trimSpaces(QStringLiteral("  a b ")), QStringLiteral("a b"));

        const ProgramPaths plain = ProgramPaths::forFolder(native(QStringLiteral("D:\\Acct")));
        QCOMPARE(QStringList({plain.DataFilePath, plain.BackupFolder, plain.AutoBackupFolder}),
                 QStringList({native(QStringLiteral("D:\\Acct\\data1.vzd")), native(QStringLiteral("D:\\Acct\\BACKUP")),
                              native(QStringLiteral("D:\\AcctAUTOBK"))}));
        const ProgramPaths closed = ProgramPaths::forFolder(native(QStringLiteral("D:\\Acct\\")));
        QCOMPARE(closed.DataFilePath, native(QStringLiteral("D:\\Acct\\\\data1.vzd")));
        QCOMPARE(closed.AutoBackupFolder, native(QStringLiteral("D:\\Acct\\AUTOBK")));
        QCOMPARE(autoBackupName(plain, QDateTime(QDate(2026, 12, 6), QTime(14, 5, 59))),
                 QStringLiteral("2026年12月06日14时05分自动备份data1.ZIP"));

        QCOMPARE(backupTarget(native(QStringLiteral("  D:\\b\\ ")), QStringLiteral(" n ")),
                 native(QStringLiteral("D:\\b\\ n .ZIP")));
        QCOMPARE(backupTarget(QString(), QString()), native(QStringLiteral("\\.ZIP")));
    }

    void pickFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("chosen"); // a name in the folder, or <cancel> / <throw>
        QTest::addColumn<QString>("report"); // empty when the file comes back
        QTest::newRow("existing file") << "DIR"
                                       << "a.ZIP" << "";
        QTest::newRow("read-only-looking kind") << "EXCEL"
                                                << "a.ZIP" << "";
        QTest::newRow("typed name that does not exist") << "DIR"
                                                        << "typed.ZIP"
                                                        << "指定文件不存在";
        QTest::newRow("hidden file") << "DIR"
                                     << ".h.ZIP"
                                     << "指定文件不存在";
        QTest::newRow("folder") << "DIR"
                                << "sub"
                                << "指定文件不存在";
        QTest::newRow("cancelled") << "DIR"
                                   << "<cancel>"
                                   << "请指定一个文件";
        QTest::newRow("dialog failed") << "DIR"
                                       << "<throw>"
                                       << "请指定一个文件";
        QTest::newRow("no name") << "DIR"
                                 << ""
                                 << "请指定一个文件";
        QTest::newRow("kinds match exactly") << "excel"
                                             << "a.ZIP"
                                             << "未知文件类型，请指定";
    }
    void pickFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, chosen);
        QFETCH(QString, report);
        AppFolder app;
        app.write(QStringLiteral("a.ZIP"), "x");
        app.write(QStringLiteral(".h.ZIP"), "x");
        QDir(app.dir.path()).mkdir(QStringLiteral("sub"));
        FileDialogState dialog;
        QStringList reports;
        const QString picked = PickFile(
            kind, app.dir.path(), dialog,
            [&](FileDialogState& state) {
                if (chosen == QLatin1String("<throw>"))
                    throw std::runtime_error("dialog broke");
                state.FileName = chosen.isEmpty() ? QString() : app.path(chosen);
                return chosen != QLatin1String("<cancel>");
            },
            [&](const QString& text) { reports << text; });
        QCOMPARE(reports, report.isEmpty() ? QStringList() : QStringList {report});
        QCOMPARE(picked, report.isEmpty() ? app.path(chosen) : QString());
    }

    void dialogSettingsPersistBetweenCalls()
    {
        FileDialogState dialog;
        QStringList folders;
        const auto cancel = [&](FileDialogState& state) { return folders << state.InitDir, false; };
        PickFile(QStringLiteral("EXCEL"), QStringLiteral("/first "), dialog, cancel, [](const QString&) {});
        QCOMPARE(dialog.Filter, QStringLiteral("Excel 文件 (*.xls)|*.xls"));
        QCOMPARE(dialog.Flags, kHideReadOnly);
        QVERIFY(dialog.CancelError);
        PickFile(QStringLiteral("DIR"), QStringLiteral("  "), dialog, cancel, [](const QString&) {});
        QCOMPARE(folders, QStringList(2, QStringLiteral("/first "))); // untrimmed, and kept when blank
        QCOMPARE(dialog.Filter, QStringLiteral("Excel 文件 (*.xls)|*.xls")); // "DIR" leaves the filter alone
        const QStringList kinds = {QStringLiteral("图片"), QStringLiteral("图形"), QStringLiteral("图像"),
                                   QStringLiteral("FOXPRO"), QStringLiteral("ACCESS")};
        const QStringList endings = {QStringLiteral("*.gif"), QStringLiteral("*.gif"), QStringLiteral("*.gif"),
                                     QStringLiteral("*.dbf"), QStringLiteral("*.mdb")};
        for (int i = 0; i < kinds.size(); ++i)
            QVERIFY(filterForKind(kinds[i]).value_or(QString()).endsWith(endings[i]));
    }

    void backupList()
    {
        AppFolder app;
        for (const char* name : {"b.zip", "B.ZIP", "a.Zip", "c.ZIP", "c.zipx", "zip", ".h.ZIP", "~datamaint.0.tmp"})
            app.write(QStringLiteral("app/BACKUP/") + QLatin1String(name), "x");
        QDir(app.paths.BackupFolder).mkdir(QStringLiteral("d.ZIP"));
        // Ordered by name ignoring case; names that differ only in case (Linux) keep a fixed order too.
        QStringList expected = {QStringLiteral("a.Zip"), QStringLiteral("B.ZIP"), QStringLiteral("b.zip"),
                                QStringLiteral("c.ZIP")};
        if (AppFolder::names(app.paths.BackupFolder).size() < 9)
            expected.removeAt(2); // a file system that ignores case holds one of the two
        QCOMPARE(listBackups(app.paths.BackupFolder), expected);
        QCOMPARE(listBackups(app.path(QStringLiteral("missing"))), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
