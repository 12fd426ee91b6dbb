// The manual backup, the automatic backup and the restore, driven through a scripted prompter on real folders.
// How the copy itself survives faults is the file-system layer's business; here it is what each operation asks,
// when it makes its window busy, and which outcome it reports.
#include "core/backup/BackupOperation.h"
#include "core/restore/RestoreOperation.h"
#include "fs/fsys.h"
#include "support/AppFolder.h"

namespace {

using Kind = Outcome::Kind;
const QString kBusy = QStringLiteral("busy");
const QString kFailed = QStringLiteral("备份出错，请退出系统再进入一次进行备份");
QString asked(const QString& target)
{
    return QStringLiteral("ask: 目标文件") + target + QStringLiteral("已经存在,要覆盖吗 ?");
}
QString succeeded(const QString& target)
{
    return QStringLiteral("备份成功\r\n备份文件名:") + target;
}
void hookAt(fsys::CopyStep at, std::function<void(const fsys::Path&)> action, bool fail = false)
{
    fsys::testing::setStepHook([=](fsys::CopyStep step, const fsys::Path& temporary) {
        if (step != at)
            return std::error_code {};
        action(temporary);
        return fail ? std::make_error_code(std::errc::io_error) : std::error_code {};
    });
}

} // namespace

class TestOperations : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void manualBackup()
    {
        AppFolder app;
        const QString target = app.backup(QStringLiteral("x.ZIP"));
        ScriptedPrompter first;
        Outcome outcome = runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("x"), first);
        QCOMPARE(outcome.kind, Kind::Completed);
        QCOMPARE(outcome.text, succeeded(target));
        QCOMPARE(outcome.result, std::optional<bool>(true));
        QCOMPARE(first.log, QStringList {kBusy});
        QCOMPARE(AppFolder::read(target), app.data);

        app.write(QStringLiteral("app/BACKUP/x.ZIP"), "old");
        ScriptedPrompter no;
        no.answers = {false};
        outcome = runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("x"), no);
        QCOMPARE(outcome.kind, Kind::Declined);
        QVERIFY(outcome.text.isEmpty() && !outcome.result);
        QCOMPARE(no.log, (QStringList {kBusy, asked(target)}));
        QCOMPARE(AppFolder::read(target), QByteArray("old"));

        ScriptedPrompter yes;
        yes.answers = {true};
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("x"), yes).result,
                 std::optional<bool>(true));
        QCOMPARE(AppFolder::read(target), app.data);
    }

    // Every way a manual backup ends without a new backup, and whether the window was made busy first.
    void manualBackupRefusalsAndFailures_data()
    {
        QTest::addColumn<QString>("app"); // the application folder, below the temporary folder
        QTest::addColumn<QString>("path"); // the path box, relative to the temporary folder
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("busy");
        const int refused = int(Kind::Refused);
        const int failed = int(Kind::Failed);
        QTest::newRow("wildcard in the name") << "app"
                                              << "app/BACKUP"
                                              << "a*b" << refused << "备份文件名不能包含通配符 * 或 ?" << false;
        QTest::newRow("wildcard in the folder") << "app"
                                                << "a?"
                                                << "x" << refused << "备份文件名不能包含通配符 * 或 ?" << false;
        QTest::newRow("backup folder cannot be made") << "no/app"
                                                      << "app/BACKUP"
                                                      << "x" << failed << kFailed << false;
        QTest::newRow("path box names no folder") << "app"
                                                  << "missing"
                                                  << "x" << failed << kFailed << true;
        QTest::newRow("target is a folder") << "app"
                                            << "app"
                                            << "BACKUP/d" << failed << kFailed << true;
        QTest::newRow("data file missing") << "empty"
                                           << "app/BACKUP"
                                           << "x" << failed << kFailed << true;
    }
    void manualBackupRefusalsAndFailures()
    {
        QFETCH(QString, app);
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, busy);
        AppFolder folder;
        QDir(folder.dir.path()).mkpath(QStringLiteral("app/BACKUP/d.ZIP"));
        QDir(folder.dir.path()).mkpath(QStringLiteral("empty"));
        const ProgramPaths paths = ProgramPaths::forFolder(folder.path(app));
        ScriptedPrompter prompter;
        const Outcome outcome = runManualBackup(paths, folder.path(path), name, prompter);
        QCOMPARE(int(outcome.kind), kind);
        QCOMPARE(outcome.text, text);
        QVERIFY(!outcome.result);
        QCOMPARE(prompter.log, busy ? QStringList {kBusy} : QStringList());
        QCOMPARE(outcome.reason.isEmpty(), kind == int(Kind::Refused));
    }

    // A backup that writes a file the file test does not see (Linux hides a name starting with ".").
    void backupNotFoundAfterTheCopy()
    {
        if (pathSeparator() != QLatin1Char('/'))
            QSKIP("a dot does not hide a file on Windows");
        AppFolder app;
        ScriptedPrompter prompter;
        const Outcome outcome = runManualBackup(app.paths, app.paths.BackupFolder, QString(), prompter);
        QCOMPARE(outcome.kind, Kind::Completed);
        QCOMPARE(outcome.text, QStringLiteral("备份不成功,可能因为磁盘空间不足或文件名不合规范"));
        QCOMPARE(outcome.result, std::optional<bool>(false));
    }

    void automaticBackup()
    {
        AppFolder app;
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 30));
        ScriptedPrompter prompter;
        const QString stamped = app.paths.AutoBackupFolder + pathSeparator() + autoBackupName(app.paths, now);
        for (const QString& folderField : {QString(), QStringLiteral("  "), app.path(QStringLiteral("no*")),
                                           app.path(QStringLiteral("missing"))}) {
            const Outcome outcome = runAutoBackup(app.paths, folderField, QStringLiteral(" "), now, prompter);
            QCOMPARE(outcome.text, succeeded(stamped));
            QCOMPARE(outcome.result, std::optional<bool>(true));
            prompter.answers = {true};
        }
        QCOMPARE(prompter.log, QStringList(3, asked(stamped)));
        QCOMPARE(AppFolder::read(stamped), app.data);

        // A usable folder is taken as given; the name is trimmed.
        const QString named = app.path(QStringLiteral("app")) + pathSeparator() + QStringLiteral("n.ZIP");
        Outcome outcome = runAutoBackup(app.paths, app.path(QStringLiteral("app")), QStringLiteral(" n "), now, prompter);
        QCOMPARE(outcome.text, succeeded(named));

        prompter.answers = {false};
        outcome = runAutoBackup(app.paths, app.path(QStringLiteral("app")), QStringLiteral("n"), now, prompter);
        QCOMPARE(outcome.kind, Kind::Declined);
        QCOMPARE(outcome.result, std::optional<bool>(false));

        outcome = runAutoBackup(app.paths, QString(), QStringLiteral("a?"), now, prompter);
        QCOMPARE(outcome.kind, Kind::Failed);
        QCOMPARE(outcome.reason, QStringLiteral("备份文件名不能包含通配符 * 或 ?"));
        QCOMPARE(outcome.result, std::optional<bool>(false));

        const ProgramPaths orphan = ProgramPaths::forFolder(app.path(QStringLiteral("no/app")));
        outcome = runAutoBackup(orphan, QString(), QString(), now, prompter);
        QCOMPARE(outcome.kind, Kind::Failed);
        QVERIFY(outcome.reason.contains(QStringLiteral("AUTOBK")));
        QVERIFY(prompter.log.indexOf(kBusy) < 0); // the automatic backup leaves its window alone

        if (pathSeparator() == QLatin1Char('/')) { // a fallback folder that is still no folder once made: hidden
            outcome = runAutoBackup(ProgramPaths::forFolder(app.path(QStringLiteral(".app"))), {}, {}, now, prompter);
            QCOMPARE(outcome.kind, Kind::Refused);
            QCOMPARE(outcome.text, QStringLiteral("建立备份目录不成功"));
            QCOMPARE(outcome.result, std::optional<bool>(false));
        }
    }

    void restore_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("fault"); // what happens to the copy
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("replaced");
        const int completed = int(Kind::Completed);
        const int failed = int(Kind::Failed);
        QTest::newRow("restored") << "b.ZIP"
                                  << "" << completed << "恢复文件成功" << true;
        QTest::newRow("staging file lost") << "b.ZIP"
                                           << "lose staging" << failed << "解压文件不成功" << false;
        QTest::newRow("copy fails") << "b.ZIP"
                                    << "fail write" << failed << "恢复文件失败" << false;
        QTest::newRow("data file gone afterwards") << "b.ZIP"
                                                   << "lose data" << completed << "恢复失败" << false;
        QTest::newRow("nothing selected") << ""
                                          << "" << failed << "恢复文件失败" << false;
    }
    void restore()
    {
        QFETCH(QString, selected);
        QFETCH(QString, fault);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, replaced);
        AppFolder app;
        const QByteArray backup = QByteArray::fromStdString(sampleBytes(5000, 2));
        app.write(QStringLiteral("app/BACKUP/b.ZIP"), backup);
        const QString data = app.paths.DataFilePath;
        if (fault == QLatin1String("lose staging"))
            hookAt(fsys::CopyStep::Flushed, [](const fsys::Path& staging) { std::filesystem::remove(staging); });
        if (fault == QLatin1String("fail write"))
            hookAt(fsys::CopyStep::Wrote, [](const fsys::Path&) {}, true);
        if (fault == QLatin1String("lose data"))
            hookAt(fsys::CopyStep::FolderFlushed, [data](const fsys::Path&) { QFile::remove(data); });
        ScriptedPrompter prompter;
        prompter.answers = {true};
        const Outcome outcome = runRestore(app.paths, selected, prompter);
        const QString source = selected.isEmpty() ? QString() : app.backup(selected);
        QCOMPARE(prompter.log, QStringList {QStringLiteral("ask: 现在准备将备份文件") + source
                                            + QStringLiteral("恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?")});
        QCOMPARE(int(outcome.kind), kind);
        QCOMPARE(outcome.text, text);
        QCOMPARE(outcome.result.value_or(false), replaced);
        if (fault != QLatin1String("lose data"))
            QCOMPARE(AppFolder::read(data), replaced ? backup : app.data);
        for (const QString& name : AppFolder::names(app.path(QStringLiteral("app"))))
            QVERIFY(!fsys::isTemporaryName(name.toStdString())); // no staging file left
    }

    void restoreAsksFirst()
    {
        AppFolder app;
        app.write(QStringLiteral("app/BACKUP/b.ZIP"), "backup");
        ScriptedPrompter no;
        no.answers = {false};
        QCOMPARE(runRestore(app.paths, QStringLiteral("b.ZIP"), no).kind, Kind::Declined);
        QCOMPARE(AppFolder::read(app.paths.DataFilePath), app.data);

        ScriptedPrompter none;
        const Outcome outcome = runRestore(app.paths, QStringLiteral("gone.ZIP"), none);
        QCOMPARE(outcome.kind, Kind::Refused);
        QCOMPARE(outcome.text, QStringLiteral("文件") + app.backup(QStringLiteral("gone.ZIP")) + QStringLiteral("不存在"));
        QVERIFY(none.log.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
