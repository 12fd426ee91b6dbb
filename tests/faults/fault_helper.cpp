// Runs one backup or restore exactly as the windows do, in a process of its own that the fault tests can kill,
// starve of disk or cut the power under. Answers every question with Yes and prints what the operator would see.
//
//   fault_helper backup  APP_FOLDER FOLDER_TEXT NAME
//   fault_helper restore APP_FOLDER NAME
//
// Environment: FAULT_KILL_STEP / FAULT_SHUTDOWN_STEP name a copy step (created, wrote, flushed, renamed,
// folder-flushed) at which the process kills itself or shuts the file system at FAULT_SHUTDOWN_MOUNT down;
// FAULT_STEP_INDEX picks the Nth time the step is reached (for "wrote", the Nth chunk); FAULT_FSIZE limits the
// size of any file the process writes.
#include "core/backup/BackupOperation.h"
#include "core/restore/RestoreOperation.h"
#include "fs/fsys.h"

#include <QByteArray>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

void say(const char* kind, QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
    std::printf("%s: %s\n", kind, text.toUtf8().constData());
    std::fflush(stdout);
}

struct YesPrompter : Prompter
{
    bool askYesNo(const QString& question) override { return say("ask", question), true; }
    void setBusy(bool) override { }
};

void armFaults()
{
    const QByteArray kill = qgetenv("FAULT_KILL_STEP");
    const QByteArray step = kill.isEmpty() ? qgetenv("FAULT_SHUTDOWN_STEP") : kill;
    const QStringList names = {QStringLiteral("created"), QStringLiteral("wrote"), QStringLiteral("flushed"),
                               QStringLiteral("renamed"), QStringLiteral("folder-flushed")};
    const auto target = static_cast<fsys::CopyStep>(names.indexOf(QString::fromLatin1(step)));
    if (step.isEmpty())
        return;
    const int index = qEnvironmentVariableIntValue("FAULT_STEP_INDEX");
    // No flush of the log first: as if the power went at this moment.
    const std::string shutdown = "xfs_io -x -c shutdown '" + qgetenv("FAULT_SHUTDOWN_MOUNT").toStdString() + "'";
    auto seen = std::make_shared<int>(0);
    fsys::testing::setStepHook([=](fsys::CopyStep at, const fsys::Path&) {
        if (at == target && (*seen)++ == index
            && (!kill.isEmpty() ? std::raise(SIGKILL) : std::system(shutdown.c_str())))
            std::fprintf(stderr, "the fault could not be made\n");
        return std::error_code {};
    });
}

} // namespace

int main(int argc, char** argv)
{
    const QString mode = QString::fromLatin1(argc > 1 ? argv[1] : "");
    if ((mode != QLatin1String("backup") || argc < 5) && (mode != QLatin1String("restore") || argc < 4)) {
        std::fprintf(stderr, "usage: fault_helper backup APP FOLDER NAME | restore APP NAME\n");
        return 2;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    if (const QByteArray limit = qgetenv("FAULT_FSIZE"); !limit.isEmpty()) {
        const rlimit fsize {limit.toULongLong(), limit.toULongLong()};
        setrlimit(RLIMIT_FSIZE, &fsize);
    }
    armFaults();

    const ProgramPaths paths = ProgramPaths::forFolder(QString::fromUtf8(argv[2]));
    YesPrompter prompter;
    const bool backup = mode == QLatin1String("backup");
    const Outcome outcome = backup
        ? runManualBackup(paths, QString::fromUtf8(argv[3]), QString::fromUtf8(argv[4]), prompter)
        : runRestore(paths, QString::fromUtf8(argv[3]), prompter);
    const bool replaced = outcome.result.value_or(false);
    if (!backup && replaced)
        std::puts("hide");
    if (!outcome.text.isEmpty())
        say("message", outcome.text);
    if (backup)
        std::printf("result: %s\n", !outcome.result ? "unchanged" : replaced ? "true" : "false");
    else
        std::printf("result: %s\n", replaced ? "restored" : "not restored");
    return 0;
}
