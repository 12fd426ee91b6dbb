// Backups and restores under real faults, as one table: each fault is tried on the scenarios it applies to (a new
// backup, a backup over an existing one, a restore) in a helper process that is killed, starved of disk or of file
// size, cut off from power, refused, or handed bad input. Linux, as root: the faults need mounts and chattr.
//
// Every trial checks the same: the target is absent, old or new, and whole; nothing else under the application
// folder changed, decoys included; nothing appeared but the target and, when the process died, our own temporary
// files; and the helper printed what the operator must see. The figures of each fault go to the summary file.
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <unistd.h>

namespace {

// Shell commands run in the root folder, and the tables' paths are relative to it: the application folder "app",
// the copies of its data file and old backup that fill it, the helper's output and, for power cuts, the disk image.
const std::string kRoot = "/var/tmp/datamaint-faults-" + std::to_string(getpid());

// Runs a command in the root folder, quietly. A command killed by signal N gives 128 + N, as in the shell.
int sh(const std::string& command)
{
    const std::string script = "exec >/dev/null 2>&1; mkdir -p " + kRoot + " && cd " + kRoot + " || exit\n" + command;
    return WEXITSTATUS(std::system((script + "\nexit $?").c_str()));
}

// Takes down whatever a trial built: its mounts, attributes and files.
const std::string kClear = "while umount app || umount -l app; do :; done; chattr -R -i app; rm -rf app; mkdir app";
// The application folder with its data file, an old backup and decoys that nothing may touch, all on disk so that a
// power cut finds them.
const std::string kPopulate = "mkdir app/BACKUP; cp data app/data1.vzd; cp backup app/BACKUP/old.ZIP\n"
                              "for f in tmp data1.vzd.bak .dotfile; do echo >app/$f; echo >app/BACKUP/$f; done\n"
                              "sync -f app";

// Every entry under the application folder: files by inode, size and change time, which any write, rename or
// attribute change moves on; folders by inode only, since entries come and go in them. Our temporary files are counted.
std::pair<std::map<std::string, std::string>, int> snapshot()
{
    sh(R"(find app -name '~datamaint.*.tmp' -printf '%p\tours\n' -o -type d -printf '%p\tfolder %i\n' )"
       R"(-o -printf '%p\t%i %s %C@\n' >list)");
    std::map<std::string, std::string> found;
    std::ifstream list(kRoot + "/list");
    for (std::string path, facts; std::getline(list, path, '\t') && std::getline(list, facts);)
        found[path] = facts;
    const auto temporaries = std::erase_if(found, [](const auto& entry) { return entry.second == "ours"; });
    return {found, static_cast<int>(temporaries)};
}

enum Scenario { NewBackup, ExistingBackup, Restore };
const std::vector<Scenario> kEach = {NewBackup, ExistingBackup, Restore}, kNew = {NewBackup}, kOld = {ExistingBackup};
// What the target may hold afterwards: what it held before (old bytes or nothing), the source's bytes, or either;
// in words that name the states allowed.
enum Expect { Before, After, Either };
const std::string kAllowed[] = {"old or absent", "new", "old, absent or new"};
// What the test itself does to the helper, beyond the faults armed through its environment.
enum Strike { Nothing, SelfKill, KillAtRandom, TermAtRandom, PowerCut };

// The lines the helper must print: none in particular, or the backup's and the restore's own.
enum Said { Anything, Failed, Succeeded, Wildcard, DotName };
const std::string kLines[][2] = {{"", ""},
                                 {"message: 备份出错，请退出系统再进入一次进行备份", "message: 恢复文件失败"},
                                 {"message: 备份成功", "message: 恢复文件成功"},
                                 {"message: 备份文件名不能包含通配符 * 或 ?"},
                                 {"message: 备份文件名不能以 . 开头"}};
const std::string kNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups"; // root ignores permissions

struct Fault
{
    Strike strike;
    // The test's name, the summary's words; shell: what the fault needs, what it does before the files are written
    // and after the run.
    std::string name, what, needs = "", mount = "", after = "";
    friend void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }
};

const std::vector<Fault> kFaults = {
    {SelfKill, "KillAtStep", "SIGKILL at each named step of the 3 scenarios"},
    {KillAtRandom, "KillAtRandom", "SIGKILL at 20 random moments of each of the 3 scenarios"},
    {TermAtRandom, "TermAtRandom", "SIGTERM at 20 random moments of each of the 3 scenarios"},
    {Nothing, "DiskFull", "disk full in the 3 scenarios, reported as failed", "mount -t tmpfs tmpfs app && umount app",
     "mount -t tmpfs -o size=50m tmpfs app"},
    {Nothing, "FileSizeLimit", "file-size limit in the 3 scenarios, reported as failed"},
    {PowerCut, "PowerCut", "power cut (XFS shut down without flushing its log, then remounted) in the 3 scenarios",
     "mount -t tmpfs tmpfs app && umount app && command -v mkfs.xfs xfs_io && losetup -f",
     "truncate -s 320M xfs.img && mkfs.xfs -q -f xfs.img && mount -o loop xfs.img app",
     // The power must really have gone: nothing can be written until the remount replays the log.
     "xfs_io -x -c shutdown app; ! touch app/probe && umount app && mount -o loop xfs.img app"},
    {Nothing, "ReadOnly", "read-only places, each refused", "mount -t tmpfs tmpfs app && umount app"},
    {Nothing, "BadInput", "bad input to a new backup, each with its message"},
};

