// The operations without a window: the manual backup, the automatic backup and the restore, driven through a scripted
// prompter on real folders: what each asks, when it makes its window busy, which outcome it reports and what the files
// hold afterwards. How the copy itself survives faults and stops is the file-system layer's business.
#include "core/backup/BackupOperation.h"
#include "core/restore/RestoreOperation.h"
#include "support/AppFolder.h"

namespace {

using Kind = Outcome::Kind;
const QString kWildcard = "备份文件名不能包含通配符 * 或 ?";
const QString kStamped = "appAUTOBK/2026年12月06日09时30分自动备份data1.ZIP";

// What a test does to an operation: the file written is gone once the copy has ended, a write fails, the staging file
// is lost before the rename, the data file is read-only, the application's folder cannot be made or is hidden, or the
// operator stops the copy.
enum class Fault { None, Gone, WriteFails, StagingLost, ReadOnly, NoAppFolder, HiddenAppFolder, Stopped };
using enum Fault;
using enum Outcome::Kind;

struct Row
{
    const char* row;
    // The folder text, where "app" stands for the application folder.
    QString folder;
    // The name text, or the backup selected.
    QString name;
    Fault fault;
    Kind kind;
    // "ok" for the operation's own success text
    QString text;
    // In the temporary tree: the file the operation writes, or none.
    QString target;
    // A part of the system's reason for a failure.
    QString reason = {};
};

} // namespace

Q_DECLARE_METATYPE(Row)

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_app = std::make_unique<AppFolder>();
        prompter = {};
        runner = {};
    }
    void cleanup() { fsys::testing::setStepHook({}); }

    void manualBackup_data()
    {
        std::vector<Row> rows = {
            {"spaces around the folder", "  app/BACKUP/  ", "x", None, Completed, "ok", "app/BACKUP/x.ZIP"},
            {"* in the name", "app", "a*b", None, Refused, kWildcard, {}},
            {"missing folder", "missing", "x", None, Failed, kFailed, {}, "无法建立文件“"},
            {"gone after the copy", "app", "y", Gone, Completed, "备份不成功,可能因为磁盘空间不足或文件名不合规范",
             "app/y.ZIP"},
            {"backup folder cannot be made", "app", "x", NoAppFolder, Failed, kFailed, {}, "无法建立文件夹“"},
        };
        // A name that would be hidden there, and so never found again.
        if (kPosix)
            rows.push_back({"dot name", "app", ".x", None, Refused, "备份文件名不能以 . 开头", {}});
        add(rows);
    }

    // The window is made busy once the copy is to run, and a backup under an existing name is asked about. Result
    // changes only when the copy ran.
    void manualBackup()
    {
        QFETCH(Row, row);
        const QString old = app().write("app/BACKUP/x.ZIP", "old");
        const QString target = app().path(row.target);
        const bool ok = row.text == "ok";
        prompter.answers = {true};
        const Outcome outcome = runManualBackup(paths(row), prepare(row), row.name, prompter, runner);
        check(outcome, row, ok ? succeeded(target) : row.text);
        QStringList log;
        if (row.kind != Refused && row.fault != NoAppFolder)
            log << "busy";
        if (target == old)
            log << "ask: 目标文件" + old + "已经存在,要覆盖吗 ?";
        QCOMPARE(prompter.log, log);
        QCOMPARE(AppFolder::read(old), target == old && ok ? app().data : "old");
        if (!ok)
            return;
        QCOMPARE(AppFolder::read(target), app().data);
    }

    void autoBackup_data()
    {
        std::vector<Row> rows = {
            {"no folder, no name", {}, {}, None, Completed, "ok", kStamped},
            {"missing folder", "missing", {}, None, Completed, "ok", kStamped},
            {"a name with blanks around", "app", " n ", None, Completed, "ok", "app/n.ZIP"},
            {"wildcard name", {}, "a?", None, Failed, {}, {}, kWildcard},
            {"fallback folder cannot be made", {}, {}, NoAppFolder, Failed, {}, {}, "AUTOBK”："},
            {"stopped", {}, "c", Stopped, Cancelled, {}, {}},
        };
        if (kPosix) {
            rows.push_back({"fallback folder hidden", {}, {}, HiddenAppFolder, Refused, "建立备份目录不成功", {}});
        }
        add(rows);
    }

    // A blank, wildcard or missing folder falls back to the automatic-backup folder beside the application's.
    // Nothing is asked, and failures go to the caller.
    void autoBackup()
    {
        QFETCH(Row, row);
        const QString target = app().path(row.target);
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 30));
        const Outcome outcome = runAutoBackup(paths(row), prepare(row), row.name, now, prompter, runner);
        check(outcome, row, row.text == "ok" ? succeeded(target) : row.text);
        QCOMPARE(prompter.log, QStringList());
        if (row.target.isEmpty())
            return;
        QCOMPARE(AppFolder::read(target), app().data);
    }

    void restore_data()
    {
        const QString b = "app/BACKUP";
        const QString data = "app/data1.vzd";
        const QString failed = "恢复文件失败";
        std::vector<Row> rows = {
            {"from another folder", "usb", "b.ZIP", None, Completed, "ok", data},
            {"gone since listed", b, "gone.ZIP", None, Refused, {}, {}},
            {"nothing selected", b, {}, None, Failed, failed, {}, "无法打开文件“"},
            {"copy fails", b, "b.ZIP", WriteFails, Failed, failed, {}, "无法写入文件“"},
            {"data file read-only", b, "b.ZIP", ReadOnly, Failed, failed, {}, "不能替换文件“"},
            {"data file gone after the copy", b, "b.ZIP", Gone, Completed, "恢复失败", data},
            {"stopped", b, "b.ZIP", Stopped, Cancelled, {}, {}},
        };
        // Windows deletes no file that is open, and the copy holds its staging file open.
        if (kPosix)
            rows.push_back(
                {"staging file lost", b, "b.ZIP", StagingLost, Failed, "解压文件不成功", {}, "无法写入磁盘“"});
        add(rows);
    }

    // The question names the backup in the folder listed; No touches nothing, and on Yes the data file is the backup
    // or as it was.
    void restore()
    {
        QFETCH(Row, row);
        app().write(row.folder + "/b.ZIP", "backup");
        const QString listed = app().path(row.folder);
        const QString source = row.name.isEmpty() ? QString() : listed + pathSeparator() + row.name;
        const QString question
            = "ask: 现在准备将备份文件" + source + "恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?";
        const bool refused = row.kind == Refused;
        const bool ok = row.text == "ok";
        prompter.answers = {false, true};
        prepare(row);
        QCOMPARE(runRestore(app().paths, listed, row.name, prompter, runner).kind, refused ? Refused : Declined);
        const Outcome outcome = runRestore(app().paths, listed, row.name, prompter, runner);
        const QString text = refused ? "文件" + source + "不存在" : ok ? "恢复文件成功" : row.text;
        check(outcome, row, text);
        QCOMPARE(prompter.log, refused ? QStringList() : QStringList(2, question));
        const QByteArray kept = row.fault == Gone ? "<absent>" : app().data;
        QCOMPARE(AppFolder::read(app().paths.DataFilePath), ok ? "backup" : kept);
    }

