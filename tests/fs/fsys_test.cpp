// The file-system layer against real files: what the folder and file tests and a listing say of each kind of
// entry, names, folder creation, and the copy that replaces a backup, with faults injected at and below its steps.
#include "fs/fsys.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <map>

namespace fs = std::filesystem;
using fsys::Path;
using fsys::detail::utf8;
using Make = std::function<void(const Path&)>;

// A leading dot hides a name on POSIX; Windows needs the attribute too. System files are pipes (or devices) on POSIX.
#ifdef _WIN32
#include <windows.h>

const auto mark = [](const Path& p, DWORD a) { ::SetFileAttributesW(p.c_str(), ::GetFileAttributesW(p.c_str()) | a); };
const Make hide = [](const Path& p) { mark(p, utf8(p.filename()).starts_with('.') ? FILE_ATTRIBUTE_HIDDEN : 0); };
const Make systemFile = [](const Path& p) { writeBytes(p, "x"), mark(p, FILE_ATTRIBUTE_SYSTEM); };
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

const Make hide = [](const Path&) {}, systemFile = [](Path p) { ::mkfifo(p.c_str(), 0600); };
const auto linkTo = [](Path to) { return Make([=](const Path& p) { fs::create_symlink(p.parent_path() / to, p); }); };

// When set, what the kernel answers the copy's next sendfile, read or write: a file system without sendfile (EINVAL,
// ENOSYS), an interrupted call (EINTR), a failing disk (EIO) or a full one (ENOSPC, EDQUOT, EFBIG).
static int sendfileErrno = 0, readErrno = 0, writeErrno = 0;
extern "C" ssize_t sendfile(int out, int in, off_t* at, size_t size)
{
    return sendfileErrno ? (errno = std::exchange(sendfileErrno, 0), -1) : ::syscall(SYS_sendfile, out, in, at, size);
}
extern "C" ssize_t read(int fd, void* data, size_t size)
{
    return readErrno ? (errno = std::exchange(readErrno, 0), -1) : ::syscall(SYS_read, fd, data, size);
}
extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    return writeErrno ? (errno = std::exchange(writeErrno, 0), -1) : ::syscall(SYS_write, fd, data, size);
}
#endif

using enum fsys::CopyStep;
using enum fsys::EntryKind;
using enum std::errc;

namespace {

std::error_code ignored; // of clean-ups, and of changes Windows refuses while a file is open
constexpr bool kPosix = Path::preferred_separator == '/';

const auto bytes = [](const std::string& text) { return Make([=](const Path& p) { writeBytes(p, text), hide(p); }); };
const Make none = [](const Path&) {}, file = bytes("x"), old = bytes("old");
const Make folder = [](const Path& p) { fs::create_directory(p), hide(p); };
const Make readOnly = [](const Path& p) { writeBytes(p, ""), fs::permissions(p, fs::perms::owner_read); };
// Three megabytes, last written an hour ago so that any change shows in the time stamp.
const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
const Make sample = [](const Path& p) { writeBytes(p, sampleBytes(3u << 20, 3)), fs::last_write_time(p, past); };

// The bytes of an ordinary file, "<absent>", or "<other>": a folder cannot be read and a pipe would block.
const auto state = [](const Path& p) { return fs::exists(p) && !fs::is_regular_file(p) ? "<other>" : readBytes(p); };

struct Fsys : ::testing::Test
{
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { fs::remove_all(root, ignored); }

