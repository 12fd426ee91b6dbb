// The core without a window: the routines, the path rule, file picking, backup names and the backup list by their
// edge cases; and the manual backup, the automatic backup and the restore, driven through a scripted prompter on
// real folders. How the copy itself survives faults is the file-system layer's business; here it is what each
// operation asks, when it makes its window busy, and which outcome it reports.
#include "core/backup/BackupOperation.h"
#include "core/common/FileError.h"
#include "core/common/PickFile.h"
#include "core/restore/RestoreOperation.h"
#include "fs/fsys.h"
#include "support/AppFolder.h"

namespace {

using Kind = Outcome::Kind;
const QString kBusy = u"busy"_s;
const QString kFailed = u"备份出错，请退出系统再进入一次进行备份"_s;
const QString kWildcard = u"备份文件名不能包含通配符 * 或 ?"_s;
QString asked(const QString& target)
{
    return u"ask: 目标文件"_s + target + u"已经存在,要覆盖吗 ?"_s;
}
QString succeeded(const QString& target)
{
    return u"备份成功\r\n备份文件名:"_s + target;
}
void check(const Outcome& outcome, Kind kind, const QString& text, std::optional<bool> result)
{
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.text, text);
    QCOMPARE(outcome.result, result);
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void manualBackup()
    {
        AppFolder app;
        const QString target = app.backup(u"x.ZIP"_s);
        ScriptedPrompter prompter;
        const auto run = [&](const QString& folder, const QString& name) {
            prompter.log.clear();
            return runManualBackup(app.paths, folder, name, prompter);
        };
        check(run(app.paths.BackupFolder, u"x"_s), Kind::Completed, succeeded(target), true);
        QCOMPARE(prompter.log, QStringList {kBusy});
        QCOMPARE(AppFolder::read(target), app.data);

        app.write(u"app/BACKUP/x.ZIP"_s, "old");
        prompter.answers = {false};
        check(run(app.paths.BackupFolder, u"x"_s), Kind::Declined, {}, {});
        QCOMPARE(prompter.log, (QStringList {kBusy, asked(target)}));
        QCOMPARE(AppFolder::read(target), QByteArray("old"));
        prompter.answers = {true};
        check(run(app.paths.BackupFolder, u"x"_s), Kind::Completed, succeeded(target), true);
        QCOMPARE(AppFolder::read(target), app.data);

        // Refused before the window is made busy; failures after it, with the system's reason for the log.
        check(run(app.paths.BackupFolder, u"a*b"_s), Kind::Refused, kWildcard, {});
        check(run(app.path(u"a?"_s), u"x"_s), Kind::Refused, kWildcard, {});
        if (pathSeparator() == QLatin1Char('/')) { // a name that would be hidden: refused before it is written
            for (const QString& name : {QString(), u".x"_s, u"sub/.x"_s})
                check(run(app.paths.BackupFolder, name), Kind::Refused, u"备份文件名不能以 . 开头"_s, {});
            QCOMPARE(AppFolder::names(app.paths.BackupFolder), QStringList {u"x.ZIP"_s});
        }
        QCOMPARE(prompter.log, QStringList());
        const Outcome outcome = run(app.path(u"missing"_s), u"y"_s); // any failure of the copy
        check(outcome, Kind::Failed, kFailed, {});
        QVERIFY(!outcome.reason.isEmpty() && prompter.log == QStringList {kBusy});
        const ProgramPaths orphan = ProgramPaths::forFolder(app.path(u"no/app"_s));
        prompter.log.clear();
        check(runManualBackup(orphan, app.paths.BackupFolder, u"x"_s, prompter), Kind::Failed, kFailed, {});
        QCOMPARE(prompter.log, QStringList());
    }

    // A copy that reports no failure but whose target is gone by the time the file test looks.
    void backupNotFoundAfterTheCopy()
    {
        AppFolder app;
        const QString target = app.backup(u"x.ZIP"_s);
        fsys::testing::setStepHook([&](fsys::CopyStep step, const fsys::Path&) {
            if (step == fsys::CopyStep::FolderFlushed)
                QFile::remove(target);
            return std::error_code {};
        });
        ScriptedPrompter prompter;
        check(runManualBackup(app.paths, app.paths.BackupFolder, u"x"_s, prompter), Kind::Completed,
              u"备份不成功,可能因为磁盘空间不足或文件名不合规范"_s, false);
    }

