// The core without a window: the routines, the path rule, file picking, backup names and the backup list by their
// edge cases; and the manual backup, the automatic backup and the restore, driven through a scripted prompter on
// real folders. How the copy itself survives faults is the file-system layer's business; here it is what each
// operation asks, when it makes its window busy, and which outcome it reports.
#include "core/backup/BackupOperation.h"
#include "core/common/FileError.h"
#include "core/common/PickFile.h"
#include "core/restore/RestoreOperation.h"
#include "support/AppFolder.h"

namespace {

using Kind = Outcome::Kind;
const QString kFailed = u"备份出错，请退出系统再进入一次进行备份"_s;
const QString kWildcard = u"备份文件名不能包含通配符 * 或 ?"_s;
const QString kDotName = u"备份文件名不能以 . 开头"_s;

QString asked(const QString& target)
{
    return u"ask: 目标文件"_s + target + u"已经存在,要覆盖吗 ?"_s;
}

// A reason is the system's words for a failure: present exactly when one is expected, and naming what failed.
void check(const Outcome& outcome, Kind kind, const QString& text, std::optional<bool> result,
           const QString& reason = {})
{
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.text, text);
    QCOMPARE(outcome.result, result);
    QVERIFY2(outcome.reason.contains(reason) && outcome.reason.isEmpty() == reason.isEmpty(), qPrintable(reason));
}