    // Copies "data1.vzd" over the named target in a folder of its own under a Chinese name, both made first. At step
    // `at` the hook runs `act`, or without one fails the copy there. A failure before the rename leaves the target as
    // it was, one after it the source's bytes; the temporary file is ours by name, beside the target, and never left.
    void copy(const Path& name, const std::string& operation, std::errc code, const Make& source = sample,
              const Make& target = old, std::optional<fsys::CopyStep> at = {}, const Make& act = {})
    {
        SCOPED_TRACE(utf8(name));
        const Path in = root / u8"账套" / name.stem(), data = in / "data1.vzd", to = in / name;
        fs::create_directories(in), target(to), source(data);
        const std::string copied = state(data), before = state(to);
        Path temp;
        const auto error = fsys::copyReplace(data, to, [&](fsys::CopyStep step, const Path& path) {
            temp = path;
            return step != at ? std::error_code {} : act ? (act(in), std::error_code {}) : make_error_code(io_error);
        });
        EXPECT_EQ(error.operation, operation);
        EXPECT_TRUE(error.operation.empty() || error.code == code) << error.describe();
        EXPECT_EQ(state(to), operation.empty() || (at >= Renamed && !act) ? copied : before);
        EXPECT_TRUE(temp.empty() || (!fs::exists(temp) && temp.parent_path() == in && fsys::isTemporaryName(temp)));
    }

