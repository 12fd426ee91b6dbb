// The restore and the backup listing, driven through a scripted prompter against real folders.
#include "common/Routines.h"
#include "common/fsys.h"
#include "common/qtfs.h"
#include "restore/RestoreOperation.h"
#include "support/ScriptedPrompter.h"
#include "support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString sep()
{
    return QString(pathSeparator());
}

struct App
{
    TempTree tree;
    ProgramPaths paths = ProgramPaths::forFolder(tree.path(QStringLiteral("app")));
    QByteArray current = TempTree::sample(50000, 'c');
    QByteArray saved = TempTree::sample(80000, 's');
    const QString name = QStringLiteral("2026年12月06日备份.ZIP");

    App()
    {
        tree.write(QStringLiteral("app/data1.vzd"), current);
        tree.write(QStringLiteral("app/BACKUP/") + name, saved);
        // Decoys that no restore may touch.
        tree.write(QStringLiteral("app/tmp"), "decoy tmp");
        tree.write(QStringLiteral("app/data1.vzd.bak"), "decoy bak");
        tree.write(QStringLiteral("app/.hidden"), "decoy dot file");
    }
    QString source() const { return paths.BackupFolder + sep() + name; }
    QString question(const QString& source) const
    {
        return QStringLiteral("ask: 现在准备将备份文件") + source
            + QStringLiteral("恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?");
    }
    // The application folder holds exactly what it held before: no staging file, decoys untouched.
    void verifyFolderUnchanged() const
    {
        QCOMPARE(TempTree::names(paths.AppFolder),
                 (QStringList {QStringLiteral(".hidden"), QStringLiteral("BACKUP"), QStringLiteral("data1.vzd"),
                               QStringLiteral("data1.vzd.bak"), QStringLiteral("tmp")}));
        QCOMPARE(TempTree::read(paths.AppFolder + sep() + QStringLiteral("tmp")), QByteArray("decoy tmp"));
        QCOMPARE(TempTree::read(paths.AppFolder + sep() + QStringLiteral("data1.vzd.bak")), QByteArray("decoy bak"));
    }
};

std::error_code failAt(fsys::CopyStep failing, fsys::CopyStep step)
{
    return step == failing ? std::make_error_code(std::errc::no_space_on_device) : std::error_code {};
}

} // namespace

