// The program's operations timed inside a running process, as the operator meets them (the program is already
// started), for bench.sh to set against the tools a user would otherwise use. Prints the median milliseconds of
// RUNS runs after one warm-up run.
//
//   datamaint_bench RUNS backup APP_FOLDER NAME    back up APP_FOLDER/data1.vzd to APP_FOLDER/BACKUP/NAME.ZIP
//   datamaint_bench RUNS restore APP_FOLDER NAME   restore APP_FOLDER/BACKUP/NAME over APP_FOLDER/data1.vzd
//   datamaint_bench RUNS list FOLDER               list the backups of FOLDER
//   datamaint_bench startup                        start the program's menu and quit as soon as it is shown
//   datamaint_bench gap backup|restore APP NAME    the longest stall of the window's thread during one copy (ms)
#include "core/backup/BackupOperation.h"
#include "core/restore/RestoreOperation.h"
#include "ui/backup/Backup.h"
#include "ui/common/WindowCopyRunner.h"
#include "ui/restore/Restore.h"
#include "ui/shell/Application.h"
#include "ui/shell/Dialog.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Answers Yes to every question.
class Yes : public Prompter
{
public:
    bool askYesNo(const QString&) override { return true; }
    void setBusy(bool) override { }
};

} // namespace

double medianMs(int runs, const std::function<bool()>& operation)
{
    if (!operation())
        return -1;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!operation())
            return -1;
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The longest time the window's thread went without running its 10 ms timer during one backup or restore.
int longestGap(int argc, char** argv)
{
    Application app(argc, argv);
    const bool backup = std::strcmp(argv[2], "backup") == 0;
    // The windows the operator has open when a copy starts, so that fonts, icons and plugins are loaded as they are
    // then: the menu and the backup or restore window over it.
    Dialog menu(QString::fromUtf8(argv[3]));
    menu.show();
    std::unique_ptr<QWidget> window;
    if (backup)
        window = std::make_unique<Backup>();
    else
        window = std::make_unique<Restore>();
    window->show();
    QCoreApplication::processEvents();
    Yes prompter;
    // The window's own runner: the copy runs on a thread of its own, behind the progress window.
    WindowCopyRunner runner;
    const ProgramPaths paths = ProgramPaths::forFolder(QString::fromUtf8(argv[3]));
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start(10);
    const QString name = QString::fromUtf8(argv[4]);
    const Outcome outcome = backup ? runManualBackup(paths, paths.BackupFolder, name, prompter, runner)
                                   : runRestore(paths, paths.BackupFolder, name, prompter, runner);
    longest = std::max(longest, clock.elapsed() - last);
    std::printf("%lld\n", static_cast<long long>(longest));
    return outcome.result.value_or(false) ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "gap") == 0)
        return longestGap(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "startup") == 0) {
        Application app(argc, argv);
        Dialog menu;
        menu.show();
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
        return app.exec();
    }
    if (argc < 4)
        return 2;
    const int runs = std::atoi(argv[1]);
    const char* mode = argv[2];
    const QString folder = QString::fromUtf8(argv[3]);
    const ProgramPaths paths = ProgramPaths::forFolder(folder);
    const QString name = argc >= 5 ? QString::fromUtf8(argv[4]) : QString();
    std::function<bool()> operation;
    if (std::strcmp(mode, "list") == 0) {
        operation = [&] { return !listBackups(folder).isEmpty(); };
    } else if (std::strcmp(mode, "backup") == 0) {
        operation = [&] {
            Yes yes;
            InlineCopyRunner runner;
            return runManualBackup(paths, paths.BackupFolder, name, yes, runner).result.value_or(false);
        };
    } else if (std::strcmp(mode, "restore") == 0) {
        operation = [&] {
            Yes yes;
            InlineCopyRunner runner;
            return runRestore(paths, paths.BackupFolder, name, yes, runner).result.value_or(false);
        };
    } else {
        return 2;
    }
    const double ms = medianMs(runs, operation);
    if (ms < 0) {
        std::fprintf(stderr, "the operation failed\n");
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}
