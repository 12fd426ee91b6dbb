// The core without a window: the routines and names by their edge cases, the backup list, file picking, and the
// manual backup, the automatic backup and the restore, driven through a scripted prompter on real folders: what each
// asks, when it makes its window busy, which outcome it reports and what the files hold afterwards. How the copy
// itself survives faults is the file-system layer's business.
#include "core/backup/BackupOperation.h"
#include "core/common/PickFile.h"
#include "core/restore/RestoreOperation.h"
#include "support/AppFolder.h"

namespace {

using Kind = Outcome::Kind;
const QString kFailed = u"备份出错，请退出系统再进入一次进行备份"_s;
const QString kNotFound = u"备份不成功,可能因为磁盘空间不足或文件名不合规范"_s;
const QString kWildcard = u"备份文件名不能包含通配符 * 或 ?"_s;
const QString kDotName = u"备份文件名不能以 . 开头"_s;
const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 30));

QString overwriteQuestion(const QString& target)
{
    return u"ask: 目标文件"_s + target + u"已经存在,要覆盖吗 ?"_s;
}

// What a test does to the copy or around it, by name.
enum class Fault { None, TargetGone, DataGone, WriteFails, StagingLost, NoAppFolder, Stopped };

// Arms the fault for the next operation.
void arm(Fault fault, const AppFolder& app, const QString& target, ScriptedRunner& runner, ProgramPaths& paths)
{
    using enum fsys::CopyStep;
    const auto at = [](fsys::CopyStep step, std::function<std::error_code(const fsys::Path&)> act) {
        fsys::testing::setStepHook([=](fsys::CopyStep now, const fsys::Path& temporary) {
            return now == step ? act(temporary) : std::error_code();
        });
    };
    const auto remove = [](const QString& file) {
        return [=](const fsys::Path&) {
            QFile::remove(file);
            return std::error_code();
        };
    };
    if (fault == Fault::TargetGone)
        at(FolderFlushed, remove(target));
    if (fault == Fault::DataGone)
        at(FolderFlushed, remove(app.paths.DataFilePath));
    if (fault == Fault::WriteFails)
        at(Wrote, [](auto&) { return std::make_error_code(std::errc::io_error); });
    if (fault == Fault::StagingLost)
        at(Flushed, [](const fsys::Path& staging) {
            std::filesystem::remove(staging);
            return std::error_code();
        });
    if (fault == Fault::NoAppFolder)
        paths = ProgramPaths::forFolder(app.path(u"no/app"_s));
    runner.stop = fault == Fault::Stopped;
}

// The kind and text of an outcome, its new Result, and whether the system's reason for a failure names what failed.
void check(const Outcome& outcome, Kind kind, const QString& text, std::optional<bool> result, const QString& reason)
{
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.text, text);
    QCOMPARE(outcome.result, result);
    QCOMPARE(outcome.reason.isEmpty(), reason.isEmpty());
    QVERIFY2(outcome.reason.contains(reason), qPrintable(outcome.reason));
}

