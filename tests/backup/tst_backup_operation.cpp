// The manual and the automatic backup, driven through a scripted prompter against real folders.
#include "backup/BackupOperation.h"
#include "common/Routines.h"
#include "fs/fsys.h"
#include "common/qtfs.h"
#include "support/ScriptedPrompter.h"
#include "support/TempTree.h"

#include <QFile>
#include <QTest>
#include <unistd.h>

namespace {

// An application folder with its data file, inside a temporary tree.
struct App
{
    TempTree tree;
    ProgramPaths paths = ProgramPaths::forFolder(tree.path(QStringLiteral("app")));
    QByteArray data = TempTree::sample(70000, 'd');

    App() { tree.write(QStringLiteral("app/data1.vzd"), data); }
    QString backup(const QString& name) const { return paths.BackupFolder + sep() + name; }
    std::optional<bool> run(const QString& name, ScriptedPrompter& prompter, bool notices = false) const
    {
        return runManualBackup(paths, paths.BackupFolder, name, notices, prompter);
    }
    bool noTemporaries() const
    {
        for (const QString& name : TempTree::names(paths.BackupFolder)) {
            if (fsys::isTemporaryName(qtfs::toPath(name)))
                return false;
        }
        return true;
    }
};

const QString kBusy = QStringLiteral("busy");
const QString kIdle = QStringLiteral("idle");
const QString kFailed = QStringLiteral("message: 备份出错，请退出系统再进入一次进行备份");
QString success(const QString& target, const char* as = "message")
{
    return QString::fromLatin1(as) + QStringLiteral(": 备份成功\r\n备份文件名:") + target;
}

} // namespace

