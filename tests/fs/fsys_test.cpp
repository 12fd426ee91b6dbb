// The file-system layer against real files: what the tests and a listing say of each kind of entry, and the copy
// that replaces a file, with faults, stops and exceptions at each of its steps, hostile targets, sources and
// kernels, the permissions of its result, and the temporary files of live, stopped and killed copies.
#include "fs/fsys.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <map>

namespace fs = std::filesystem;
using fsys::Operation;
using fsys::Path;
using fsys::detail::utf8;
using Make = std::function<void(const Path&)>;

// A leading dot hides a name on POSIX; Windows needs the attribute too. System files are pipes on POSIX.
#ifdef _WIN32
#include <windows.h>

void addAttribute(const Path& path, DWORD attribute)
{
    ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | attribute);
}
const Make hide = [](const Path& path) {
    if (utf8(path.filename()).starts_with('.'))
        addAttribute(path, FILE_ATTRIBUTE_HIDDEN);
};
const Make systemFile = [](const Path& path) {
    writeBytes(path, "x");
    addAttribute(path, FILE_ATTRIBUTE_SYSTEM);
};
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

const Make hide = [](const Path&) {};
const Make systemFile = [](const Path& path) { ::mkfifo(path.c_str(), 0600); };
Make linkTo(const Path& to)
{
    return [=](const Path& path) { fs::create_symlink(path.parent_path() / to, path); };
}

