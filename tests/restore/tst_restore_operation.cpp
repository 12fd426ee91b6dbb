// The restore and the backup listing, driven through a scripted prompter against real folders.
#include "common/Routines.h"
#include "fs/fsys.h"
#include "common/qtfs.h"
#include "restore/RestoreOperation.h"
#include "support/ScriptedPrompter.h"
#include "support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
        ScriptedPrompter no;
        no.answers = {false};
        QCOMPARE(runRestore(app.paths, app.name, no, [] { QFAIL("hidden"); }), RestoreOutcome::Declined);
        QCOMPARE(no.log, QStringList {app.question(app.source())});
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);

        ScriptedPrompter yes;
        yes.answers = {true};
        const auto outcome = runRestore(app.paths, app.name, yes, [&] { yes.log << QStringLiteral("hide"); });
        QCOMPARE(outcome, RestoreOutcome::Restored);
        QCOMPARE(yes.log,
                 (QStringList {app.question(app.source()), QStringLiteral("hide"),
                               QStringLiteral("message: 恢复文件成功")}));
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.saved);
        app.verifyFolderUnchanged();
    }

    void missingOrNoSelection()
    {
        App app;
        ScriptedPrompter nothing;
        nothing.answers = {true};
        QCOMPARE(runRestore(app.paths, QString(), nothing, [] {}), RestoreOutcome::Failed);
        QCOMPARE(nothing.log, (QStringList {app.question(QString()), QStringLiteral("message: 恢复文件失败")}));
        QFile::remove(app.source()); // listed, then removed
        ScriptedPrompter removed;
        QCOMPARE(runRestore(app.paths, app.name, removed, [] {}), RestoreOutcome::SourceMissing);
        QCOMPARE(removed.log, QStringList {QStringLiteral("message: 文件") + app.source() + QStringLiteral("不存在")});
        QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
        app.verifyFolderUnchanged();
    }

    // A copy that fails anywhere leaves the books exactly as they were and no staging file behind.
    void failuresLeaveTheDataFileWhole_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::newRow("fails after create") << "created" << int(RestoreOutcome::Failed);
        QTest::newRow("fails mid-copy") << "wrote" << int(RestoreOutcome::Failed);
        QTest::newRow("flush fails") << "flushed" << int(RestoreOutcome::Failed);
        QTest::newRow("staging file lost") << "lost" << int(RestoreOutcome::StagingMissing);
        QTest::newRow("data file is a folder") << "folder" << int(RestoreOutcome::Failed);
    }
    void failuresLeaveTheDataFileWhole()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        App app;
        const std::map<QString, fsys::CopyStep> steps = {{QStringLiteral("created"), fsys::CopyStep::Created},
                                                         {QStringLiteral("wrote"), fsys::CopyStep::Wrote},
                                                         {QStringLiteral("flushed"), fsys::CopyStep::Flushed}};
        if (steps.count(fault)) {
            const fsys::CopyStep failing = steps.at(fault);
            fsys::testing::setStepHook([failing](fsys::CopyStep at, const fsys::Path&) { return failAt(failing, at); });
        } else if (fault == QLatin1String("lost")) {
            fsys::testing::setStepHook([](fsys::CopyStep step, const fsys::Path& staging) {
                if (step == fsys::CopyStep::Created)
                    std::filesystem::remove(staging);
                return std::error_code {};
            });
        } else {
            QFile::remove(app.paths.DataFilePath);
            app.tree.makeFolder(QStringLiteral("app/data1.vzd"));
        }
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(int(runRestore(app.paths, app.name, prompter, [] { QFAIL("hidden"); })), outcome);
        QCOMPARE(prompter.log.last(),
                 outcome == int(RestoreOutcome::Failed) ? QStringLiteral("message: 恢复文件失败")
                                                        : QStringLiteral("message: 解压文件不成功"));
        if (fault != QLatin1String("folder")) {
            QCOMPARE(TempTree::read(app.paths.DataFilePath), app.current);
            app.verifyFolderUnchanged();
        }
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