class TestBackupOperation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fsys::testing::setStepHook({}); }

    void backupAndTheOverwriteQuestion()
    {
        App app;
        const QString target = app.backup(QStringLiteral("same.ZIP"));
        ScriptedPrompter first;
        QCOMPARE(app.run(QStringLiteral("same"), first), std::optional<bool>(true));
        QCOMPARE(first.log, (QStringList {kBusy, success(target), kIdle}));
        QCOMPARE(TempTree::read(target), app.data);

        const QString question = QStringLiteral("ask: 目标文件") + target + QStringLiteral("已经存在,要覆盖吗 ?");
        app.tree.write(QStringLiteral("app/BACKUP/same.ZIP"), "old backup");
        ScriptedPrompter no;
        no.answers = {false};
        QCOMPARE(app.run(QStringLiteral("same"), no), std::nullopt);
        QCOMPARE(no.log, (QStringList {kBusy, question, kIdle}));
        QCOMPARE(TempTree::read(target), QByteArray("old backup"));

        // With notices only the outcome changes its form; the question stays a question.
        ScriptedPrompter yes;
        yes.answers = {true};
        QCOMPARE(app.run(QStringLiteral("same"), yes, true), std::optional<bool>(true));
        QCOMPARE(yes.log, (QStringList {kBusy, question, success(target, "notice"), kIdle}));
        QCOMPARE(TempTree::read(target), app.data);
        QVERIFY(app.noTemporaries());
    }

    void targetPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trailing separator and spaces") << "  D:\\b\\ "
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

    void backupFolderIsMadeEvenWhenThePathBoxNamesAnother()
    {
        App app;
        app.tree.write(QStringLiteral("app/data1.vzd"), QByteArray()); // an empty data file is a valid backup
        const QString elsewhere = app.tree.makeFolder(QStringLiteral("elsewhere"));
        ScriptedPrompter prompter;
        QCOMPARE(runManualBackup(app.paths, elsewhere, QStringLiteral("x"), false, prompter),
                 std::optional<bool>(true));
        QVERIFY(qtfs::folderTest(app.paths.BackupFolder));
        QCOMPARE(QFile(elsewhere + sep() + QStringLiteral("x.ZIP")).size(), 0);

        // When the backup folder cannot be made, the window has not been disabled yet.
        const ProgramPaths orphan = ProgramPaths::forFolder(app.tree.path(QStringLiteral("no/such/app")));
        ScriptedPrompter failing;
        QCOMPARE(runManualBackup(orphan, elsewhere, QStringLiteral("x"), false, failing), std::nullopt);
        QCOMPARE(failing.log, QStringList {kFailed});
    }

    // Every way the copy can fail keeps the old backup byte for byte and leaves no temporary file.
    void failedCopiesKeepTheOldBackup_data()
    {
        QTest::addColumn<QString>("why");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("asked");
        QTest::newRow("data file missing") << "missing"
                                           << "keep" << true;
        QTest::newRow("data file is a folder") << "folder"
                                               << "keep" << true;
        QTest::newRow("disk full half way") << "full"
                                            << "keep" << true;
        QTest::newRow("flush fails") << "flush"
                                     << "keep" << true;
        QTest::newRow("hidden target nobody was asked about") << ""
                                                              << ".secret" << false;
        QTest::newRow("target is a folder") << ""
                                            << "dir" << false;
    }
    void failedCopiesKeepTheOldBackup()
    {
        QFETCH(QString, why);
        QFETCH(QString, name);
        QFETCH(bool, asked);
        App app;
        const QString target = app.backup(name + QStringLiteral(".ZIP"));
        if (name == QLatin1String("dir"))
            app.tree.makeFolder(QStringLiteral("app/BACKUP/dir.ZIP"));
        else
            app.tree.write(QStringLiteral("app/BACKUP/%1.ZIP").arg(name), "the only good backup");
        if (why == QLatin1String("missing") || why == QLatin1String("folder"))
            QFile::remove(app.paths.DataFilePath);
        if (why == QLatin1String("folder"))
            app.tree.makeFolder(QStringLiteral("app/data1.vzd"));
        if (why == QLatin1String("full") || why == QLatin1String("flush")) {
            const auto failAt = why == QLatin1String("full") ? fsys::CopyStep::Wrote : fsys::CopyStep::Flushed;
            fsys::testing::setStepHook([failAt](fsys::CopyStep step, const fsys::Path&) {
                return step == failAt ? std::make_error_code(std::errc::no_space_on_device) : std::error_code {};
            });
        }
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(app.run(name, prompter), std::nullopt);
        QCOMPARE(prompter.log.size(), asked ? 4 : 3);
        QCOMPARE(prompter.log.mid(prompter.log.size() - 2), (QStringList {kFailed, kIdle}));
        if (name != QLatin1String("dir"))
            QCOMPARE(TempTree::read(target), QByteArray("the only good backup"));
        QVERIFY(app.noTemporaries());
    }

    void readOnlyBackupIsNotReplaced()
    {
        if (::geteuid() == 0)
            QSKIP("root may write anything; the unprivileged run covers this");
        App app;
        const QString target = app.tree.write(QStringLiteral("app/BACKUP/ro.ZIP"), "read-only");
        QFile::setPermissions(target, QFile::ReadOwner);
        ScriptedPrompter prompter;
        prompter.answers = {true};
        QCOMPARE(app.run(QStringLiteral("ro"), prompter), std::nullopt);
        QCOMPARE(prompter.log.at(2), kFailed);
        QCOMPARE(TempTree::read(target), QByteArray("read-only"));
    }

    void wildcardNamesAreRefusedBeforeAnythingIsTouched()
    {
        App app;
        for (const QString& name : {QStringLiteral("*"), QStringLiteral("a?b")}) {
            ScriptedPrompter prompter;
            QCOMPARE(app.run(name, prompter), std::nullopt);
            QCOMPARE(prompter.log, QStringList {QStringLiteral("message: 备份文件名不能包含通配符 * 或 ?")});
        }
        QVERIFY(!TempTree::exists(app.paths.BackupFolder));
    }

    void autoName()
    {
        const auto name = [](QString folder, QDateTime now) {
            return autoBackupName(ProgramPaths::forFolder(folder.replace(QLatin1Char('\\'), pathSeparator())), now);
        };
        QCOMPARE(name(QStringLiteral("D:\\Acct"), QDateTime(QDate(2026, 12, 6), QTime(14, 5))),
                 QStringLiteral("2026年12月06日14时05分自动备份data1.ZIP"));
        QCOMPARE(name(QStringLiteral("D:\\x.vzd\\"), QDateTime(QDate(2027, 1, 2), QTime(0, 0))),
                 QStringLiteral("2027年01月02日00时00分自动备份data1.ZIP"));
    }

    void autoBackupChoosesItsFolder()
    {
        App app;
        const QDateTime now(QDate(2026, 12, 6), QTime(14, 5));
        const QString stamped = QStringLiteral("2026年12月06日14时05分自动备份data1.ZIP");
        // A blank or missing folder falls back to the sibling folder; a folder with blanks around is another one.
        for (const QString& field :
             {QStringLiteral("   "), QStringLiteral("no-such-folder"), QStringLiteral(" ") + app.paths.AppFolder}) {
            ScriptedPrompter prompter;
            prompter.answers = {true};
            QVERIFY(runAutoBackup(app.paths, field, QString(), now, prompter));
            QCOMPARE(prompter.log.last(), success(app.paths.AutoBackupFolder + sep() + stamped, "notice"));
        }
        QCOMPARE(TempTree::read(app.paths.AutoBackupFolder + sep() + stamped), app.data);
        // The caller's folder, and a name trimmed of its blanks.
        const QString mine = app.tree.makeFolder(QStringLiteral("mine"));
        ScriptedPrompter prompter;
        QVERIFY(runAutoBackup(app.paths, mine, QStringLiteral("  nightly "), now, prompter));
        QCOMPARE(TempTree::read(mine + sep() + QStringLiteral("nightly.ZIP")), app.data);
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
        QVERIFY(prompter.log.isEmpty()); // never "备份出错…"
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