    void automaticBackup()
    {
        AppFolder app;
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 30));
        ScriptedPrompter prompter;
        const QString stamped = app.paths.AutoBackupFolder + pathSeparator() + autoBackupName(app.paths, now);
        // Blank, wildcard or missing folders fall back to the automatic-backup folder.
        for (const QString& folder : {QString(), u"  "_s, app.path(u"no*"_s), app.path(u"missing"_s)}) {
            check(runAutoBackup(app.paths, folder, u" "_s, now, prompter), Kind::Completed, succeeded(stamped), true);
            prompter.answers = {true};
        }
        QCOMPARE(prompter.log, QStringList(3, asked(stamped)));
        QCOMPARE(AppFolder::read(stamped), app.data);

        const QString folder = app.path(u"app"_s);
        check(runAutoBackup(app.paths, folder, u" n "_s, now, prompter), Kind::Completed,
              succeeded(folder + pathSeparator() + u"n.ZIP"_s), true);
        prompter.answers = {false};
        check(runAutoBackup(app.paths, folder, u"n"_s, now, prompter), Kind::Declined, {}, false);
        Outcome outcome = runAutoBackup(app.paths, QString(), u"a?"_s, now, prompter);
        check(outcome, Kind::Failed, {}, false);
        QCOMPARE(outcome.reason, kWildcard);
        if (pathSeparator() == QLatin1Char('/'))
            QCOMPARE(runAutoBackup(app.paths, folder, u" .n"_s, now, prompter).reason, u"备份文件名不能以 . 开头"_s);
        outcome = runAutoBackup(ProgramPaths::forFolder(app.path(u"no/app"_s)), {}, {}, now, prompter);
        check(outcome, Kind::Failed, {}, false);
        QVERIFY(outcome.reason.contains(u"AUTOBK"_s));
        QVERIFY(!prompter.log.contains(kBusy)); // the automatic backup leaves its window alone
        if (pathSeparator() == QLatin1Char('/')) { // a fallback folder that is still no folder once made: hidden
            check(runAutoBackup(ProgramPaths::forFolder(app.path(u".app"_s)), {}, {}, now, prompter), Kind::Refused,
                  u"建立备份目录不成功"_s, false);
        }
    }

    void restore()
    {
        const QByteArray backup = QByteArray::fromStdString(sampleBytes(5000, 2));
        // The selected name, the step of the copy where something happens (none: -1), whether that loses the
        // staging file, fails the copy or loses the data file, and the outcome.
        struct Case
        {
            const char* selected;
            int step;
            char fault;
            Kind kind;
            const char* text;
        };
        const Case cases[] = {{"b.ZIP", -1, ' ', Kind::Completed, "恢复文件成功"},
                              {"b.ZIP", int(fsys::CopyStep::Flushed), 's', Kind::Failed, "解压文件不成功"},
                              {"b.ZIP", int(fsys::CopyStep::Wrote), 'f', Kind::Failed, "恢复文件失败"},
                              {"b.ZIP", int(fsys::CopyStep::FolderFlushed), 'd', Kind::Completed, "恢复失败"},
                              {"", -1, ' ', Kind::Failed, "恢复文件失败"}};
        for (const Case& c : cases) {
            if (c.fault == 's' && pathSeparator() != u'/')
                continue; // Windows deletes no file that is open, and the copy holds its staging file open
            AppFolder app;
            app.write(u"app/BACKUP/b.ZIP"_s, backup);
            const QString data = app.paths.DataFilePath;
            fsys::testing::setStepHook([&](fsys::CopyStep step, const fsys::Path& staging) {
                if (int(step) != c.step)
                    return std::error_code {};
                if (c.fault == 's')
                    std::filesystem::remove(staging);
                if (c.fault == 'd')
                    QFile::remove(data);
                return c.fault == 'f' ? std::make_error_code(std::errc::io_error) : std::error_code {};
            });
            ScriptedPrompter prompter;
            prompter.answers = {true};
            const Outcome outcome = runRestore(app.paths, QString::fromLatin1(c.selected), prompter);
            const QString source = *c.selected ? app.backup(QString::fromLatin1(c.selected)) : QString();
            QCOMPARE(prompter.log,
                     QStringList {u"ask: 现在准备将备份文件"_s + source
                                  + u"恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?"_s});
            const bool restored = c.kind == Kind::Completed && c.fault == ' ';
            check(outcome, c.kind, QString::fromUtf8(c.text),
                  c.kind == Kind::Completed ? std::optional(restored) : std::nullopt);
            if (c.fault != 'd')
                QCOMPARE(AppFolder::read(data), restored ? backup : app.data);
            for (const QString& name : AppFolder::names(app.path(u"app"_s)))
                QVERIFY(!fsys::isTemporaryName(name.toStdString())); // no staging file left
        }
    }

    // Names that are not UTF-8 list with replacement characters, and each entry restores exactly its own file,
    // also beside a file that really has the replacement character in its name.
    void namesThatAreNotUtf8()
    {
        if (pathSeparator() != QLatin1Char('/'))
            QSKIP("Windows names are UTF-16");
        AppFolder app;
        QDir().mkpath(app.paths.BackupFolder);
        const std::string folder = app.paths.BackupFolder.toStdString() + "/";
        for (const char* name : {"lat\xe9.ZIP", "bad\xff.ZIP", "bad\xef\xbf\xbd.ZIP"})
            writeBytes(folder + name, name);
        QStringList texts;
        for (const BackupName& name : listBackups(app.paths.BackupFolder)) {
            texts << name.text;
            ScriptedPrompter prompter;
            prompter.answers = {true};
            QCOMPARE(runRestore(app.paths, name, prompter).result, std::optional<bool>(true));
            QCOMPARE(readBytes(app.paths.DataFilePath.toStdString()), name.native.string());
        }
        QCOMPARE(texts, (QStringList {u"bad\uFFFD.ZIP"_s, u"bad\uFFFD.ZIP"_s, u"lat\uFFFD.ZIP"_s}));
    }

    void restoreAsksFirst()
    {
        AppFolder app;
        app.write(u"app/BACKUP/b.ZIP"_s, "backup");
        ScriptedPrompter prompter;
        prompter.answers = {false};
        check(runRestore(app.paths, u"b.ZIP"_s, prompter), Kind::Declined, {}, {});
        QCOMPARE(AppFolder::read(app.paths.DataFilePath), app.data);
        check(runRestore(app.paths, u"gone.ZIP"_s, prompter), Kind::Refused,
              u"文件"_s + app.backup(u"gone.ZIP"_s) + u"不存在"_s, {});
        QCOMPARE(prompter.log.size(), 1);

        // A copy the operator stopped reports nothing and changes nothing; the automatic backup's Result is false.
        prompter.cancel = true;
        prompter.answers = {true, true};
        check(runRestore(app.paths, u"b.ZIP"_s, prompter), Kind::Cancelled, {}, {});
        check(runManualBackup(app.paths, app.paths.BackupFolder, u"b"_s, prompter), Kind::Cancelled, {}, {});
        check(runAutoBackup(app.paths, {}, u"c"_s, {}, prompter), Kind::Cancelled, {}, false);
        QCOMPARE(AppFolder::read(app.backup(u"b.ZIP"_s)), QByteArray("backup"));
    }

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

    // What the program says it failed to do, in Chinese, before the path and the system's reason.
    void failureWords()
    {
        const char* words[][2] = {{"open", "无法打开文件"},
                                  {"stat", "无法读取文件信息"},
                                  {"replace", "不能替换文件"},
                                  {"create", "无法建立文件"},
                                  {"read", "无法读取文件"},
                                  {"write", "无法写入文件"},
                                  {"flush", "无法写入磁盘"},
                                  {"close", "无法关闭文件"},
                                  {"rename", "无法替换文件"},
                                  {"create folder", "无法建立文件夹"},
                                  {"changed while copying", "文件在复制时被改动"},
                                  {"other", "文件操作失败"}};
        for (const auto& [operation, text] : words) {
            const fsys::Error error {std::make_error_code(std::errc::io_error), operation, "p"};
            QVERIFY(FileError(error).reason().startsWith(QString::fromUtf8(text) + u"“p”："_s));
        }
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
