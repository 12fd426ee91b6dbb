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
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

namespace {

class YesPrompter : public Prompter
{
public:
    bool askYesNo(const QString& question) override { return say("ask", question), true; }
    void setBusy(bool) override { }

    static void say(const char* kind, QString text)
    {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
        std::printf("%s: %s\n", kind, text.toUtf8().constData());
        std::fflush(stdout);
    }
};

fsys::CopyStep stepNamed(const std::string& name)
{
    if (name == "created")
        return fsys::CopyStep::Created;
    if (name == "wrote")
        return fsys::CopyStep::Wrote;
    if (name == "flushed")
        return fsys::CopyStep::Flushed;
    if (name == "renamed")
        return fsys::CopyStep::Renamed;
    if (name == "folder-flushed")
        return fsys::CopyStep::FolderFlushed;
    std::fprintf(stderr, "unknown step %s\n", name.c_str());
    std::exit(2);
}

void armFaults()
{
    const QByteArray kill = qgetenv("FAULT_KILL_STEP");
    const QByteArray shutdown = qgetenv("FAULT_SHUTDOWN_STEP");
    if (kill.isEmpty() && shutdown.isEmpty())
        return;
    const bool killing = !kill.isEmpty();
    const fsys::CopyStep target = stepNamed((killing ? kill : shutdown).toStdString());
    const int index = qEnvironmentVariableIntValue("FAULT_STEP_INDEX");
    const std::string mount = qgetenv("FAULT_SHUTDOWN_MOUNT").toStdString();
    auto seen = std::make_shared<int>(0);
    fsys::testing::setStepHook([=](fsys::CopyStep step, const fsys::Path&) {
        if (step != target || (*seen)++ != index)
            return std::error_code {};
        if (killing)
            std::raise(SIGKILL);
        // No flush of the log first: as if the power went at this moment.
        const std::string command = "xfs_io -x -c shutdown '" + mount + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "shutdown failed\n");
        return std::error_code {};
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: fault_helper backup APP FOLDER NAME | restore APP NAME\n");
        return 2;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    if (const QByteArray limit = qgetenv("FAULT_FSIZE"); !limit.isEmpty()) {
        const rlim_t bytes = std::strtoull(limit.constData(), nullptr, 10);
        const rlimit fsize {bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &fsize);
    }
    armFaults();

    const std::string mode = argv[1];
    const ProgramPaths paths = ProgramPaths::forFolder(QString::fromUtf8(argv[2]));
    YesPrompter prompter;
    if (mode == "backup" && argc >= 5) {
        const Outcome outcome
            = runManualBackup(paths, QString::fromUtf8(argv[3]), QString::fromUtf8(argv[4]), prompter);
        if (!outcome.text.isEmpty())
            YesPrompter::say("message", outcome.text);
        std::printf("result: %s\n", !outcome.result ? "unchanged" : *outcome.result ? "true" : "false");
    } else if (mode == "restore") {
        const Outcome outcome = runRestore(paths, QString::fromUtf8(argv[3]), prompter);
        const bool restored = outcome.result.value_or(false);
        if (restored)
            std::puts("hide");
        if (!outcome.text.isEmpty())
            YesPrompter::say("message", outcome.text);
        std::printf("result: %s\n", restored ? "restored" : "not restored");
    } else {
        return 2;
    }
    return 0;
}