struct Case
{
    std::string fault, what, with; // with: the helper's FAULT_* settings, or an unprivileged user
    std::vector<Scenario> scenarios;
    Expect expect;
    Said said = Anything;
    std::string setup = "", folder = "app/BACKUP"; // shell after the files are written; the backup folder
    std::optional<std::string> name = {}; // the backup's name; "new" or "old" after the scenario by default
};

const std::vector<Case> kCases = {
    {"KillAtStep", "after create", "FAULT_KILL_STEP=created", kEach, Before},
    // After the second of the copy's three chunks.
    {"KillAtStep", "mid-copy", "FAULT_KILL_STEP=wrote FAULT_STEP_INDEX=1", kEach, Before},
    {"KillAtStep", "after flush", "FAULT_KILL_STEP=flushed", kEach, Before},
    {"KillAtStep", "after rename", "FAULT_KILL_STEP=renamed", kEach, After},
    {"KillAtStep", "after the folder flush", "FAULT_KILL_STEP=folder-flushed", kEach, After},
    {"KillAtRandom", "any moment", "", kEach, Either},
    {"TermAtRandom", "any moment", "", kEach, Either},
    {"DiskFull", "50 MiB tmpfs holding the application folder", "", kEach, Before, Failed},
    {"FileSizeLimit", "RLIMIT_FSIZE of 1 MiB", "FAULT_FSIZE=1048576", kEach, Before, Failed},
    {"PowerCut", "after create", "FAULT_SHUTDOWN_STEP=created", kEach, Before},
    {"PowerCut", "after writing", "FAULT_SHUTDOWN_STEP=wrote", kEach, Before},
    {"PowerCut", "after flush", "FAULT_SHUTDOWN_STEP=flushed", kEach, Before},
    {"PowerCut", "after rename", "FAULT_SHUTDOWN_STEP=renamed", kEach, Either},
    {"PowerCut", "after the folder flush", "FAULT_SHUTDOWN_STEP=folder-flushed", kEach, After},
    {"PowerCut", "after success", "", kEach, After, Succeeded},
    {"ReadOnly", "immutable backup", "", kOld, Before, Failed, "chattr +i app/BACKUP/old.ZIP"},
    {"ReadOnly", "immutable folder", "", kNew, Before, Failed, "chattr +i app/BACKUP"},
    {"ReadOnly", "read-only bind mount", "", {Restore}, Before, Failed, "mount --bind -o ro app app"},
    {"ReadOnly", "unreadable data file", kNobody, kOld, Before, Failed, "chmod 0 app/data1.vzd; chmod 777 app/BACKUP"},
    {"BadInput", "name with *", "", kNew, Before, Wildcard, "", "app/BACKUP", "a*"},
    {"BadInput", "name with ?", "", kNew, Before, Wildcard, "", "app/BACKUP", "a?"},
    {"BadInput", "name with a separator", "", kNew, Before, Failed, "", "app/BACKUP", "sub/x"},
    {"BadInput", "300-character name", "", kNew, Before, Failed, "", "app/BACKUP", std::string(300, 'n')},
    {"BadInput", "control characters (legal on Linux)", "", kNew, After, Succeeded, "", "app/BACKUP", "a\x01\x1f"},
    // ".ZIP" would be hidden on Linux, and a hidden backup is never found again.
    {"BadInput", "empty name", "", kNew, Before, DotName, "", "app/BACKUP", ""},
    {"BadInput", "data file a pipe", "", kNew, Before, Failed, "rm app/data1.vzd && mkfifo app/data1.vzd"},
    {"BadInput", "missing folder", "", kNew, Before, Failed, "", "app/missing"},
    {"BadInput", "a file as folder", "", kNew, Before, Failed, "", "app/data1.vzd"},
    {"BadInput", "unreadable folder", kNobody, kNew, Before, Failed, "mkdir -m 000 app/locked", "app/locked"},
    {"BadInput", "read-only folder", kNobody, kNew, Before, Failed, "mkdir -m 555 app/locked", "app/locked"},
    // A file passes the folder test, so the backup goes into the folder named.
    {"BadInput", "BACKUP as a file", "", kNew, After, Succeeded, "rm -r app/BACKUP && echo >app/BACKUP", "app"},
    {"BadInput", "data file missing", "", kNew, Before, Failed, "rm app/data1.vzd"},
    {"BadInput", "data file a folder", "", kNew, Before, Failed, "rm app/data1.vzd && mkdir app/data1.vzd"},
    {"BadInput", "data file empty", "", kNew, After, Succeeded, ": >app/data1.vzd"},
    {"BadInput", "data file over 4 GiB (sparse)", "", kNew, After, Succeeded, "truncate -s 4100M app/data1.vzd"},
};