// When set, what the kernel answers the next call of the copy: a file system without sendfile (EINVAL, ENOSYS) or
// without locks (ENOLCK), an interrupted call (EINTR), a failing disk (EIO) or a full one (ENOSPC, EDQUOT, EFBIG).
int sendfileErrno = 0;
int readErrno = 0;
int writeErrno = 0;
int flockErrno = 0;
long failOnce(int& error)
{
    errno = std::exchange(error, 0);
    return -1;
}
extern "C" ssize_t sendfile(int out, int in, off_t* at, size_t size)
{
    return sendfileErrno ? failOnce(sendfileErrno) : ::syscall(SYS_sendfile, out, in, at, size);
}
extern "C" ssize_t read(int fd, void* data, size_t size)
{
    return readErrno ? failOnce(readErrno) : ::syscall(SYS_read, fd, data, size);
}
extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    return writeErrno ? failOnce(writeErrno) : ::syscall(SYS_write, fd, data, size);
}
// Every lock fails while set: a file system that has none. (The function shares its name with fcntl's struct.)
#pragma GCC diagnostic ignored "-Wshadow"
extern "C" int flock(int fd, int operation)
{
    if (flockErrno) {
        errno = flockErrno;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}
#endif

namespace {

std::error_code ignored; // of clean-ups, and of changes Windows refuses while a file is open
constexpr bool kPosix = Path::preferred_separator == '/';

Make bytes(const std::string& text)
{
    return [=](const Path& path) {
        writeBytes(path, text);
        hide(path);
    };
}
const Make none = [](const Path&) {};
const Make file = bytes("x");
const Make old = bytes("old");
const Make folder = [](const Path& path) {
    fs::create_directory(path);
    hide(path);
};
const Make readOnly = [](const Path& path) {
    writeBytes(path, "");
    fs::permissions(path, fs::perms::owner_read);
};
// Three megabytes, last written an hour ago so that any change shows in the time stamp.
const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
const Make sample = [](const Path& path) {
    writeBytes(path, sampleBytes(3u << 20, 3));
    fs::last_write_time(path, past);
};

// What failed, or nothing for a copy that succeeded.
std::optional<Operation> failure(const fsys::Error& error)
{
    if (!error)
        return std::nullopt;
    return error.operation;
}

// The bytes of an ordinary file, "<absent>", or "<other>": a folder cannot be read and a pipe would block.
std::string state(const Path& path)
{
    if (fs::exists(path) && !fs::is_regular_file(path))
        return "<other>";
    return readBytes(path);
}

struct Folder : testing::Test
{
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { fs::remove_all(root, ignored); }

    // The temporary files of ours left in the folder.
    int temporaries() const
    {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(root))
            count += fsys::isTemporaryName(entry.path().filename());
        return count;
    }

    const Path root = fs::temp_directory_path() / ("fsys-" + std::to_string(fsys::detail::randomBits()));
    const Path data = root / "data1.vzd";
    const Path backup = root / u8"备份.ZIP";
};

// Each kind of entry, made in this order or only asked about, by what the two tests say of it: an ordinary file
// passes both, a folder only the folder test, anything else neither. Only the last name counts; a trailing
// separator asks about what a folder holds; wildcards are never expanded. A listing reports what was made there.
struct Kind
{
    Path name;
    Make make;
    fsys::EntryKind kind;
};

TEST_F(Folder, KindsOfEntries)
{
    using enum fsys::EntryKind;
    std::vector<Kind> kinds = {
        {"BACKUP", folder, Folder},
        {".hiddenfolder", folder, Other},
        {"a.ZIP", file, OrdinaryFile},
        {u8"备份.ZIP", file, OrdinaryFile},
        {"empty, read-only.ZIP", readOnly, OrdinaryFile},
        {".hidden.ZIP", file, Other},
        {"pipe.ZIP", systemFile, Other},
        {".hiddenfolder/in.ZIP", file, OrdinaryFile},
        {"BACKUP/", {}, Folder},
        {"..", {}, Folder},
        {"missing", {}, Other},
        {"*.ZIP", {}, Other},
        {" a.ZIP", {}, Other},
    };
#ifndef _WIN32
    kinds.push_back({"link.ZIP", linkTo("a.ZIP"), OrdinaryFile});
    kinds.push_back({"dead", linkTo("gone"), Other});
#endif
    std::map<std::string, fsys::EntryKind> made;
    for (const Kind& entry : kinds) {
        SCOPED_TRACE(utf8(entry.name));
        if (entry.make)
            entry.make(root / entry.name);
        if (entry.make && !entry.name.has_parent_path())
            made[utf8(entry.name)] = entry.kind;
        EXPECT_EQ(fsys::folderTest(root / entry.name), entry.kind != Other);
        EXPECT_EQ(fsys::fileTest(root / entry.name), entry.kind == OrdinaryFile);
    }
    EXPECT_FALSE(fsys::folderTest({}));
    EXPECT_FALSE(fsys::fileTest({}));

    std::map<std::string, fsys::EntryKind> listed;
    std::error_code error = std::make_error_code(std::errc::io_error); // what an earlier listing left
    for (const auto& entry : fsys::listFolder(root, error))
        listed[utf8(entry.name)] = entry.kind;
    EXPECT_FALSE(error);
    EXPECT_EQ(listed, made);
    EXPECT_TRUE(fsys::listFolder(root / "missing", error).empty());
    EXPECT_TRUE(error);

    // One level at a time, and only where nothing is yet.
    EXPECT_FALSE(fsys::makeFolder(root / "new"));
    EXPECT_TRUE(fsys::makeFolder(root / "new"));
    EXPECT_TRUE(fsys::makeFolder(root / "a" / "b"));
    EXPECT_TRUE(fsys::fileTest(fsys::executableFolder() / (kPosix ? "fsys_test" : "fsys_test.exe")));
}

// Names by their letters: the platform's own "*.ZIP" would also match "a.zipx" through its short name, and only the
// exact shape of our temporary names may ever be swept.
TEST(Names, ExtensionsAndTemporaries)
{
    const std::tuple<Path, std::string_view, bool> extensions[] = {
        {"b.ZIP", ".zip", true},   {"c.zip", ".ZIP", true},      {".zip", ".zip", true},
        {"a.zipx", ".zip", false}, {"e.zip.bak", ".zip", false}, {"zip", ".zip", false},
    };
    for (const auto& [name, extension, matches] : extensions)
        EXPECT_EQ(fsys::hasExtension(name, extension), matches) << name;

    const std::pair<std::string, bool> temporaries[] = {
        {"~datamaint.0123456789abcdef.tmp", true},
        {"~datamaint.0123456789ABCDEF.tmp", false},
        {"~datamaint.0123456789abcde.tmp", false},
        {"~datamaint.notes.tmp", false},
        {"~datamaint..tmp", false},
        {"a long backup.ZIP", false},
    };
    for (const auto& [name, ours] : temporaries)
        EXPECT_EQ(fsys::isTemporaryName(name), ours) << name;
}

// Copies from a source over a target, each made first, in a folder under a Chinese name: a failure names its
// operation and leaves the target as it was, a success leaves the source's bytes; no temporary file is left.
struct Copy
{
    std::string name;
    Make source;
    Make target;
    Path targetName;
    std::optional<Operation> fails = {};
    std::errc code = {};
    friend void PrintTo(const Copy& row, std::ostream* out) { *out << row.name; }
};

struct Copies : Folder, testing::WithParamInterface<Copy>
{
};

TEST_P(Copies, EndWholeOrNotAtAll)
{
    const Copy& c = GetParam();
    const Path to = root / c.targetName;
    c.source(data);
    c.target(to);
    const std::string before = state(to);
    const auto error = fsys::copyReplace({data, to});
    EXPECT_EQ(failure(error), c.fails);
    EXPECT_EQ(error.code, c.fails ? std::make_error_code(c.code) : std::error_code()) << error.describe();
    EXPECT_EQ(state(to), c.fails ? before : state(data));
    EXPECT_EQ(temporaries(), 0);
}

using enum std::errc;
std::vector<Copy> copies()
{
    std::vector<Copy> rows = {
        {"EmptySourceToNewFile", bytes(""), none, "new.ZIP"},
        {"SeveralChunksOverOld", bytes(sampleBytes(17u << 20, 17)), old, u8"2026年12月06日备份.ZIP"},
        {"OverFolder", sample, folder, "x.ZIP", Operation::Replace, permission_denied},
        {"OverSystemFile", sample, systemFile, "x.ZIP", Operation::Replace, permission_denied},
        {"OverHiddenFile", sample, old, ".x.ZIP", Operation::Replace, permission_denied},
        // No write bit at all is read-only for root too.
        {"OverReadOnly", sample, readOnly, "x.ZIP", Operation::Replace, permission_denied},
        {"IntoMissingFolder", sample, none, "missing/x.ZIP", Operation::Create, no_such_file_or_directory},
        {"MissingSource", none, none, "x.ZIP", Operation::Open, no_such_file_or_directory},
        {"SourceFolder", folder, none, "x.ZIP", Operation::Open, kPosix ? is_a_directory : permission_denied},
    };
#ifndef _WIN32
    // Waiting for a writer would hang; Windows copies a file with the system attribute like any other.
    rows.push_back({"SourcePipe", systemFile, none, "x.ZIP", Operation::Open, invalid_argument});
    rows.push_back({"OverDeadLink", sample, linkTo("nowhere"), "x.ZIP", Operation::Replace, no_such_file_or_directory});
#endif
    return rows;
}
INSTANTIATE_TEST_SUITE_P(Table, Copies, testing::ValuesIn(copies()), [](const auto& row) { return row.param.name; });

// At each step of a copy the hook fails it, stops it, or throws. Before the rename each ends the copy with the
// target as it was and no temporary file; from the rename on the copy has succeeded, and a stop is refused.
struct Step
{
    std::string name;
    fsys::CopyStep step;
    std::optional<Operation> failsAs = {}; // none: the rename has happened
    friend void PrintTo(const Step& row, std::ostream* out) { *out << row.name; }
};

struct Steps : Folder, testing::WithParamInterface<Step>
{
    // Copies the sample over an old backup with the hook acting at the row's step.
    fsys::Error copyActing(const std::function<std::error_code()>& act, fsys::CopyControl* control = nullptr)
    {
        sample(data);
        old(backup);
        return fsys::copyReplace(
            {data, backup, fsys::Permissions::OfSource,
             [&](fsys::CopyStep at, const Path&) { return at == GetParam().step ? act() : std::error_code(); }},
            control);
    }
    bool replaced() const { return state(backup) == state(data); }
};

TEST_P(Steps, FailStopOrThrow)
{
    const Step& row = GetParam();
    const bool renamed = !row.failsAs;
    const auto failed = copyActing([] { return std::make_error_code(io_error); });
    EXPECT_EQ(failure(failed), row.failsAs);
    EXPECT_EQ(replaced(), renamed);
    EXPECT_EQ(temporaries(), 0);

    fsys::CopyControl control;
    bool accepted = false;
    const auto stopped = copyActing(
        [&] {
            accepted = control.requestStop();
            return std::error_code();
        },
        &control);
    EXPECT_EQ(accepted, !renamed);
    EXPECT_EQ(failure(stopped), renamed ? std::nullopt : std::optional(Operation::Cancel));
    EXPECT_EQ(replaced(), renamed);
    EXPECT_EQ(temporaries(), 0);

    EXPECT_THROW(copyActing([]() -> std::error_code { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_EQ(replaced(), renamed);
    EXPECT_EQ(temporaries(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, Steps,
                         testing::Values(Step {"Created", fsys::CopyStep::Created, Operation::Create},
                                         Step {"Wrote", fsys::CopyStep::Wrote, Operation::Write},
                                         Step {"Flushed", fsys::CopyStep::Flushed, Operation::Flush},
                                         Step {"Renaming", fsys::CopyStep::Renaming, Operation::Rename},
                                         Step {"Renamed", fsys::CopyStep::Renamed},
                                         Step {"FolderFlushed", fsys::CopyStep::FolderFlushed}),
                         [](const auto& row) { return row.param.name; });

// Temporary files that no live copy holds are swept by the next copy into their folder; a held one stays, and so
// does everything that is not exactly a file of our name, which is never even opened.
TEST_F(Folder, SweepsOnlyStaleTemporaries)
{
    const Path stale = root / "~datamaint.0123456789abcdef.tmp";
    const Path held = root / "~datamaint.00000000000000aa.tmp";
    writeBytes(stale, "left by a killed copy");
    writeBytes(held, "a copy in progress");
    std::vector<Path> kept = {held, "~datamaint.notes.tmp", "~datamaint.00000000000000bb.tmp"};
    writeBytes(root / kept[1], "the operator's");
    fs::create_directory(root / kept[2]);
    writeBytes(data, "x");
    std::ifstream holding(held); // an open handle that shares no deletion on Windows; on POSIX the lock below
#ifndef _WIN32
    const int lock = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    kept.push_back("~datamaint.00000000000000cc.tmp");
    systemFile(root / kept.back());
    if (::geteuid() == 0) {
        kept.push_back("~datamaint.00000000000000dd.tmp");
        ::mknod((root / kept.back()).c_str(), S_IFCHR | 0600, ::makedev(1, 3));
    }
#endif
    // A sweep right before the rename, as by another copy into the same folder, leaves the live copy alone.
    const fsys::StepHook sweep = [&](fsys::CopyStep step, const Path&) {
        if (step == fsys::CopyStep::Renaming)
            fsys::detail::removeStaleTemporaries(root);
        return std::error_code();
    };
    EXPECT_EQ(failure(fsys::copyReplace({data, backup, fsys::Permissions::OfSource, sweep})), std::nullopt);
    EXPECT_FALSE(fs::exists(stale));
    for (const Path& name : kept)
        EXPECT_TRUE(fs::exists(root / name)) << name;
}

#ifndef _WIN32
// On a file system without locks a copy goes on unheld, and a sweep leaves alone what it cannot lock.
TEST_F(Folder, CopiesWithoutLocks)
{
    const Path stale = root / "~datamaint.0123456789abcdef.tmp";
    writeBytes(stale, "left by a killed copy");
    sample(data);
    flockErrno = ENOLCK;
    const auto error = fsys::copyReplace({data, backup});
    flockErrno = 0;
    EXPECT_EQ(failure(error), std::nullopt) << error.describe();
    EXPECT_EQ(state(backup), state(data));
    EXPECT_EQ(temporaries(), 1);
    EXPECT_TRUE(fs::exists(stale));
}

// SIGTERM in the middle of a copy still ends the process, and the temporary file goes with it.
TEST_F(Folder, SignalRemovesTheTemporary)
{
    sample(data);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60); // a copy that never ends must not outlive the test
        fsys::copyReplace({data, backup, fsys::Permissions::OfSource, [](auto, auto&) {
                               ::raise(SIGTERM);
                               return std::error_code();
                           }});
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(temporaries(), 0);
}

// Writers that change the source under the copy, even one that keeps its size and time (a store through a shared
// mapping, a coarse clock), fail it. Windows keeps writers out while the source is open.
TEST_F(Folder, SourceChangedWhileCopying)
{
    const std::pair<std::string, Make> changes[] = {
        {"grown", [](const Path& in) { std::ofstream(in, std::ios::app) << "more"; }},
        {"rewritten", [](const Path& in) { std::fstream(in, std::ios::in | std::ios::out) << "x"; }},
        {"replaced", [](const Path& in) { fs::rename(in.parent_path() / "new", in); }},
        {"sneaked",
         [](const Path& in) {
             std::fstream(in, std::ios::in | std::ios::out) << "x";
             fs::last_write_time(in, past);
         }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        sample(data);
        file(root / "new");
        old(backup);
        const auto error = fsys::copyReplace({data, backup, fsys::Permissions::OfSource, [&](auto step, auto&) {
                                                  if (step == fsys::CopyStep::Wrote)
                                                      change(data);
                                                  return std::error_code();
                                              }});
        EXPECT_EQ(failure(error), Operation::Changed);
        EXPECT_EQ(state(backup), "old");
    }
}

// What the kernel answers sendfile, then (where it is missing) read and write: missing, interrupted, failing to
// read or to write, full. Each is said so, and every byte is copied or none.
TEST_F(Folder, KernelAnswers)
{
    const std::tuple<int, int, int, std::optional<Operation>> answers[] = {
        {EINVAL, 0, 0, {}},
        {ENOSYS, 0, 0, {}},
        {EINTR, 0, 0, {}},
        {EIO, 0, 0, Operation::Read},
        {ENOSPC, 0, 0, Operation::Write},
        {EDQUOT, 0, 0, Operation::Write},
        {EFBIG, 0, 0, Operation::Write},
        {EINVAL, EINTR, 0, {}},
        {EINVAL, EIO, 0, Operation::Read},
        {EINVAL, 0, EFBIG, Operation::Write},
    };
    for (const auto& [sent, read, written, fails] : answers) {
        SCOPED_TRACE(testing::Message() << sent << " " << read << " " << written);
        sample(data);
        old(backup);
        const auto error = fsys::copyReplace({data, backup, fsys::Permissions::OfSource, [&](auto step, auto&) {
                                                  if (step == fsys::CopyStep::Created)
                                                      std::tie(sendfileErrno, readErrno, writeErrno)
                                                          = std::tie(sent, read, written);
                                                  return std::error_code();
                                              }});
        EXPECT_EQ(failure(error), fails);
        EXPECT_EQ(state(backup), fails ? "old" : state(data));
        EXPECT_EQ(temporaries(), 0);
    }
}

// A link is followed: the file it points to is replaced and the link stays.
TEST_F(Folder, ReplacesThroughALink)
{
    sample(data);
    old(root / "real.ZIP");
    linkTo("real.ZIP")(backup);
    EXPECT_EQ(failure(fsys::copyReplace({data, backup})), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(backup));
    EXPECT_EQ(state(root / "real.ZIP"), state(data));
}

// An access list of one named user who may read, the owning group shut out, and a mask: what ls shows as 0640.
std::string accessList(unsigned user)
{
    const std::pair<unsigned, unsigned> entries[] = {{0x01, 6}, {0x02, 4}, {0x04, 0}, {0x10, 4}, {0x20, 0}};
    std::string list = {2, 0, 0, 0};
    for (const auto& [tag, permissions] : entries) {
        const unsigned id = tag == 0x02 ? user : ~0u;
        const char entry[]
            = {char(tag), 0, char(permissions), 0, char(id), char(id >> 8), char(id >> 16), char(id >> 24)};
        list.append(entry, sizeof entry);
    }
    return list;
}

std::string attribute(const Path& path, const char* name)
{
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? std::string("<none>") : std::string(value, static_cast<std::size_t>(size));
}

unsigned modeOf(const Path& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : ~0u;
}

// A backup is never more open than the data file, nor than the backup it replaces; a restored data file keeps the
// replaced one's mode, group, access list and extended attributes.
TEST_F(Folder, PermissionsOfTheResult)
{
    ::umask(022);
    const std::tuple<unsigned, unsigned, fsys::Permissions, unsigned> modes[] = {
        {0600, 0, fsys::Permissions::OfSource, 0600},    {0640, 0, fsys::Permissions::OfSource, 0640},
        {0444, 0, fsys::Permissions::OfSource, 0644},    {0600, 0644, fsys::Permissions::OfSource, 0600},
        {0644, 0600, fsys::Permissions::OfSource, 0600}, {0600, 0660, fsys::Permissions::OfTarget, 0660},
    };
    for (const auto& [from, to, permissions, expected] : modes) {
        SCOPED_TRACE(testing::Message() << std::oct << from << " over " << to);
        fs::remove(backup, ignored);
        sample(data);
        fs::permissions(data, fs::perms(from));
        if (to) {
            old(backup);
            fs::permissions(backup, fs::perms(to));
        }
        EXPECT_EQ(failure(fsys::copyReplace({data, backup, permissions})), std::nullopt);
        EXPECT_EQ(modeOf(backup), expected);
    }

    const std::string list = accessList(12345);
    if (::setxattr(data.c_str(), "system.posix_acl_access", list.data(), list.size(), 0) != 0)
        GTEST_SKIP() << "no access lists on " << root;
    EXPECT_EQ(modeOf(data), 0640u);
    ::setxattr(data.c_str(), "user.origin", "books", 5, 0);
    fs::remove(backup);
    EXPECT_EQ(failure(fsys::copyReplace({data, backup})), std::nullopt);
    EXPECT_EQ(modeOf(backup), 0600u); // the group may not read the data, so it may not read the backup
    EXPECT_EQ(attribute(backup, "system.posix_acl_access"), "<none>");

    EXPECT_EQ(failure(fsys::copyReplace({backup, data, fsys::Permissions::OfTarget})), std::nullopt);
    EXPECT_EQ(modeOf(data), 0640u);
    EXPECT_EQ(attribute(data, "system.posix_acl_access"), list);
    EXPECT_EQ(attribute(data, "user.origin"), "books");
}

// An operator who owns the data file but is not in its group cannot give a restored file that group: the restore
// fails before the rename, and names the data file.
TEST_F(Folder, RestoreThatCannotKeepTheGroupFails)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a data file of another user in a group that user is not in";
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(root.c_str(), nobody, nobody), 0);
    sample(data);
    old(backup);
    const std::string before = state(data);
    ASSERT_EQ(::chown(data.c_str(), nobody, 0), 0);
    ASSERT_EQ(::chown(backup.c_str(), nobody, nobody), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60);
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(2);
        const auto error = fsys::copyReplace({backup, data, fsys::Permissions::OfTarget});
        ::_exit(error.operation == Operation::KeepPermissions && error.path == data ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(state(data), before);
    EXPECT_EQ(temporaries(), 0);
}
#endif

// A target near the length limit of a plain Windows path, whose temporary name beside it is longer still; the
// system's reason for a failure, in its own words and without a line break, with its number.
TEST_F(Folder, LongPathsAndReasons)
{
    const Path deep = root / std::string(120, 'd') / std::string(240 - 122 - utf8(root).size(), 'e'); // 240 in all
    fs::create_directories(deep);
    writeBytes(data, "x");
    EXPECT_EQ(failure(fsys::copyReplace({data, deep / "backup.ZIP"})), std::nullopt);
    const fsys::Error denied {std::error_code(kPosix ? EACCES : 5, std::system_category()), Operation::Open, {}};
    const std::string reason = denied.reason();
    EXPECT_TRUE(reason.ends_with(kPosix ? " (13)" : " (5)")) << reason;
    EXPECT_GT(reason.size(), 5u);
    EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
#ifdef _WIN32
    // A target another program holds is tried again for a while, then the copy fails and keeps it.
    const HANDLE held
        = ::CreateFileW((deep / "backup.ZIP").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(fsys::copyReplace({data, deep / "backup.ZIP"}).operation, Operation::Rename);
    ::CloseHandle(held);
#endif
}

} // namespace