private:
    const AppFolder& app() const { return *m_app; }

    static void add(const std::vector<Row>& rows)
    {
        QTest::addColumn<Row>("row");
        for (const Row& row : rows)
            QTest::newRow(row.row) << row;
    }

    // The row's folder text with "app" standing for the application folder, and the fault armed for its copies.
    QString prepare(const Row& row)
    {
        runner.stop = row.fault == Stopped;
        if (row.fault == ReadOnly)
            QFile::setPermissions(app().paths.DataFilePath, QFile::ReadOwner);
        const Fault fault = row.fault;
        const QString target = app().path(row.target);
        fsys::testing::setStepHook([=](fsys::CopyStep step, const fsys::Path& temporary) {
            if (fault == Gone && step == fsys::CopyStep::FolderFlushed)
                QFile::remove(target);
            if (fault == StagingLost && step == fsys::CopyStep::Flushed)
                std::filesystem::remove(temporary);
            if (fault == WriteFails && step == fsys::CopyStep::Wrote)
                return std::make_error_code(std::errc::io_error);
            return std::error_code();
        });
        return QDir::toNativeSeparators(QString(row.folder).replace("app", app().path("app")));
    }

    ProgramPaths paths(const Row& row) const
    {
        if (row.fault == NoAppFolder)
            return ProgramPaths::forFolder(app().path("no/app"));
        if (row.fault == HiddenAppFolder)
            return ProgramPaths::forFolder(app().path(".app"));
        return app().paths;
    }

    // The kind, text and new Result of an outcome, and a part of the system's reason for a failure. Only a copy that
    // ran sets Result: true when its target is there afterwards.
    static void check(const Outcome& outcome, const Row& row, const QString& text)
    {
        QCOMPARE(outcome.kind, row.kind);
        QCOMPARE(outcome.text, text);
        const bool found = row.text == "ok";
        QCOMPARE(outcome.result, row.kind == Completed ? std::optional(found) : std::nullopt);
        QCOMPARE(outcome.reason.isEmpty(), row.reason.isEmpty());
        QVERIFY2(outcome.reason.contains(row.reason), qPrintable(outcome.reason));
    }

    // Fresh for each test function and row.
    std::unique_ptr<AppFolder> m_app;
    ScriptedPrompter prompter;
    ScriptedRunner runner;
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