std::optional<bool> resultOf(int result)
{
    if (result < 0)
        return std::nullopt;
    return result == 1;
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Kind)

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_app = std::make_unique<AppFolder>(); }
    void cleanup() { fsys::testing::setStepHook({}); }

    void pathWithSlash_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces around") << u"  C:\\data  "_s << u"C:\\data\\"_s;
        QTest::newRow("ends in a separator") << u"C:\\data\\"_s << u"C:\\data\\"_s;
        QTest::newRow("empty") << QString() << u"\\"_s;
        QTest::newRow("spaces only") << u"   "_s << u"\\"_s;
        QTest::newRow("tab and ideographic space stay") << u"D:\\x\t\u3000"_s << u"D:\\x\t\u3000\\"_s;
    }

    // A path and whether it is blank, which only plain spaces make it.
    void pathWithSlash()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(PathWithSlash(native(path)), native(expected));
        QCOMPARE(IsBlank(path), expected.size() == 1);
    }

    void datesAndNames()
    {
        QCOMPARE(dateStamp(QDate(2027, 3, 1)), u"2027年03月01日"_s);
        const QString stamp = TodayStamp(QDate(1899, 12, 30)); // the argument is ignored
        const QString yesterday = dateStamp(QDate::currentDate().addDays(-1)); // in case midnight came between
        QVERIFY(stamp == dateStamp(QDate::currentDate()) || stamp == yesterday);

        const ProgramPaths paths = ProgramPaths::forFolder(native(u"D:\\Acct"_s));
        QCOMPARE(paths.DataFilePath, native(u"D:\\Acct\\data1.vzd"_s));
        QCOMPARE(paths.BackupFolder, native(u"D:\\Acct\\BACKUP"_s));
        QCOMPARE(paths.AutoBackupFolder, native(u"D:\\AcctAUTOBK"_s));
        QCOMPARE(autoBackupName(paths, QDateTime(QDate(2026, 12, 6), QTime(14, 5, 59))),
                 u"2026年12月06日14时05分自动备份data1.ZIP"_s);
        QCOMPARE(backupTarget(native(u"  D:\\b\\ "_s), u" n "_s), native(u"D:\\b\\ n .ZIP"_s));
    }

    void manualBackup_data()
    {
        QTest::addColumn<QString>("folder"); // in the temporary tree
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("existing"); // the target's bytes before, or none
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("busy"); // made busy: the copy was to run
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("text"); // of outcomes that are not Completed
        QTest::addColumn<int>("result"); // -1 for unchanged
        QTest::addColumn<QString>("reason");
        const QString b = u"app/BACKUP"_s;
        const QString x = u"x"_s;
        const QString no;
        const QByteArray none;
        const QByteArray old("old");
        QTest::newRow("new") << b << x << none << Fault::None << true << Kind::Completed << no << 1 << no;
        QTest::newRow("over an old one") << b << x << old << Fault::None << true << Kind::Completed << no << 1 << no;
        QTest::newRow("* in the name") << b << u"a*b"_s << none << Fault::None << false << Kind::Refused << kWildcard
                                       << -1 << no;
        QTest::newRow("? in the folder") << u"a?"_s << x << none << Fault::None << false << Kind::Refused << kWildcard
                                         << -1 << no;
        if (kPosix) { // a name that would be hidden, and so never found again
            QTest::newRow("dot name") << b << u".x"_s << none << Fault::None << false << Kind::Refused << kDotName << -1
                                      << no;
            QTest::newRow("empty name") << b << no << none << Fault::None << false << Kind::Refused << kDotName << -1
                                        << no;
        }
        QTest::newRow("missing folder") << u"missing"_s << x << none << Fault::None << true << Kind::Failed << kFailed
                                        << -1 << u"missing"_s;
        QTest::newRow("target gone after the copy")
            << b << x << none << Fault::TargetGone << true << Kind::Completed << no << 0 << no;
        QTest::newRow("backup folder cannot be made")
            << b << x << none << Fault::NoAppFolder << false << Kind::Failed << kFailed << -1 << u"BACKUP"_s;
        QTest::newRow("stopped") << b << x << old << Fault::Stopped << true << Kind::Cancelled << no << -1 << no;
    }

    // The question before an existing backup is replaced comes once the window is busy; the answer No leaves it.
    void manualBackup()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QByteArray, existing);
        QFETCH(Fault, fault);
        QFETCH(bool, busy);
        QFETCH(Kind, kind);
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(QString, reason);
        const AppFolder& app = this->app();
        const QString target = PathWithSlash(app.path(folder)) + name + u".ZIP"_s;
        if (!existing.isNull())
            app.write(folder + u"/x.ZIP"_s, existing);
        ProgramPaths paths = app.paths;
        ScriptedPrompter prompter;
        ScriptedRunner runner;
        arm(fault, app, target, runner, paths);
        prompter.answers = {true};
        const Outcome outcome = runManualBackup(paths, app.path(folder), name, prompter, runner);
        const bool succeeded = kind == Kind::Completed && result == 1;
        const QString shown = kind != Kind::Completed ? text : succeeded ? ::succeeded(target) : kNotFound;
        check(outcome, kind, shown, resultOf(result), reason);
        QStringList log = busy ? QStringList {u"busy"_s} : QStringList();
        if (!existing.isNull())
            log << overwriteQuestion(target);
        QCOMPARE(prompter.log, log);
        QCOMPARE(AppFolder::read(target), succeeded ? app.data : existing.isNull() ? "<absent>" : existing);

        prompter.answers = {false};
        prompter.log.clear();
        if (succeeded) // a second time under the same name, declined
            QCOMPARE(runManualBackup(paths, app.path(folder), name, prompter, runner).kind, Kind::Declined);
        QCOMPARE(AppFolder::read(target), succeeded ? app.data : existing.isNull() ? "<absent>" : existing);
        QCOMPARE(AppFolder::names(app.path(folder)).filter(u"~datamaint"_s), QStringList());
    }

    void autoBackup_data()
    {
        QTest::addColumn<QString>("folderField");
        QTest::addColumn<QString>("fileField");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("target"); // in the temporary tree; "*" stands for the time-stamped name
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("reason");
        const QString stamped = u"appAUTOBK/*"_s;
        const QString no;
        QTest::newRow("no folder, no name") << no << no << Fault::None << stamped << Kind::Completed << no;
        QTest::newRow("blank folder and name") << u"  "_s << u" "_s << Fault::None << stamped << Kind::Completed << no;
        QTest::newRow("missing folder") << u"missing"_s << no << Fault::None << stamped << Kind::Completed << no;
        QTest::newRow("wildcard folder") << u"no*"_s << no << Fault::None << stamped << Kind::Completed << no;
        QTest::newRow("a folder, and a name with blanks around")
            << u"app"_s << u" n "_s << Fault::None << u"app/n.ZIP"_s << Kind::Completed << no;
        QTest::newRow("wildcard name") << no << u"a?"_s << Fault::None << no << Kind::Failed << kWildcard;
        QTest::newRow("fallback folder cannot be made")
            << no << no << Fault::NoAppFolder << no << Kind::Failed << u"AUTOBK"_s;
        QTest::newRow("stopped") << no << u"c"_s << Fault::Stopped << no << Kind::Cancelled << no;
        if (kPosix)
            QTest::newRow("dot name") << u"app"_s << u" .n"_s << Fault::None << no << Kind::Failed << kDotName;
    }

    // Every outcome sets Result; a blank, wildcard or missing folder falls back to the automatic-backup folder, and a
    // second backup under the same name asks first. Failures go to the caller with their reason.
    void autoBackup()
    {
        QFETCH(QString, folderField);
        QFETCH(QString, fileField);
        QFETCH(Fault, fault);
        QFETCH(QString, target);
        QFETCH(Kind, kind);
        QFETCH(QString, reason);
        const AppFolder& app = this->app();
        const QString field = folderField.replace(u"app"_s, app.path(u"app"_s));
        const QString written = app.path(target).replace(u"*"_s, autoBackupName(app.paths, kNow));
        ProgramPaths paths = app.paths;
        ScriptedPrompter prompter;
        ScriptedRunner runner;
        arm(fault, app, written, runner, paths);
        const Outcome outcome = runAutoBackup(paths, field, fileField, kNow, prompter, runner);
        const QString text = kind == Kind::Completed ? succeeded(written) : QString();
        check(outcome, kind, text, kind == Kind::Completed, reason);
        QCOMPARE(prompter.log, QStringList());
        if (target.isEmpty())
            return;
        QCOMPARE(AppFolder::read(written), app.data);
        prompter.answers = {false};
        check(runAutoBackup(paths, field, fileField, kNow, prompter, runner), Kind::Declined, {}, false, {});
        QCOMPARE(prompter.log, QStringList {overwriteQuestion(written)});
    }

    void restore_data()
    {
        QTest::addColumn<QString>("folder"); // listed, in the temporary tree
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("text"); // "文件…不存在" when refused
        QTest::addColumn<QString>("reason");
        const QString b = u"app/BACKUP"_s;
        const QString ok = u"恢复文件成功"_s;
        const QString failed = u"恢复文件失败"_s;
        const QString no;
        const QString temporary = u"~datamaint."_s;
        QTest::newRow("restored") << b << u"b.ZIP"_s << true << Fault::None << Kind::Completed << ok << no;
        QTest::newRow("from another folder")
            << u"usb"_s << u"b.ZIP"_s << true << Fault::None << Kind::Completed << ok << no;
        QTest::newRow("declined") << b << u"b.ZIP"_s << false << Fault::None << Kind::Declined << no << no;
        QTest::newRow("gone since listed") << b << u"gone.ZIP"_s << true << Fault::None << Kind::Refused << no << no;
        QTest::newRow("nothing selected")
            << b << no << true << Fault::None << Kind::Failed << failed << u"无法打开文件"_s;
        QTest::newRow("copy fails") << b << u"b.ZIP"_s << true << Fault::WriteFails << Kind::Failed << failed
                                    << temporary;
        QTest::newRow("data file gone after the copy")
            << b << u"b.ZIP"_s << true << Fault::DataGone << Kind::Completed << u"恢复失败"_s << no;
        QTest::newRow("stopped") << b << u"b.ZIP"_s << true << Fault::Stopped << Kind::Cancelled << no << no;
        if (kPosix) // Windows deletes no file that is open, and the copy holds its staging file open
            QTest::newRow("staging file lost")
                << b << u"b.ZIP"_s << true << Fault::StagingLost << Kind::Failed << u"解压文件不成功"_s << temporary;
    }

    // The question names the backup in the folder listed; on Yes the data file is the backup, or as it was.
    void restore()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(bool, answer);
        QFETCH(Fault, fault);
        QFETCH(Kind, kind);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        const AppFolder& app = this->app();
        const QByteArray backup = QByteArray::fromStdString(sampleBytes(5000, 2));
        app.write(folder + u"/b.ZIP"_s, backup);
        const QString source = name.isEmpty() ? QString() : app.path(folder) + pathSeparator() + name;
        ProgramPaths paths = app.paths;
        ScriptedPrompter prompter;
        ScriptedRunner runner;
        arm(fault, app, {}, runner, paths);
        prompter.answers = {answer};
        const Outcome outcome = runRestore(paths, app.path(folder), name, prompter, runner);
        const bool refused = kind == Kind::Refused;
        const bool restored = text == u"恢复文件成功";
        const std::optional<bool> result = kind == Kind::Completed ? std::optional(restored) : std::nullopt;
        check(outcome, kind, refused ? u"文件"_s + source + u"不存在"_s : text, result, reason);
        const QString question
            = u"ask: 现在准备将备份文件"_s + source + u"恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?"_s;
        QCOMPARE(prompter.log, refused ? QStringList() : QStringList {question});
        const QByteArray expected = restored ? backup : fault == Fault::DataGone ? "<absent>" : app.data;
        QCOMPARE(AppFolder::read(paths.DataFilePath), expected);
        QCOMPARE(AppFolder::names(app.path(u"app"_s)).filter(u"~datamaint"_s), QStringList());
    }

    // Ordered by name ignoring case, names that differ only in case (Linux) in a fixed order too; only ordinary,
    // visible files ending in ".ZIP" in any case. Names that are not UTF-8 list with replacement characters, and
    // each entry restores exactly its own file, also beside one that really has that character.
    void backupList()
    {
        const AppFolder& app = this->app();
        for (const char* name : {"b.zip", "B.ZIP", "a.Zip", "c.ZIP", "c.zipx", "zip", ".h.ZIP", "~datamaint.0.tmp"})
            app.write(u"app/BACKUP/"_s + QLatin1String(name), "x");
        QDir(app.paths.BackupFolder).mkdir(u"d.ZIP"_s);
        QStringList expected = {u"a.Zip"_s, u"B.ZIP"_s, u"b.zip"_s, u"c.ZIP"_s};
        if (AppFolder::names(app.paths.BackupFolder).size() < 9) // a file system that ignores case keeps b.zip
            expected.removeOne(u"B.ZIP"_s);
        QCOMPARE(texts(listBackups(app.paths.BackupFolder)), expected);
        if (!kPosix)
            return; // Windows names are UTF-16
        const QString other = app.path(u"latin"_s);
        QDir().mkpath(other);
        for (const char* name : {"lat\xe9.ZIP", "bad\xff.ZIP", "bad\xef\xbf\xbd.ZIP"})
            writeBytes(other.toStdString() + "/" + name, name);
        const QList<BackupName> names = listBackups(other);
        QCOMPARE(texts(names), (QStringList {u"bad\uFFFD.ZIP"_s, u"bad\uFFFD.ZIP"_s, u"lat\uFFFD.ZIP"_s}));
        for (const BackupName& name : names) {
            ScriptedPrompter prompter;
            ScriptedRunner runner;
            prompter.answers = {true};
            QCOMPARE(runRestore(app.paths, other, name, prompter, runner).result, std::optional<bool>(true));
            QCOMPARE(readBytes(app.paths.DataFilePath.toStdString()), name.native.string());
        }
    }

    void pickFile_data()
    {
        QTest::addColumn<QString>("chosen"); // a name in the folder, <cancel> or <throw>
        QTest::addColumn<QString>("report");
        QTest::newRow("existing file") << u"a.ZIP"_s << QString();
        QTest::newRow("typed name of no file") << u"typed.ZIP"_s << u"指定文件不存在"_s;
        QTest::newRow("folder") << u"app"_s << u"指定文件不存在"_s;
        QTest::newRow("cancelled") << u"<cancel>"_s << u"请指定一个文件"_s;
        QTest::newRow("dialog failed") << u"<throw>"_s << u"请指定一个文件"_s;
        QTest::newRow("empty name") << QString() << u"请指定一个文件"_s;
    }

    // What the dialog returns and what the operator is told. The dialog's settings persist between calls: a blank
    // start folder keeps the last one, untrimmed.
    void pickFile()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, report);
        const AppFolder& app = this->app();
        app.write(u"a.ZIP"_s, "x");
        FileDialogState dialog;
        QString settings;
        QStringList reports;
        const auto show = [&](FileDialogState& state) {
            settings = u"%1|%2|%3"_s.arg(state.InitDir).arg(state.Flags).arg(state.CancelError);
            if (chosen == u"<throw>")
                throw std::runtime_error("dialog broke");
            state.FileName = chosen.isEmpty() ? QString() : app.path(chosen);
            return chosen != u"<cancel>";
        };
        const auto tell = [&](const QString& text) { reports << text; };
        PickFile(u"DIR"_s, u"/first "_s, dialog, show, tell);
        reports.clear();
        const QString picked = PickFile(u"DIR"_s, u"  "_s, dialog, show, tell);
        QCOMPARE(reports, report.isEmpty() ? QStringList() : QStringList {report});
        QCOMPARE(picked, report.isEmpty() ? app.path(chosen) : QString());
        QCOMPARE(settings, u"/first |4|1"_s);
    }

private:
    const AppFolder& app() const { return *m_app; }

    static QStringList texts(const QList<BackupName>& names)
    {
        QStringList listed;
        for (const BackupName& name : names)
            listed << name.text;
        return listed;
    }

    std::unique_ptr<AppFolder> m_app; // fresh for each test function and row
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
