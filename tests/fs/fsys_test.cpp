// The file-system layer against real files: what the tests and a listing say of each kind of entry and whether a
// copy may replace it; the copy failing, stopped and throwing at each of its steps, under hostile sources and
// kernels; the permissions of its result; and the temporary files of live, stopped and killed copies.
#include "fs/fsys.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace fsys;
using enum Operation;
using enum CopyStep;
using enum Permissions;
using enum std::errc;
using Make = std::function<void(const Path&)>;

// A leading dot hides a name on POSIX; Windows needs the attribute too. System files are pipes on POSIX.
#ifdef _WIN32
#include <thread>
#include <windows.h>

void addAttribute(const Path& path, DWORD attribute)
{
    ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | attribute);
}
const Make hide = [](const Path& path) {
    if (detail::hiddenName(path))
        addAttribute(path, FILE_ATTRIBUTE_HIDDEN);
};
const Make systemFile = [](const Path& path) {
    writeBytes(path, "x");
    addAttribute(path, FILE_ATTRIBUTE_SYSTEM);
};
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

const Make hide = [](const Path&) {};
const Make systemFile = [](const Path& path) { ::mkfifo(path.c_str(), 0600); };
Make linkTo(const Path& to)
{
    return [=](const Path& path) { fs::create_symlink(path.parent_path() / to, path); };
}

// When set, what the kernel answers the next such call of the copy: a file system without sendfile (EINVAL, ENOSYS),
// an interrupted call (EINTR), a failing disk (EIO) or a full one (ENOSPC, EFBIG); and for every lock, a file system
// without locks (ENOLCK).
int sendfileErrno = 0;
int readErrno = 0;
int writeErrno = 0;
int flockErrno = 0;
long fail(int& error, bool once = true)
{
    errno = once ? std::exchange(error, 0) : error;
    return -1;
}
extern "C" ssize_t sendfile(int out, int in, off_t* at, size_t size)
{
    return sendfileErrno ? fail(sendfileErrno) : ::syscall(SYS_sendfile, out, in, at, size);
}
extern "C" ssize_t read(int fd, void* data, size_t size)
{
    return readErrno ? fail(readErrno) : ::syscall(SYS_read, fd, data, size);
}
extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    return writeErrno ? fail(writeErrno) : ::syscall(SYS_write, fd, data, size);
}
// Records what is flushed, by path, or fails once with fsyncErrno.
int fsyncErrno = 0;
std::vector<std::string> synced;
extern "C" int fsync(int fd)
{
    if (fsyncErrno)
        return static_cast<int>(fail(fsyncErrno));
    synced.push_back(fs::read_symlink("/proc/self/fd/" + std::to_string(fd)));
    return static_cast<int>(::syscall(SYS_fsync, fd));
}
// Refuses every change of owner or group while set, as for an operator outside the file's group.
int fchownErrno = 0;
extern "C" int fchown(int fd, uid_t owner, gid_t group)
{
    return fchownErrno ? static_cast<int>(fail(fchownErrno, false))
                       : static_cast<int>(::syscall(SYS_fchown, fd, owner, group));
}
// Refuses the next extended attribute of the user's own namespace while set.
int userAttributeErrno = 0;
extern "C" int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags)
{
    if (userAttributeErrno && std::string_view(name).starts_with("user."))
        return static_cast<int>(fail(userAttributeErrno));
    return static_cast<int>(::syscall(SYS_fsetxattr, fd, name, value, size, flags));
}
// (The function shares its name with fcntl's struct.)
#pragma GCC diagnostic ignored "-Wshadow"
extern "C" int flock(int fd, int operation)
{
    return static_cast<int>(flockErrno ? fail(flockErrno, false) : ::syscall(SYS_flock, fd, operation));
}
#endif

namespace fsys {
void PrintTo(Operation operation, std::ostream* out)
{
    *out << operationName(operation);
}
} // namespace fsys

