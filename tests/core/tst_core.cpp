// The routines, the path rule, file picking, backup names and the backup list, by their edge cases.
#include "core/backup/BackupOperation.h"
#include "core/common/PickFile.h"
#include "core/restore/RestoreOperation.h"
#include "support/AppFolder.h"

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void textsPathsAndNames()
    {
        const QString cases[][2] = {{"  C:\\data  ", "C:\\data\\"},
                                    {"C:\\data\\", "C:\\data\\"},
                                    {"", "\\"},
                                    {"   ", "\\"},
                                    {"D:\\x\t\u3000", "D:\\x\t\u3000\\"}};
        for (const auto& [path, expected] : cases) {
            QCOMPARE(PathWithSlash(native(path)), native(expected));
            QCOMPARE(IsBlank(path), expected.size() == 1);
        }
        QCOMPARE(trimSpaces(u"  a b "_s), u"a b"_s);
        QCOMPARE(dateStamp(QDate(2027, 3, 1)), u"2027年03月01日"_s);
        const QString stamp = TodayStamp(QDate(1899, 12, 30)); // the argument is ignored
        QVERIFY(stamp == dateStamp(QDate::currentDate()) || stamp == dateStamp(QDate::currentDate().addDays(-1)));

        const ProgramPaths plain = ProgramPaths::forFolder(native(u"D:\\Acct"_s));
        QCOMPARE(QStringList({plain.DataFilePath, plain.BackupFolder, plain.AutoBackupFolder}),
                 QStringList(
                     {native(u"D:\\Acct\\data1.vzd"_s), native(u"D:\\Acct\\BACKUP"_s), native(u"D:\\AcctAUTOBK"_s)}));
        const ProgramPaths closed = ProgramPaths::forFolder(native(u"D:\\Acct\\"_s));
        QCOMPARE(closed.DataFilePath, native(u"D:\\Acct\\\\data1.vzd"_s));
        QCOMPARE(closed.AutoBackupFolder, native(u"D:\\Acct\\AUTOBK"_s));
        QCOMPARE(autoBackupName(plain, QDateTime(QDate(2026, 12, 6), QTime(14, 5, 59))),
                 u"2026年12月06日14时05分自动备份data1.ZIP"_s);
        QCOMPARE(backupTarget(native(u"  D:\\b\\ "_s), u" n "_s), native(u"D:\\b\\ n .ZIP"_s));
    }

    void pickFile()
    {
        AppFolder app;
        app.write(u"a.ZIP"_s, "x");
        app.write(u".h.ZIP"_s, "x");
        QDir(app.dir.path()).mkdir(u"sub"_s);
        // Kind, what the dialog returns (a name in the folder, <cancel> or <throw>), what the operator is told.
        const QString cases[][3] = {{"DIR", "a.ZIP", ""},
                                    {"EXCEL", "a.ZIP", ""},
                                    {"DIR", "typed.ZIP", "指定文件不存在"},
                                    {"DIR", ".h.ZIP", "指定文件不存在"},
                                    {"DIR", "sub", "指定文件不存在"},
                                    {"DIR", "<cancel>", "请指定一个文件"},
                                    {"DIR", "<throw>", "请指定一个文件"},
                                    {"DIR", "", "请指定一个文件"},
                                    {"excel", "a.ZIP", "未知文件类型，请指定"}};
        for (const auto& [kind, chosen, report] : cases) {
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
    }

    void dialogSettingsPersistBetweenCalls()
    {
        FileDialogState dialog;
        QStringList folders;
        const auto cancel = [&](FileDialogState& state) { return folders << state.InitDir, false; };
        PickFile(u"EXCEL"_s, u"/first "_s, dialog, cancel, [](const QString&) {});
        QCOMPARE(dialog.Filter, u"Excel 文件 (*.xls)|*.xls"_s);
        QVERIFY(dialog.Flags == kHideReadOnly && dialog.CancelError);
        PickFile(u"DIR"_s, u"  "_s, dialog, cancel, [](const QString&) {});
        QCOMPARE(folders, QStringList(2, u"/first "_s)); // untrimmed, and kept when blank
        QCOMPARE(dialog.Filter, u"Excel 文件 (*.xls)|*.xls"_s); // "DIR" leaves the filter alone
        const QString filters[][2] = {{"图片", "*.gif"},
                                      {"图形", "*.gif"},
                                      {"图像", "*.gif"},
                                      {"FOXPRO", "(*.dbf)|*.dbf"},
                                      {"ACCESS", "(*.mdb)|*.mdb"}};
        for (const auto& [kind, ending] : filters)
            QVERIFY(filterForKind(kind).value_or(QString()).endsWith(ending));
    }

    void backupList()
    {
        AppFolder app;
        for (const char* name : {"b.zip", "B.ZIP", "a.Zip", "c.ZIP", "c.zipx", "zip", ".h.ZIP", "~datamaint.0.tmp"})
            app.write(u"app/BACKUP/"_s + QLatin1String(name), "x");
        QDir(app.paths.BackupFolder).mkdir(u"d.ZIP"_s);
        // Ordered by name ignoring case; names that differ only in case (Linux) keep a fixed order too.
        QStringList expected = {u"a.Zip"_s, u"B.ZIP"_s, u"b.zip"_s, u"c.ZIP"_s};
        const QStringList names = AppFolder::names(app.paths.BackupFolder);
        if (names.size() < 9) // a file system that ignores case holds the first of the two under its first name
            expected.removeOne(names.contains(u"B.ZIP"_s) ? u"b.zip"_s : u"B.ZIP"_s);
        QStringList listed;
        for (const BackupName& name : listBackups(app.paths.BackupFolder))
            listed << name.text;
        QCOMPARE(listed, expected);
        QVERIFY(listBackups(app.path(u"missing"_s)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
