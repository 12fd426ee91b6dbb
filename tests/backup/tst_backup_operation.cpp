// The manual and the automatic backup, driven through a scripted prompter against real folders.
#include "backup/BackupOperation.h"
#include "common/Routines.h"
#include "common/fsys.h"
#include "common/qtfs.h"
#include "support/ScriptedPrompter.h"
#include "support/TempTree.h"

#include <QFile>
#include <QTest>
#include <unistd.h>

namespace {

QString sep()
{
    return QString(pathSeparator());
}

bool privileged()
{
    return ::geteuid() == 0;
}

// An application folder with its data file, inside a temporary tree.
struct App
{
    TempTree tree;
    ProgramPaths paths = ProgramPaths::forFolder(tree.path(QStringLiteral("app")));
    QByteArray data = TempTree::sample(70000, 'd');

    App() { tree.write(QStringLiteral("app/data1.vzd"), data); }
    QString backup(const QString& name) const { return paths.BackupFolder + sep() + name; }
    // Nothing but the expected names may be in a folder: no temporary file survives a copy.
    QStringList leftovers(const QString& folder) const
    {
        QStringList found;
        for (const QString& name : TempTree::names(folder)) {
            if (fsys::isTemporaryName(qtfs::toPath(name)))
                found << name;
        }
        return found;
    }
};

QString success(const QString& target)
{
    return QStringLiteral("message: 备份成功\r\n备份文件名:") + target;
}
const QString kFailed = QStringLiteral("message: 备份出错，请退出系统再进入一次进行备份");

} // namespace