struct Faults : testing::TestWithParam<Fault>
{
    void TearDown() override { sh(kClear + "\nrm -rf \"$PWD\""); }
};

TEST_P(Faults, Hold)
{
    const Fault& fault = GetParam();
    if (geteuid() != 0 || sh(kClear + "\n" + fault.needs) != 0)
        GTEST_SKIP() << "needs root" << (fault.needs.empty() ? "" : " and: " + fault.needs);
    // 20 MiB take three chunks of the copy, so that a kill after the second is mid-copy.
    writeBytes(kRoot + "/data", sampleBytes(20u << 20, 1));
    writeBytes(kRoot + "/backup", sampleBytes((20u << 20) + 4099, 2));
    std::mt19937 random(20261206);
    long took = 0; // microseconds of an undisturbed run
    std::map<std::string, int> seen; // trials, their outcomes, temporary files left and successes reported
    std::string variants;
    for (const Case& c : kCases) {
        if (c.fault != fault.name)
            continue;
        variants += (variants.empty() ? "" : ", ") + c.what + (c.with == kNobody ? " (unprivileged)" : "") + ": "
            + kAllowed[c.expect];
        for (const Scenario scenario : c.scenarios)
            // Random kills fall within one and a half undisturbed runs, which run 0 measures.
            for (int repeat = 0; repeat <= (fault.strike == KillAtRandom || fault.strike == TermAtRandom ? 20 : 0);
                 ++repeat) {
                const std::string name = c.name.value_or(scenario == NewBackup ? "new" : "old");
                const std::string target = scenario == Restore ? "app/data1.vzd" : c.folder + "/" + name + ".ZIP";
                ASSERT_EQ(sh(kClear + "\nset -e\n" + fault.mount + "\n" + kPopulate + "\n" + c.setup), 0) << c.setup;
                auto before = snapshot().first;
                const long killAfter = repeat > 0 ? std::uniform_int_distribution<long>(1, took * 3 / 2)(random) : 0;
                const auto started = std::chrono::steady_clock::now();
                const std::string args = scenario == Restore ? "restore $PWD/app old.ZIP"
                                                             : "backup $PWD/app $PWD/" + c.folder + " '" + name + "'";
                // The row's settings come after the defaults, so they win.
                const bool killed
                    = sh(std::string("timeout --preserve-status -s ")
                         + (fault.strike == TermAtRandom ? "TERM " : "KILL ") + std::to_string(killAfter / 1e6)
                         + " env FAULT_STEP_INDEX=0 FAULT_SHUTDOWN_MOUNT=$PWD/app " + c.with + " " FAULT_HELPER " "
                         + args + " >out")
                    == 137; // death by SIGKILL, as the shell reports it
                if (fault.strike != SelfKill && repeat == 0 && c.fault.ends_with("AtRandom")) {
                    took = (std::chrono::steady_clock::now() - started) / std::chrono::microseconds(1);
                    continue;
                }
                const std::string output = readBytes(kRoot + "/out");
                ASSERT_EQ(sh(fault.after), 0) << c.what << ": " << fault.after;
                auto [after, left] = snapshot();
                const std::string state = after[target] == before[target] ? (before[target].empty() ? "absent" : "old")
                    : sh("cmp '" + target + "' app/" + (scenario == Restore ? "BACKUP/old.ZIP" : "data1.vzd")) == 0
                    ? "new"
                    : "torn";
                const auto said = [&](Said s) { return output.find(kLines[s][scenario == Restore]) != output.npos; };
                EXPECT_TRUE(kAllowed[c.expect].find(state) != state.npos && said(c.said)
                            && (state == "new" || !said(Succeeded)) && (killed || fault.strike != SelfKill)
                            && (left == 0 || killed || fault.strike == PowerCut))
                    << c.what << ", " << args << ": " << state << (killed ? ", killed, " : ", ") << left
                    << " temporary files left; " << output;
                before.erase(target), after.erase(target);
                EXPECT_EQ(after, before) << c.what << ", " << args;
                ++seen["trials"], ++seen[state], seen["temporaries"] += left, seen["successes"] += said(Succeeded);
            }
    }
    // A failed run still gives its figures, but not as a claim.
    std::ofstream(FAULT_SUMMARY, std::ios::app)
        << (HasFailure() ? "FAILED: " : "") << fault.what << " (" << variants << "): " << seen["trials"]
        << " trials; old " << seen["old"] << ", absent " << seen["absent"] << ", new " << seen["new"] << ", torn "
        << seen["torn"] << "; " << seen["temporaries"] << " temporary files left, all ours; " << seen["successes"]
        << " reported success, all new; nothing else changed\n";
}

INSTANTIATE_TEST_SUITE_P(Table, Faults, testing::ValuesIn(kFaults), [](const auto& row) { return row.param.name; });

} // namespace