    const Path root = fs::temp_directory_path() / ("fsys-" + std::to_string(fsys::detail::randomBits()));
};

// Entries made in this order, and paths only asked about, by what the two tests say of them: an ordinary file passes
// both, a folder only the folder test, anything else neither. Only the last name counts; with a trailing separator
// the question is about what a folder holds (a drive root, hidden and system on Windows, takes backups); wildcards
// are never expanded. A listing reports each entry made directly in the folder as that kind.
TEST_F(Fsys, PathsAndNames)
{
    std::vector<std::tuple<fsys::EntryKind, Make, std::vector<Path>>> tree
        = {{Folder, folder, {"BACKUP"}},
           {Other, folder, {".hiddenfolder"}},
           {OrdinaryFile, file, {"a.ZIP", u8"备份.ZIP", ".hiddenfolder/in.ZIP"}},
           {OrdinaryFile, readOnly, {"empty, read-only.ZIP"}},
           {Other, file, {".hidden.ZIP"}},
           {Other, systemFile, {"pipe.ZIP"}},
           {Folder, {}, {"BACKUP/", ".hiddenfolder/", ".", "..", kPosix ? "BACKUP" : "\\"}},
           {Other, {}, {"missing", "missing/", "*.ZIP", " a.ZIP", kPosix ? "/dev/null" : "missing"}}};
#ifndef _WIN32
    tree.insert(tree.end(), {{OrdinaryFile, linkTo("a.ZIP"), {"link.ZIP"}}, {Other, linkTo("gone"), {"dead"}}});
#endif
    std::map<std::string, fsys::EntryKind> expected, listed;
    for (const auto& [kind, make, names] : tree)
        for (const Path& name : names) {
            if (make && (make(root / name), !name.has_parent_path()))
                expected[utf8(name)] = kind;
            EXPECT_EQ(fsys::folderTest(root / name), kind != Other) << utf8(name);
            EXPECT_EQ(fsys::fileTest(root / name), kind == OrdinaryFile) << utf8(name);
        }
    EXPECT_FALSE(fsys::folderTest({}) || fsys::fileTest({}));
    std::error_code error = std::make_error_code(io_error); // what an earlier listing left
    for (const auto& entry : fsys::listFolder(root, error))
        EXPECT_TRUE(listed.emplace(utf8(entry.name), entry.kind).second);
    EXPECT_FALSE(error);
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(fsys::listFolder(root / "missing", error).empty() && error);
    // Windows copies a file with the system attribute like any other; POSIX refuses to read a pipe.
    EXPECT_EQ(fsys::copyReplace(root / "pipe.ZIP", root / "copy.ZIP").operation, kPosix ? "open" : "");

    // One level at a time, and only where nothing is yet.
    EXPECT_TRUE(!fsys::makeFolder(root / "new") && fsys::makeFolder(root / "new") && fsys::folderTest(root / "new"));
    EXPECT_TRUE(fsys::makeFolder(root / "a" / "b") && !fs::exists(root / "a"));
    EXPECT_TRUE(fsys::fileTest(fsys::executableFolder() / (kPosix ? "fsys_test" : "fsys_test.exe")));

    // By name: the platform's own "*.ZIP" also matches "a.zipx" through its short name.
    const std::tuple<Path, std::string_view, bool> extensions[] = {
        {"b.ZIP", ".zip", true},      {"c.zip", ".ZIP", true}, {"A.AZ", ".az", true},  {"a.zipx", ".zip", false},
        {"e.zip.bak", ".zip", false}, {"zip", ".zip", false},  {".zip", ".zip", true}, {"f.zip", {".zip!", 4}, true}};
    for (const auto& [name, extension, matches] : extensions)
        EXPECT_EQ(fsys::hasExtension(name, extension), matches) << name << extension;
    const std::string prefix = fsys::kTemporaryPrefix, suffix = fsys::kTemporarySuffix;
    for (const std::string& name : {prefix + suffix, prefix + "0.ZIP", "0" + suffix, std::string("a long backup.ZIP")})
        EXPECT_FALSE(fsys::isTemporaryName(name)) << name;
}

TEST_F(Fsys, CopyReplace)
{
    copy("new.ZIP", "", {}, bytes(""), none); // from an empty source
    copy(u8"2026年12月06日备份.ZIP", "", {}, bytes(sampleBytes(17u << 20, 17))); // over an old one, in chunks
    // What fails at each step; once renamed, the copy has succeeded whatever follows.
    const char* failing[] = {"create", "write", "flush", "", ""};
    for (const auto step : {Created, Wrote, Flushed, Renamed, FolderFlushed})
        copy("fault.ZIP", failing[static_cast<int>(step)], io_error, sample, old, step);
    copy("folder.ZIP", "replace", permission_denied, sample, folder);
    copy("system.ZIP", "replace", permission_denied, sample, systemFile);
    copy(".hidden.ZIP", "replace", permission_denied);
    copy("read-only.ZIP", "replace", permission_denied, sample, readOnly); // for root too: no write bit at all
    copy("missing/x.ZIP", "create", no_such_file_or_directory, sample, none);
    copy("missing source.ZIP", "open", no_such_file_or_directory, none);
    copy("source folder.ZIP", "open", kPosix ? is_a_directory : permission_denied, folder);
    // Windows keeps writers out while the source is open, so there a source cannot change under the copy.
    const Make grow = [](const Path& in) { std::ofstream(in / "data1.vzd", std::ios::app) << "more"; };
    const Make rewrite = [](const Path& in) { std::fstream(in / "data1.vzd", std::ios::in | std::ios::out) << "x"; };
    const Make replace = [](const Path& in) { file(in / "x"), fs::rename(in / "x", in / "data1.vzd", ignored); };
    // A rewrite that leaves size and time as they were (a store through a shared mapping, a coarse clock) is caught
    // by comparing the bytes.
    const Make sneak = [&](const Path& in) { rewrite(in), fs::last_write_time(in / "data1.vzd", past, ignored); };
    for (const Make& change : {grow, rewrite, replace, sneak})
        copy("changes.ZIP", kPosix ? "changed while copying" : "", device_or_resource_busy, sample, old, Wrote, change);
#ifndef _WIN32
    // What the kernel answers sendfile, then (where it is missing) read and write: missing, interrupted, failing to
    // read or to write, full. Each said so, and every byte copied or none.
    const std::tuple<int, int, int, const char*> answers[]
        = {{EINVAL, 0, 0, ""},       {ENOSYS, 0, 0, ""},         {EINTR, 0, 0, ""},      {EIO, 0, 0, "read"},
           {ENOSPC, 0, 0, "write"},  {EDQUOT, 0, 0, "write"},    {EFBIG, 0, 0, "write"}, {EINVAL, EINTR, 0, ""},
           {EINVAL, EIO, 0, "read"}, {EINVAL, 0, EFBIG, "write"}};
    for (const auto& [sent, read, write, operation] : answers)
        copy("kernel.ZIP", operation, std::errc(read + write ? read + write : sent), sample, old, Created,
             [=](auto&) { sendfileErrno = sent, readErrno = read, writeErrno = write; });
    // A link is followed: the file it points to is replaced and the link stays; one that points nowhere is refused.
    const Make real = [](const Path& p) { old(p.parent_path() / "real.ZIP"), linkTo("real.ZIP")(p); };
    copy("link.ZIP", "", {}, sample, real, FolderFlushed,
         [](auto& in) { EXPECT_TRUE(fs::is_symlink(in / "link.ZIP")); });
    copy("dead.ZIP", "replace", no_such_file_or_directory, sample, linkTo("nowhere"));
#endif
}

#ifndef _WIN32
// A backup is never more open than the data file; a restored data file keeps its own mode and group.
TEST_F(Fsys, PermissionsOfTheResult)
{
    ::umask(022);
    const std::tuple<int, int, fsys::Permissions, int> cases[]
        = {{0600, 0, fsys::Permissions::OfSource, 0600},    {0640, 0, fsys::Permissions::OfSource, 0640},
           {0444, 0, fsys::Permissions::OfSource, 0644},    {0600, 0644, fsys::Permissions::OfSource, 0600},
           {0644, 0600, fsys::Permissions::OfSource, 0600}, {0600, 0660, fsys::Permissions::OfTarget, 0660}};
    for (const auto& [from, to, permissions, expected] : cases) {
        const Path source = root / "data", target = root / "target";
        fs::remove(target, ignored), sample(source), fs::permissions(source, fs::perms(from));
        if (to)
            old(target), fs::permissions(target, fs::perms(to)), (void)::chown(target.c_str(), -1, 12345);
        EXPECT_FALSE(fsys::copyReplace(source, target, {}, permissions));
        struct stat st;
        EXPECT_TRUE(::stat(target.c_str(), &st) == 0 && (st.st_mode & 07777) == unsigned(expected))
            << from << " " << to;
        EXPECT_TRUE(!to || ::geteuid() != 0 || st.st_gid == 12345); // root keeps the owner and the group
    }
}
#endif

// A target near the length limit of a plain Windows path, whose temporary name beside it is longer still; the
// system's reason for a failure, in its own words and without a line break, with its number.
TEST_F(Fsys, LongPathsAndReasons)
{
    const Path deep = root / std::string(120, 'd') / std::string(240 - 122 - utf8(root).size(), 'e'); // 240 in all
    fs::create_directories(deep), writeBytes(root / "data", "x");
    EXPECT_FALSE(fsys::copyReplace(root / "data", deep / "backup.ZIP"));
    const std::string reason
        = fsys::Error {std::error_code(kPosix ? EACCES : 5, std::system_category()), "", {}}.reason();
    EXPECT_TRUE(reason.ends_with(kPosix ? " (13)" : " (5)") && reason.size() > 5) << reason;
    EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
#ifdef _WIN32
    // A target another program holds is tried again for a moment, then the copy fails and keeps it.
    const HANDLE held
        = ::CreateFileW((deep / "backup.ZIP").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(fsys::copyReplace(root / "data", deep / "backup.ZIP").operation, "rename");
    ::CloseHandle(held);
#endif
}

// Temporary files that no live copy holds are swept by the next copy into their folder; a held one stays. SIGTERM in
// the middle of a copy still ends the process, and the temporary file goes with it.
TEST_F(Fsys, Temporaries)
{
    const Path stale = root / "~datamaint.0123456789abcdef.tmp", held = root / "~datamaint.live.tmp";
    writeBytes(stale, "left by a killed copy"), writeBytes(held, "a copy in progress"), writeBytes(root / "data", "x");
    std::ifstream holding(held); // an open handle on Windows; on POSIX the lock below
#ifndef _WIN32
    const int lock = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
#endif
    EXPECT_FALSE(fsys::copyReplace(root / "data", root / "new.ZIP"));
    EXPECT_TRUE(!fs::exists(stale) && fs::exists(held));
#ifndef _WIN32
    ::close(lock);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60); // a copy that never ends must not outlive the test
        fsys::copyReplace(root / "data", root / "new.ZIP", [](auto, auto&) { return ::raise(SIGTERM), ignored; });
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    // The data file and the backup alone: the file no longer held went with the other stale ones.
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 2);
#endif
}

} // namespace