namespace {

// The errors of clean-ups, and of changes Windows refuses while a file is open.
std::error_code ignored;
constexpr bool kPosix = Path::preferred_separator == '/';

Make bytes(const std::string& text)
{
    return [=](const Path& path) {
        writeBytes(path, text);
        hide(path);
    };
}
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

// The bytes of an ordinary file, "<absent>", or "<other>": a folder cannot be read and a pipe would block.
std::string state(const Path& path)
{
    if (fs::exists(path) && !fs::is_regular_file(path))
        return "<other>";
    return readBytes(path);
}

// What a copy failed at, or none when it succeeded.
using Failure = std::optional<Operation>;
const Failure none;
Failure failure(const Error& error)
{
    return error ? Failure(error.operation) : none;
}
Failure copy(const CopyJob& job)
{
    return failure(copyReplace(job));
}

StepHook at(CopyStep step, const std::function<void()>& act)
{
    return [=](CopyStep now, const Path&) {
        if (now == step)
            act();
        return std::error_code();
    };
}

// Files this process holds open: one that a copy leaks stays locked on Windows for as long as the program runs.
long openFiles()
{
#ifdef _WIN32
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
#else
    return std::distance(fs::directory_iterator("/proc/self/fd"), {});
#endif
}

struct Folder : ::testing::Test
{
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override
    {
        EXPECT_EQ(openFiles(), open) << "files left open";
        fs::remove_all(root, ignored);
    }

    // The temporary files of ours left in the folder.
    int temporaries() const
    {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(root))
            count += isTemporaryName(entry.path().filename());
        return count;
    }

    const long open = openFiles();
    const Path root = fs::temp_directory_path() / ("fsys-" + std::to_string(detail::randomBits()));
    const Path data = root / "data1.vzd";
    const Path backup = root / u8"备份.ZIP";
};

// Each kind of entry, made or only asked about: what the folder and file tests say of it (an ordinary file passes
// both, a folder only the folder test, anything else neither), whether a copy may read it and whether one may
// replace it. Only the last name counts; a trailing separator asks about what a folder
// holds; wildcards are never expanded. Reading a pipe would wait for a writer; Windows reads a system file like any.
struct Entry
{
    Path name;
    Make make;
    EntryKind kind;
    Failure copyOver = none;
    // A copy may read it.
    bool copyFrom = true;
};

TEST_F(Folder, KindsOfEntries)
{
    using enum EntryKind;
    std::vector<Entry> entries = {
        {"BACKUP", folder, Folder, Replace, false},
        {".hidden.ZIP", old, Other, Replace},
        {"pipe.ZIP", systemFile, Other, Replace, !kPosix},
        // No write bit at all: for root too.
        {"read-only, empty.ZIP", readOnly, OrdinaryFile, Replace},
        // Two chunks of the copy.
        {"a.ZIP", bytes(sampleBytes(9u << 20, 9)), OrdinaryFile},
        {"BACKUP/", {}, Folder},
        {"*.ZIP", {}, Other},
        {"missing", {}, Other},
    };
#ifndef _WIN32
    entries.push_back({"link.ZIP", linkTo("a.ZIP"), OrdinaryFile});
    entries.push_back({"dead", linkTo("gone"), Other, Replace, false});
#endif
    writeBytes(data, "new");
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.name);
        if (entry.make)
            entry.make(root / entry.name);
        EXPECT_EQ(folderTest(root / entry.name), entry.kind != Other);
        EXPECT_EQ(fileTest(root / entry.name), entry.kind == OrdinaryFile);
    }
    std::error_code error;
    std::map<Path, EntryKind> listed;
    for (const auto& [name, kind] : listFolder(root, error))
        listed[name] = kind;
    EXPECT_FALSE(error);
    EXPECT_EQ(listed.count("."), 0u);

    for (const Entry& entry : entries) {
        if (!entry.make)
            continue;
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(listed[entry.name], entry.kind);
        const Path path = root / entry.name;
        const std::string before = state(path);
        const std::string kept = state(backup);
        const bool link = fs::is_symlink(path);
        EXPECT_EQ(copy({path, backup}), entry.copyFrom ? none : Failure(Open));
        EXPECT_EQ(state(backup), entry.copyFrom ? before : kept);
        EXPECT_EQ(copy({data, path}), entry.copyOver);
        EXPECT_EQ(state(path), entry.copyOver ? before : "new");
        // The file it points to is replaced, the link stays.
        EXPECT_EQ(fs::is_symlink(path), link);
    }
    // A missing folder is said so, not taken for a name already in use.
    const Error missing = copyReplace({data, root / "missing" / "x"});
    EXPECT_EQ(failure(missing), Create);
    EXPECT_NE(missing.code, file_exists);
    EXPECT_EQ(temporaries(), 0);
    // An empty name is neither.
    EXPECT_FALSE(folderTest({}));
    EXPECT_FALSE(fileTest({}));
}