class TestRestoreOperation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void restoreMakesTheDataFileACopyOfTheBackup()
    {
        App app;
        ScriptedPrompter prompter;
        prompter.answers = {true};
        const auto outcome = runRestore(app.paths, app.name, prompter, [&] { prompter.log << QStringLiteral("hide"); });
        QCOMPARE(outcome, RestoreOutcome::Restored);
        QCOMPARE(prompter.log,
                 (QStringList {app.question(app.source()), QStringLiteral("hide"),
                               QStringLiteral("message: 恢复文件成功")}));
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.saved);
        QCOMPARE(TempTree::read(app.source()), app.saved);
        app.verifyFolderUnchanged();
    }

    void answeringNoTouchesNothing()
    {
        App app;
        ScriptedPrompter prompter;
        prompter.answers = {false};
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] { QFAIL("hidden"); }), RestoreOutcome::Declined);
        QCOMPARE(prompter.log, QStringList {app.question(app.source())});
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
        app.verifyFolderUnchanged();
    }

    void backupRemovedAfterListingIsNamedInFull()
    {
        App app;
        QFile::remove(app.source());
        ScriptedPrompter prompter;
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] {}), RestoreOutcome::SourceMissing);
        QCOMPARE(prompter.log, QStringList {QStringLiteral("message: 文件") + app.source() + QStringLiteral("不存在")});
    }

    void nothingSelectedStillAsksAndThenFails()
    {
        App app;
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runRestore(app.paths, QString(), prompter, [] {}), RestoreOutcome::Failed);
        QCOMPARE(prompter.log, (QStringList {app.question(QString()), QStringLiteral("message: 恢复文件失败")}));
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
        app.verifyFolderUnchanged();
    }

    // A copy that fails at any step leaves the books exactly as they were and no staging file behind.
    void failedCopiesLeaveTheDataFileWhole_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("after create") << int(fsys::CopyStep::Created);
        QTest::newRow("mid-copy") << int(fsys::CopyStep::Wrote);
        QTest::newRow("flush") << int(fsys::CopyStep::Flushed);
    }
    void failedCopiesLeaveTheDataFileWhole()
    {
        QFETCH(int, step);
        App app;
        fsys::testing::setStepHook(
            [step](fsys::CopyStep at, const fsys::Path&) { return failAt(static_cast<fsys::CopyStep>(step), at); });
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] { QFAIL("hidden"); }), RestoreOutcome::Failed);
        QCOMPARE(prompter.log.last(), QStringLiteral("message: 恢复文件失败"));
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
        app.verifyFolderUnchanged();
    }

    void stagingFileLostBeforeItsTurn()
    {
        App app;
        fsys::testing::setStepHook([](fsys::CopyStep step, const fsys::Path& staging) {
            if (step == fsys::CopyStep::Created)
                std::filesystem::remove(staging);
            return std::error_code {};
        });
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] {}), RestoreOutcome::StagingMissing);
        QCOMPARE(prompter.log.last(), QStringLiteral("message: 解压文件不成功"));
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
        app.verifyFolderUnchanged();
    }

    void dataFileGoneAfterTheRename()
    {
        App app;
        const std::string data = qtfs::toPath(app.paths.DataFilePath).string();
        fsys::testing::setStepHook([data](fsys::CopyStep step, const fsys::Path&) {
            if (step == fsys::CopyStep::Renamed)
                std::filesystem::remove(data);
            return std::error_code {};
        });
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] { QFAIL("hidden"); }), RestoreOutcome::DataMissing);
        QCOMPARE(prompter.log.last(), QStringLiteral("message: 恢复失败"));
    }

    void dataFileThatIsAFolderIsNotReplaced()
    {
        App app;
        QFile::remove(app.paths.DataFilePath);
        app.tree.makeFolder(QStringLiteral("app/data1.vzd"));
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] {}), RestoreOutcome::Failed);
        QVERIFY(QFileInfo(app.paths.DataFilePath).isDir());
    }

    void readOnlyDataFileIsNotReplaced()
    {
        if (::geteuid() == 0)
            QSKIP("root may write anything; the unprivileged run covers this");
        App app;
        QFile::setPermissions(app.paths.DataFilePath, QFile::ReadOwner);
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runRestore(app.paths, app.name, prompter, [] {}), RestoreOutcome::Failed);
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
        app.verifyFolderUnchanged();
    }

    void aFileNamedTmpInTheWorkingFolderIsLeftAlone()
    {
        App app;
        TempTree work;
        const QString tmp = work.write(QStringLiteral("tmp"), "someone else's file");
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.root()));
        ScriptedPrompter prompter;
        prompter.answers = {true};
        const auto outcome = runRestore(app.paths, app.name, prompter, [] {});
        QDir::setCurrent(before);
        QCOMPARE(outcome, RestoreOutcome::Restored);
        QCOMPARE(TempTree::read(tmp), QByteArray("someone else's file"));
        QCOMPARE(TempTree::names(work.root()), QStringList {QStringLiteral("tmp")});
    }

    void listingKeepsOnlyBackups()
    {
        TempTree tree;
        for (const char* name : {"b.zip", "A.ZIP", "a.ZIP", "2026年12月06日备份.ZIP", "2025年01月01日备份.Zip",
                                 "a.zipx", "a.ZIP.bak", "zip", ".hidden.ZIP", "~datamaint.0123456789abcdef.tmp"})
            tree.write(QString::fromUtf8(name), "x");
        tree.makeFolder(QStringLiteral("folder.ZIP"));
        QVERIFY(::mkfifo(qtfs::toPath(tree.path(QStringLiteral("pipe.ZIP"))).c_str(), 0600) == 0);
        QCOMPARE(listBackups(tree.root()),
                 (QStringList {QStringLiteral("2025年01月01日备份.Zip"), QStringLiteral("2026年12月06日备份.ZIP"),
                               QStringLiteral("A.ZIP"), QStringLiteral("a.ZIP"), QStringLiteral("b.zip")}));
        // The folder text is closed with a separator first, so spaces around it do not matter.
        QCOMPARE(listBackups(QStringLiteral("  ") + tree.root() + QStringLiteral(" ")).size(), 5);
        QVERIFY(listBackups(tree.path(QStringLiteral("missing"))).isEmpty());
    }
};

QTEST_MAIN(TestRestoreOperation)
#include "tst_restore_operation.moc"