// At one step of the copy: does something there, fails the copy there, or both.
void failAt(fsys::CopyStep at, bool fail, const std::function<void(const fsys::Path& staging)>& act = {})
{
    fsys::testing::setStepHook([=](fsys::CopyStep step, const fsys::Path& staging) {
        if (step == at && act)
            act(staging);
        return step == at && fail ? std::make_error_code(std::errc::io_error) : std::error_code {};
    });
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void backups()
    {
        AppFolder app;
        QString folder = app.paths.BackupFolder;
        const QString target = app.backup(u"x.ZIP"_s);
        ScriptedPrompter prompter;
        ProgramPaths paths = app.paths;
        // Checks the outcome and, in order, what was asked and when the window was made busy.
        const auto run = [&](const QString& in, const QString& name, const QStringList& log, Kind kind,
                             const QString& text, std::optional<bool> result = {}, const QString& reason = {}) {
            prompter.log.clear();
            check(runManualBackup(paths, in, name, prompter), kind, text, result, reason);
            QCOMPARE(prompter.log, log);
        };
        run(folder, u"x"_s, {u"busy"_s}, Kind::Completed, succeeded(target), true);
        QCOMPARE(AppFolder::read(target), app.data);
        app.write(u"app/BACKUP/x.ZIP"_s, "old");
        prompter.answers = {false, true};
        run(folder, u"x"_s, {u"busy"_s, asked(target)}, Kind::Declined, {});
        QCOMPARE(AppFolder::read(target), QByteArray("old"));
        run(folder, u"x"_s, {u"busy"_s, asked(target)}, Kind::Completed, succeeded(target), true);

        // Refused before the window is made busy; failures after it, with the system's reason for the log.
        run(folder, u"a*b"_s, {}, Kind::Refused, kWildcard);
        run(app.path(u"a?"_s), u"x"_s, {}, Kind::Refused, kWildcard);
        for (const QString& name : {QString(), u".x"_s, u"sub/.x"_s}) // names that would be hidden
            if (kPosix)
                run(folder, name, {}, Kind::Refused, kDotName);
        run(app.path(u"missing"_s), u"y"_s, {u"busy"_s}, Kind::Failed, kFailed, {}, app.path(u"missing"_s));
        QCOMPARE(AppFolder::names(folder), QStringList {u"x.ZIP"_s}); // nothing else written, nothing left

        // A copy that reports no failure but whose target is gone by the time the file test looks.
        failAt(fsys::CopyStep::FolderFlushed, false, [&](auto&) { QFile::remove(app.backup(u"z.ZIP"_s)); });
        run(folder, u"z"_s, {u"busy"_s}, Kind::Completed, u"备份不成功,可能因为磁盘空间不足或文件名不合规范"_s, false);
        paths = ProgramPaths::forFolder(app.path(u"no/app"_s)); // its backup folder cannot be made
        run(folder, u"x"_s, {}, Kind::Failed, kFailed, {}, app.path(u"no/app/BACKUP"_s));

        // The automatic backup leaves its window alone. Blank, wildcard or missing folders fall back to the
        // automatic-backup folder.
        fsys::testing::setStepHook({});
        prompter.log.clear();
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 30));
        const QString stamped = app.paths.AutoBackupFolder + pathSeparator() + autoBackupName(app.paths, now);
        for (const QString& field : {QString(), u"  "_s, app.path(u"no*"_s), app.path(u"missing"_s)}) {
            check(runAutoBackup(app.paths, field, u" "_s, now, prompter), Kind::Completed, succeeded(stamped), true);
            prompter.answers = {true};
        }
        QCOMPARE(prompter.log, QStringList(3, asked(stamped)));

        folder = app.path(u"app"_s);
        check(runAutoBackup(app.paths, folder, u" n "_s, now, prompter), Kind::Completed,
              succeeded(folder + pathSeparator() + u"n.ZIP"_s), true);
        prompter.answers = {false};
        check(runAutoBackup(app.paths, folder, u"n"_s, now, prompter), Kind::Declined, {}, false);
        check(runAutoBackup(app.paths, QString(), u"a?"_s, now, prompter), Kind::Failed, {}, false, kWildcard);
        check(runAutoBackup(ProgramPaths::forFolder(app.path(u"no/app"_s)), {}, {}, now, prompter), Kind::Failed, {},
              false, u"AUTOBK"_s);
        if (kPosix) { // a hidden name, and a fallback folder that is still no folder once made
            check(runAutoBackup(app.paths, folder, u" .n"_s, now, prompter), Kind::Failed, {}, false, kDotName);
            check(runAutoBackup(ProgramPaths::forFolder(app.path(u".app"_s)), {}, {}, now, prompter), Kind::Refused,
                  u"建立备份目录不成功"_s, false);
        }
    }

    // What the operator chose and what happened to the copy, by the outcome and the data file afterwards. A stopped
    // copy changes nothing and reports nothing, in each operation; the automatic backup's Result is then false.
    void restore()
    {
        AppFolder app;
        const QByteArray backup = QByteArray::fromStdString(sampleBytes(5000, 2));
        app.write(u"app/BACKUP/b.ZIP"_s, backup);
        const QString data = app.paths.DataFilePath;
        ScriptedPrompter prompter;
        // Answers the question, unless the operator is to decline, and checks that it was the restore's own.
        const auto run = [&](const QString& name, Kind kind, const QString& text, std::optional<bool> result = {},
                             const QString& reason = {}) {
            prompter.log.clear();
            prompter.answers = {kind != Kind::Declined};
            app.write(u"app/data1.vzd"_s, app.data);
            check(runRestore(app.paths, name, prompter), kind, text, result, reason);
            const QString question = u"ask: 现在准备将备份文件"_s + (name.isEmpty() ? QString() : app.backup(name))
                + u"恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?"_s;
            QCOMPARE(prompter.log, kind == Kind::Refused ? QStringList() : QStringList {question});
        };
        run(u"b.ZIP"_s, Kind::Declined, {});
        run(u"gone.ZIP"_s, Kind::Refused, u"文件"_s + app.backup(u"gone.ZIP"_s) + u"不存在"_s);
        run({}, Kind::Failed, u"恢复文件失败"_s, {}, u"无法打开文件"_s);
        failAt(fsys::CopyStep::Wrote, true);
        run(u"b.ZIP"_s, Kind::Failed, u"恢复文件失败"_s, {}, app.path(u"app"_s));
        if (kPosix) { // Windows deletes no file that is open, and the copy holds its staging file open
            failAt(fsys::CopyStep::Flushed, false, [](auto& staging) { std::filesystem::remove(staging); });
            run(u"b.ZIP"_s, Kind::Failed, u"解压文件不成功"_s, {}, app.path(u"app"_s));
        }
        failAt(fsys::CopyStep::FolderFlushed, false, [&](auto&) { QFile::remove(data); });
        run(u"b.ZIP"_s, Kind::Completed, u"恢复失败"_s, false);

        fsys::testing::setStepHook({});
        prompter.cancel = true;
        run(u"b.ZIP"_s, Kind::Cancelled, {});
        prompter.answers = {true};
        check(runManualBackup(app.paths, app.paths.BackupFolder, u"b"_s, prompter), Kind::Cancelled, {}, {});
        check(runAutoBackup(app.paths, {}, u"c"_s, {}, prompter), Kind::Cancelled, {}, false);
        QCOMPARE(AppFolder::read(data), app.data);
        QCOMPARE(AppFolder::names(app.paths.BackupFolder), QStringList {u"b.ZIP"_s}); // no temporary left either

        prompter.cancel = false;
        run(u"b.ZIP"_s, Kind::Completed, u"恢复文件成功"_s, true);
        QCOMPARE(AppFolder::read(data), backup); // which the cancelled backup left alone
    }

    // The listing: ordered by name ignoring case, names that differ only in case (Linux) in a fixed order too; only
    // ordinary, visible files ending in ".ZIP" in any case. Names that are not UTF-8 list with replacement
    // characters, and each entry restores exactly its own file, also beside one that really has that character.
    void backupList()
    {
        AppFolder app;
        for (const char* name : {"b.zip", "B.ZIP", "a.Zip", "c.ZIP", "c.zipx", "zip", ".h.ZIP", "~datamaint.0.tmp"})
            app.write(u"app/BACKUP/"_s + QLatin1String(name), "x");
        QDir(app.paths.BackupFolder).mkdir(u"d.ZIP"_s);
        QStringList expected = {u"a.Zip"_s, u"B.ZIP"_s, u"b.zip"_s, u"c.ZIP"_s};
        if (AppFolder::names(app.paths.BackupFolder).size() < 9) // a file system that ignores case keeps b.zip
            expected.removeOne(u"B.ZIP"_s);
        const auto texts = [&] {
            QStringList listed;
            for (const BackupName& name : listBackups(app.paths.BackupFolder))
                listed << name.text;
            return listed;
        };
        QCOMPARE(texts(), expected);
        if (!kPosix)
            return; // Windows names are UTF-16
        QDir(app.paths.BackupFolder).removeRecursively();
        QDir().mkpath(app.paths.BackupFolder);
        const std::string folder = app.paths.BackupFolder.toStdString() + "/";
        for (const char* name : {"lat\xe9.ZIP", "bad\xff.ZIP", "bad\xef\xbf\xbd.ZIP"})
            writeBytes(folder + name, name);
        for (const BackupName& name : listBackups(app.paths.BackupFolder)) {
            ScriptedPrompter prompter;
            prompter.answers = {true};
            QCOMPARE(runRestore(app.paths, name, prompter).result, std::optional<bool>(true));
            QCOMPARE(readBytes(app.paths.DataFilePath.toStdString()), name.native.string());
        }
        QCOMPARE(texts(), (QStringList {u"bad\uFFFD.ZIP"_s, u"bad\uFFFD.ZIP"_s, u"lat\uFFFD.ZIP"_s}));
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
        QCOMPARE(dateStamp(QDate(2027, 3, 1)), u"2027年03月01日"_s);
        const QString stamp = TodayStamp(QDate(1899, 12, 30)); // the argument is ignored
        QVERIFY(stamp == dateStamp(QDate::currentDate()) || stamp == dateStamp(QDate::currentDate().addDays(-1)));

        const ProgramPaths plain = ProgramPaths::forFolder(native(u"D:\\Acct"_s));
        QCOMPARE(QStringList({plain.DataFilePath, plain.BackupFolder, plain.AutoBackupFolder}),
                 QStringList(
                     {native(u"D:\\Acct\\data1.vzd"_s), native(u"D:\\Acct\\BACKUP"_s), native(u"D:\\AcctAUTOBK"_s)}));
        QCOMPARE(autoBackupName(plain, QDateTime(QDate(2026, 12, 6), QTime(14, 5, 59))),
                 u"2026年12月06日14时05分自动备份data1.ZIP"_s);
        QCOMPARE(backupTarget(native(u"  D:\\b\\ "_s), u" n "_s), native(u"D:\\b\\ n .ZIP"_s));

        // What the program says it failed to do, in Chinese, before the path and the system's reason.
        const char* words[][2] = {{"open", "无法打开文件"},    {"stat", "无法读取文件信息"},
                                  {"replace", "不能替换文件"}, {"create", "无法建立文件"},
                                  {"read", "无法读取文件"},    {"write", "无法写入文件"},
                                  {"flush", "无法写入磁盘"},   {"close", "无法关闭文件"},
                                  {"rename", "无法替换文件"},  {"create folder", "无法建立文件夹"},
                                  {"other", "文件操作失败"},   {"changed while copying", "文件在复制时被改动"}};
        for (const auto& [operation, text] : words) {
            const fsys::Error error {std::make_error_code(std::errc::io_error), operation, "p"};
            QVERIFY(FileError(error).reason().startsWith(QString::fromUtf8(text) + u"“p”："_s));
        }
    }

    // What the dialog returns (a name in the folder, <cancel> or <throw>) and what the operator is told. The dialog's
    // settings persist between calls: a blank start folder keeps the last one.
    void pickFile()
    {
        AppFolder app;
        app.write(u"a.ZIP"_s, "x");
        const QString cases[][2] = {{"a.ZIP", ""},
                                    {"typed.ZIP", "指定文件不存在"},
                                    {"<cancel>", "请指定一个文件"},
                                    {"<throw>", "请指定一个文件"},
                                    {"", "请指定一个文件"}};
        FileDialogState dialog;
        QString start = u"/first "_s, settings;
        for (const auto& [chosen, report] : cases) {
            QStringList reports;
            const auto show = [&](FileDialogState& state) {
                settings = u"%1|%2|%3"_s.arg(state.InitDir).arg(state.Flags).arg(state.CancelError);
                if (chosen == QLatin1String("<throw>"))
                    throw std::runtime_error("dialog broke");
                state.FileName = chosen.isEmpty() ? QString() : app.path(chosen);
                return chosen != QLatin1String("<cancel>");
            };
            const QString picked
                = PickFile(u"DIR"_s, start, dialog, show, [&](const QString& text) { reports << text; });
            QCOMPARE(reports, report.isEmpty() ? QStringList() : QStringList {report});
            QCOMPARE(picked, report.isEmpty() ? app.path(chosen) : QString());
            QCOMPARE(settings, u"/first |4|1"_s); // untrimmed, and kept when blank
            start = u"  "_s;
        }
        const QString filters[][2]
            = {{"图片", "*.gif"},          {"图形", "*.gif"},           {"图像", "*.gif"},
               {"EXCEL", "(*.xls)|*.xls"}, {"FOXPRO", "(*.dbf)|*.dbf"}, {"ACCESS", "(*.mdb)|*.mdb"}};
        for (const auto& [kind, ending] : filters) // the kinds a caller may ask for
            QVERIFY(filterForKind(kind).value_or(QString()).endsWith(ending));
        QVERIFY(filterForKind(u"DIR"_s)->isEmpty() && !filterForKind(u"excel"_s));
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