// At each step of a copy the hook fails it, stops it, or throws. Before the rename each ends the copy with the
// target as it was and no temporary file; from the rename on the copy has succeeded, and a stop is refused.
struct Step
{
    std::string name;
    CopyStep step;
    // None when the rename has happened.
    Failure failsAs = none;
    friend void PrintTo(const Step& row, std::ostream* out) { *out << row.name; }
};

struct Steps : Folder, ::testing::WithParamInterface<Step>
{
    // Copies the sample over an old backup with the hook acting at the row's step.
    Error copyActing(const std::function<std::error_code()>& act, CopyControl* control = nullptr)
    {
        sample(data);
        old(backup);
        const StepHook hook
            = [&](CopyStep now, const Path&) { return now == GetParam().step ? act() : std::error_code(); };
        return copyReplace({data, backup, OfSource, hook}, control);
    }
    bool replaced() const { return state(backup) == state(data); }
};

TEST_P(Steps, FailStopOrThrow)
{
    const bool renamed = !GetParam().failsAs;
    EXPECT_EQ(failure(copyActing([] { return std::make_error_code(io_error); })), GetParam().failsAs);
    EXPECT_EQ(replaced(), renamed);
    EXPECT_EQ(temporaries(), 0);

    CopyControl control;
    bool accepted = false;
    const auto stop = [&] {
        accepted = control.requestStop();
        return std::error_code();
    };
    const Error stopped = copyActing(stop, &control);
    EXPECT_EQ(accepted, !renamed);
    EXPECT_EQ(failure(stopped), renamed ? none : Failure(Cancel));
    EXPECT_EQ(replaced(), renamed);
    EXPECT_EQ(temporaries(), 0);

    EXPECT_THROW(copyActing([]() -> std::error_code { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_EQ(replaced(), renamed);
    EXPECT_EQ(temporaries(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, Steps,
                         ::testing::Values(Step {"Created", Created, Create}, Step {"Wrote", Wrote, Write},
                                           Step {"Flushed", Flushed, Flush}, Step {"Renaming", Renaming, Rename},
                                           Step {"Renamed", Renamed}, Step {"FolderFlushed", FolderFlushed}),
                         [](const auto& row) { return row.param.name; });

// Temporary files that no live copy holds are swept by the next copy into their folder; a held one stays, and so
// does everything that is not exactly a file of our name, which is never even opened.
TEST_F(Folder, SweepsOnlyStaleTemporaries)
{
    const Path stale = root / "~datamaint.0123456789abcdef.tmp";
    const Path held = root / "~datamaint.00000000000000aa.tmp";
    writeBytes(stale, "left by a killed copy");
    std::vector<Path> kept = {held, "~datamaint.notes.tmp", "~datamaint.00000000000000FF.tmp",
                              "~datamaint.0123456789abcde.tmp", "~datamaint-0123456789abcdef.tmp"};
    for (const Path& name : kept)
        writeBytes(root / name, "the operator's, or a live copy's");
    writeBytes(data, "x");
    // An open handle that shares no deletion on Windows; on POSIX the lock below.
    std::ifstream holding(held);
#ifndef _WIN32
    const int lock = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    kept.push_back("~datamaint.00000000000000cc.tmp");
    systemFile(root / kept.back());
#endif
    EXPECT_EQ(copy({data, backup}), none);
    EXPECT_FALSE(fs::exists(stale));
    for (const Path& name : kept)
        EXPECT_TRUE(fs::exists(root / name)) << name;
    // A sweep right before the rename, as by another copy into the same folder, leaves the live copy alone.
    const auto sweep = at(Renaming, [&] { detail::removeStaleTemporaries(root); });
    EXPECT_EQ(copy({data, backup, OfSource, sweep}), none);
#ifndef _WIN32
    // On a file system without locks a copy goes on unheld, and a sweep leaves alone what it cannot lock.
    writeBytes(stale, "left by a killed copy");
    const int left = temporaries();
    flockErrno = ENOLCK;
    EXPECT_EQ(copy({data, backup}), none);
    flockErrno = 0;
    EXPECT_TRUE(fs::exists(stale));
    EXPECT_EQ(temporaries(), left);
    ::close(lock);
#endif
}

#ifndef _WIN32
// SIGTERM in the middle of a copy still ends the process, and the temporary file goes with it.
TEST_F(Folder, SignalRemovesTheTemporary)
{
    sample(data);
    const pid_t child = ::fork();
    if (child == 0) {
        // A copy that never ends must not outlive the test.
        ::alarm(60);
        copyReplace({data, backup, OfSource, at(Wrote, [] { ::raise(SIGTERM); })});
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(temporaries(), 0);
}

// Under a source that changes while it is copied (even one that keeps its size and time: a store through a shared
// mapping, a coarse clock) or a kernel that answers the copy's calls with an error, each said so, every byte is copied
// or none. Windows keeps writers out while the source is open.
TEST_F(Folder, HostileSourcesAndKernels)
{
    const auto answer = [](int sent, int got, int put) {
        return [=] {
            sendfileErrno = sent;
            readErrno = got;
            writeErrno = put;
        };
    };
    const std::tuple<std::string, CopyStep, std::function<void()>, Failure> cases[] = {
        {"rewritten in time", Wrote,
         [this] {
             std::fstream(data, std::ios::in | std::ios::out) << "x";
             fs::last_write_time(data, past);
         },
         Changed},
        {"no sendfile", Created, answer(EINVAL, 0, 0), {}},
        {"failing disk", Created, answer(EIO, 0, 0), Read},
        {"full disk", Created, answer(ENOSPC, 0, 0), Write},
        {"read fails", Created, answer(EINVAL, EIO, 0), Read},
        {"write fails", Created, answer(EINVAL, 0, EFBIG), Write},
    };
    for (const auto& [name, step, act, fails] : cases) {
        SCOPED_TRACE(name);
        sample(data);
        old(backup);
        const std::string before = state(data);
        EXPECT_EQ(copy({data, backup, OfSource, at(step, act)}), fails);
        EXPECT_EQ(state(backup), fails ? "old" : before);
        EXPECT_EQ(temporaries(), 0);
    }
}

// The access list of one named user who may read, with the owning group shut out, a mask, and others who may read:
// what ls shows as 0644. The user's id has all four bytes in use.
std::string accessList()
{
    std::string list = {2, 0, 0, 0};
    const std::tuple<char, char, unsigned> entries[]
        = {{1, 6, ~0u}, {2, 4, 0x01020304}, {4, 0, ~0u}, {16, 4, ~0u}, {32, 4, ~0u}};
    for (const auto& [tag, permissions, id] : entries) {
        const char entry[] = {tag, 0, permissions, 0, char(id), char(id >> 8), char(id >> 16), char(id >> 24)};
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
// replaced one's mode, group, access list and extended attributes, or the restore fails.
TEST_F(Folder, PermissionsOfTheResult)
{
    ::umask(022);
    sample(data);
    // An operator who owns the data file but is not in its group cannot give a restored file that group: the
    // restore fails before the rename, and names the data file.
    old(backup);
    fchownErrno = EPERM;
    const Error error = copyReplace({backup, data, OfTarget});
    fchownErrno = 0;
    EXPECT_EQ(failure(error), KeepPermissions);
    EXPECT_EQ(error.path, data);
    EXPECT_NE(state(data), "old");
    // With its owner's write bit, so that the next backup can replace it; a replaced backup keeps a narrower mode.
    fs::permissions(data, fs::perms(0444));
    EXPECT_EQ(copy({data, backup}), none);
    EXPECT_EQ(modeOf(backup), 0644u);
    fs::permissions(backup, fs::perms(0600));
    EXPECT_EQ(copy({data, backup}), none);
    EXPECT_EQ(modeOf(backup), 0600u);

    const std::string list = accessList();
    if (::setxattr(data.c_str(), "system.posix_acl_access", list.data(), list.size(), 0) != 0)
        GTEST_SKIP() << "no access lists on " << root;
    ::setxattr(data.c_str(), "user.origin", "books", 5, 0);
    fs::remove(backup);
    EXPECT_EQ(copy({data, backup}), none);
    // The group may not read the data, so it may not read the backup.
    EXPECT_EQ(modeOf(backup), 0604u);
    EXPECT_EQ(attribute(backup, "system.posix_acl_access"), "<none>");
    EXPECT_EQ(copy({backup, data, OfTarget}), none);
    EXPECT_EQ(modeOf(data), 0644u);
    EXPECT_EQ(attribute(data, "system.posix_acl_access"), list);
    EXPECT_EQ(attribute(data, "user.origin"), "books");
    // An attribute not ours to set is left out; one that fails otherwise fails the restore.
    userAttributeErrno = EPERM;
    EXPECT_EQ(copy({backup, data, OfTarget}), none);
    EXPECT_EQ(attribute(data, "user.origin"), "<none>");
    ::setxattr(data.c_str(), "user.origin", "books", 5, 0);
    userAttributeErrno = EIO;
    EXPECT_EQ(copy({backup, data, OfTarget}), KeepPermissions);
    userAttributeErrno = 0;
    // A data file without an access list gets none from its folder's default list either.
    ::setxattr(root.c_str(), "system.posix_acl_default", list.data(), list.size(), 0);
    ::removexattr(data.c_str(), "system.posix_acl_access");
    EXPECT_EQ(copy({backup, data, OfTarget}), none);
    EXPECT_EQ(attribute(data, "system.posix_acl_access"), "<none>");
}

// The file is on the disk before the rename and the rename after it; a disk that fails to take the file fails the
// copy before the rename.
TEST_F(Folder, Flushes)
{
    sample(data);
    old(backup);
    synced.clear();
    const auto rename = at(Renaming, [] { synced.push_back("rename"); });
    EXPECT_EQ(copy({data, backup, OfSource, rename}), none);
    ASSERT_EQ(synced.size(), 3u);
    EXPECT_EQ(synced[1], "rename");
    EXPECT_EQ(Path(synced[2]), fs::canonical(root));
    fsyncErrno = EIO;
    EXPECT_EQ(copy({backup, data}), Flush);
    EXPECT_EQ(temporaries(), 0);
}
#endif

#ifdef _WIN32
// A target near the length limit of a plain Windows path, whose temporary name beside it is longer still; while
// another program holds it, the rename is tried again for a while: a copy gets through once it is let go, and fails
// and keeps it when it is not.
TEST_F(Folder, LongPathsAndHeldTargets)
{
    const Path deep = root / std::string(120, 'd') / std::string(240 - 122 - detail::utf8(root).size(), 'e');
    const Path target = deep / "backup.ZIP";
    fs::create_directories(deep);
    writeBytes(data, "x");
    EXPECT_EQ(copy({data, target}), none);
    const HANDLE held = ::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(copy({data, target}), Rename);
    std::jthread letGo([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::CloseHandle(held);
    });
    EXPECT_EQ(copy({data, target}), none);
}
#endif

} // namespace