class TestBackupOperation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void backupIsAByteForByteCopy()
    {
        App app;
        ScriptedPrompter prompter;
        const auto result
            = runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("2026年12月06日备份"), false, prompter);
        const QString target = app.backup(QStringLiteral("2026年12月06日备份.ZIP"));
        QCOMPARE(result, std::optional<bool>(true));
        QCOMPARE(prompter.log, (QStringList {QStringLiteral("busy"), success(target), QStringLiteral("idle")}));
        QCOMPARE(TempTree::read(target), app.data);
        QVERIFY(app.leftovers(app.paths.BackupFolder).isEmpty());
    }

    void targetPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "D:\\b"
                               << "n"
                               << "D:\\b\\n.ZIP";
        QTest::newRow("trailing separator") << "D:\\b\\"
                                            << "n"
                                            << "D:\\b\\n.ZIP";
        QTest::newRow("spaces around the folder") << "  D:\\b\\ "
                                                  << "n"
                                                  << "D:\\b\\n.ZIP";
        QTest::newRow("spaces around the name stay") << "D:\\b"
                                                     << " n "
                                                     << "D:\\b\\ n .ZIP";
        QTest::newRow("empty name") << "D:\\b"
                                    << ""
                                    << "D:\\b\\.ZIP";
        QTest::newRow("empty folder means the root") << ""
                                                     << "n"
                                                     << "\\n.ZIP";
    }
    void targetPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const auto native = [](QString text) { return text.replace(QLatin1Char('\\'), pathSeparator()); };
        QCOMPARE(backupTarget(native(folder), name), native(expected));
    }

    void existingBackupAsksBeforeItIsReplaced()
    {
        App app;
        const QString target = app.tree.write(QStringLiteral("app/BACKUP/same.ZIP"), "old backup");
        const QString question = QStringLiteral("ask: 目标文件") + target + QStringLiteral("已经存在,要覆盖吗 ?");

        ScriptedPrompter no;
        no.answers = {false};
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("same"), false, no), std::nullopt);
        QCOMPARE(no.log, (QStringList {QStringLiteral("busy"), question, QStringLiteral("idle")}));
        QCOMPARE(TempTree::read(target), QByteArray("old backup"));

        ScriptedPrompter yes;
        yes.answers = {true};
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("same"), false, yes),
                 std::optional<bool>(true));
        QCOMPARE(yes.log, (QStringList {QStringLiteral("busy"), question, success(target), QStringLiteral("idle")}));
        QCOMPARE(TempTree::read(target), app.data);
    }

    void noticeModeChangesOnlyTheOutcomeMessages()
    {
        App app;
        app.tree.write(QStringLiteral("app/BACKUP/n.ZIP"), "old");
        ScriptedPrompter prompter;
        prompter.answers = {true};
        runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("n"), true, prompter);
        QVERIFY(prompter.log.at(1).startsWith(QStringLiteral("ask: ")));
        QCOMPARE(prompter.log.at(2),
                 QStringLiteral("notice: 备份成功\r\n备份文件名:") + app.backup(QStringLiteral("n.ZIP")));

        // The failure handler's message stays a message box.
        ScriptedPrompter failing;
        QFile::remove(app.paths.DataFilePath);
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("m"), true, failing), std::nullopt);
        QCOMPARE(failing.log, (QStringList {QStringLiteral("busy"), kFailed, QStringLiteral("idle")}));
    }

    void emptyDataFileGivesAnEmptyBackup()
    {
        App app;
        app.tree.write(QStringLiteral("app/data1.vzd"), QByteArray());
        ScriptedPrompter prompter;
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("e"), false, prompter),
                 std::optional<bool>(true));
        QCOMPARE(QFile(app.backup(QStringLiteral("e.ZIP"))).size(), 0);
    }

    void backupFolderIsMadeEvenWhenThePathBoxNamesAnother()
    {
        App app;
        const QString elsewhere = app.tree.makeFolder(QStringLiteral("elsewhere"));
        ScriptedPrompter prompter;
        QCOMPARE(runManualBackup(app.paths, elsewhere + sep(), QStringLiteral("x"), false, prompter),
                 std::optional<bool>(true));
        QVERIFY(qtfs::folderTest(app.paths.BackupFolder));
        QCOMPARE(TempTree::read(elsewhere + sep() + QStringLiteral("x.ZIP")), app.data);
        QVERIFY(TempTree::names(app.paths.BackupFolder).isEmpty());
    }

    void backupFolderThatCannotBeMadeIsAFailure()
    {
        App app;
        const ProgramPaths orphan = ProgramPaths::forFolder(app.tree.path(QStringLiteral("no/such/app")));
        ScriptedPrompter prompter;
        QCOMPARE(runManualBackup(orphan, orphan.BackupFolder, QStringLiteral("x"), false, prompter), std::nullopt);
        // The window had not been disabled yet.
        QCOMPARE(prompter.log, QStringList {kFailed});
    }

    // Every way the copy can fail keeps the old backup byte for byte and leaves no temporary file.
    void failedCopiesKeepTheOldBackup_data()
    {
        QTest::addColumn<QString>("why");
        QTest::newRow("data file missing") << "missing";
        QTest::newRow("data file is a folder") << "folder";
        QTest::newRow("disk full half way") << "full";
        QTest::newRow("flush fails") << "flush";
    }
    void failedCopiesKeepTheOldBackup()
    {
        QFETCH(QString, why);
        App app;
        const QString target = app.tree.write(QStringLiteral("app/BACKUP/keep.ZIP"), "the only good backup");
        if (why == QStringLiteral("missing")) {
            QFile::remove(app.paths.DataFilePath);
        } else if (why == QStringLiteral("folder")) {
            QFile::remove(app.paths.DataFilePath);
            app.tree.makeFolder(QStringLiteral("app/data1.vzd"));
        } else {
            const auto failAt = why == QStringLiteral("full") ? fsys::CopyStep::Wrote : fsys::CopyStep::Flushed;
            fsys::testing::setStepHook([failAt](fsys::CopyStep step, const fsys::Path&) {
                return step == failAt ? std::make_error_code(std::errc::no_space_on_device) : std::error_code {};
            });
        }
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("keep"), false, prompter),
                 std::nullopt);
        QCOMPARE(prompter.log.last(), QStringLiteral("idle"));
        QCOMPARE(prompter.log.at(prompter.log.size() - 2), kFailed);
        QCOMPARE(TempTree::read(target), QByteArray("the only good backup"));
        QVERIFY(app.leftovers(app.paths.BackupFolder).isEmpty());
    }

    void copyIntoAMissingFolderFails()
    {
        App app;
        ScriptedPrompter prompter;
        QCOMPARE(
            runManualBackup(app.paths, app.tree.path(QStringLiteral("gone")), QStringLiteral("x"), false, prompter),
            std::nullopt);
        QCOMPARE(prompter.log, (QStringList {QStringLiteral("busy"), kFailed, QStringLiteral("idle")}));
    }

    void targetsNobodyWasAskedAboutAreNeverReplaced()
    {
        App app;
        const QString hidden = app.tree.write(QStringLiteral("app/BACKUP/.secret.ZIP"), "hidden");
        app.tree.makeFolder(QStringLiteral("app/BACKUP/dir.ZIP"));
        for (const QString& name : {QStringLiteral(".secret"), QStringLiteral("dir")}) {
            ScriptedPrompter prompter;
            QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, name, false, prompter), std::nullopt);
            QCOMPARE(prompter.log, (QStringList {QStringLiteral("busy"), kFailed, QStringLiteral("idle")}));
        }
        QCOMPARE(TempTree::read(hidden), QByteArray("hidden"));
        QVERIFY(qtfs::folderTest(app.backup(QStringLiteral("dir.ZIP"))));
    }

    void readOnlyBackupIsNotReplaced()
    {
        if (privileged())
            QSKIP("root may write anything; the unprivileged run covers this");
        App app;
        const QString target = app.tree.write(QStringLiteral("app/BACKUP/ro.ZIP"), "read-only");
        QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, QStringLiteral("ro"), false, prompter),
                 std::nullopt);
        QCOMPARE(prompter.log.at(2), kFailed);
        QCOMPARE(TempTree::read(target), QByteArray("read-only"));
    }

    void wildcardNamesAreRefusedBeforeAnythingIsTouched()
    {
        App app;
        for (const QString& name : {QStringLiteral("*"), QStringLiteral("a?b")}) {
            ScriptedPrompter prompter;
            QCOMPARE(runManualBackup(app.paths, app.paths.BackupFolder, name, false, prompter), std::nullopt);
            QCOMPARE(prompter.log, QStringList {QStringLiteral("message: 备份文件名不能包含通配符 * 或 ?")});
        }
        QVERIFY(!TempTree::exists(app.paths.BackupFolder));
    }

    void autoName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("expected");
        QTest::newRow("afternoon") << "D:\\Acct" << QDateTime(QDate(2026, 12, 6), QTime(14, 5))
                                   << QStringLiteral("2026年12月06日14时05分自动备份data1.ZIP");
        QTest::newRow("folder ends in a separator") << "D:\\Acct\\" << QDateTime(QDate(2027, 1, 2), QTime(0, 0))
                                                    << QStringLiteral("2027年01月02日00时00分自动备份data1.ZIP");
        QTest::newRow("folder named like the extension") << "D:\\x.vzd" << QDateTime(QDate(2026, 7, 8), QTime(9, 30))
                                                         << QStringLiteral("2026年07月08日09时30分自动备份data1.ZIP");
    }
    void autoName()
    {
        QFETCH(QString, folder);
        QFETCH(QDateTime, now);
        folder.replace(QLatin1Char('\\'), pathSeparator());
        QTEST(autoBackupName(ProgramPaths::forFolder(folder), now), "expected");
    }

    void autoBackupFallsBackToTheSiblingFolder_data()
    {
        QTest::addColumn<QString>("folderField");
        QTest::newRow("blank") << "   ";
        QTest::newRow("missing") << "no-such-folder";
    }
    void autoBackupFallsBackToTheSiblingFolder()
    {
        QFETCH(QString, folderField);
        App app;
        ScriptedPrompter prompter;
        const QDateTime now(QDate(2026, 12, 6), QTime(14, 5));
        QVERIFY(runAutoBackup(app.paths, folderField, QString(), now, prompter));
        const QString target
            = app.paths.AutoBackupFolder + sep() + QStringLiteral("2026年12月06日14时05分自动备份data1.ZIP");
        QCOMPARE(prompter.log, QStringList {QStringLiteral("notice: 备份成功\r\n备份文件名:") + target});
        QCOMPARE(TempTree::read(target), app.data);
        QVERIFY(!TempTree::exists(app.tree.path(QStringLiteral("no-such-folder"))));
    }

    void autoBackupUsesTheCallersFolderAndTrimmedName()
    {
        App app;
        const QString folder = app.tree.makeFolder(QStringLiteral("mine"));
        ScriptedPrompter prompter;
        QVERIFY(runAutoBackup(app.paths, folder, QStringLiteral("  nightly "), QDateTime::currentDateTime(), prompter));
        QCOMPARE(TempTree::read(folder + sep() + QStringLiteral("nightly.ZIP")), app.data);
        QVERIFY(!TempTree::exists(app.paths.AutoBackupFolder));

        // The folder test takes the caller's text as it is: blanks around it name another, missing folder.
        ScriptedPrompter padded;
        QVERIFY(runAutoBackup(app.paths, QStringLiteral(" ") + folder, QStringLiteral("padded"),
                              QDateTime::currentDateTime(), padded));
        QVERIFY(TempTree::exists(app.paths.AutoBackupFolder + sep() + QStringLiteral("padded.ZIP")));
    }

    void twoAutoBackupsInOneMinuteAsk()
    {
        App app;
        const QDateTime now(QDate(2026, 12, 6), QTime(14, 5, 1));
        ScriptedPrompter first;
        QVERIFY(runAutoBackup(app.paths, QString(), QString(), now, first));
        ScriptedPrompter declined;
        declined.answers = {false};
        QVERIFY(!runAutoBackup(app.paths, QString(), QString(), now.addSecs(30), declined));
        QCOMPARE(declined.log.size(), 1);
        QVERIFY(declined.log.first().startsWith(QStringLiteral("ask: 目标文件")));
    }

    void autoBackupFailuresReachTheCaller()
    {
        App app;
        QFile::remove(app.paths.DataFilePath);
        ScriptedPrompter prompter;
        QVERIFY_THROWS_EXCEPTION(
            FileError,
            runAutoBackup(app.paths, QString(), QStringLiteral("x"), QDateTime::currentDateTime(), prompter));
        QVERIFY(prompter.log.isEmpty());

        try {
            runAutoBackup(app.paths, QString(), QStringLiteral("a*"), QDateTime::currentDateTime(), prompter);
            QFAIL("a wildcard name was accepted");
        } catch (const FileError& error) {
            QCOMPARE(error.reason(), QStringLiteral("备份文件名不能包含通配符 * 或 ?"));
        }
    }
};

QTEST_MAIN(TestBackupOperation)
#include "tst_backup_operation.moc"
