// The POSIX primitives of the file-system layer.
#include "platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fsys {

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

Attributes fromStat(const struct stat& st, bool hidden)
{
    Attributes attrs;
    attrs.directory = S_ISDIR(st.st_mode);
    attrs.regular = S_ISREG(st.st_mode);
    attrs.system = !attrs.directory && !attrs.regular;
    attrs.hidden = hidden;
    return attrs;
}

} // namespace

std::optional<Attributes> attributes(const Path& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    Attributes attrs = fromStat(st, detail::hiddenName(path));
    // A file without any write permission bit is read-only for everyone, root included, as the read-only attribute
    // is on Windows; one that only we may not write is read-only for us.
    attrs.readOnly = (st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
    return attrs;
}

std::vector<Entry> listFolder(const Path& folder, std::error_code& error)
{
    error.clear();
    std::vector<Entry> entries;
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = lastError();
        return entries;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
    if (!dir) {
        error = lastError();
        ::close(fd);
        return entries;
    }
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir.get());
        if (!item) {
            // errno stays 0 at the end of the folder, which is no error.
            error = lastError();
            break;
        }
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = item->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, item->d_name, &st, 0) != 0)
                type = DT_UNKNOWN; // a dangling link is nothing we can open
            else
                type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        EntryKind kind = EntryKind::Other;
        if (name[0] != '.') {
            if (type == DT_REG)
                kind = EntryKind::OrdinaryFile;
            else if (type == DT_DIR)
                kind = EntryKind::Folder;
        }
        entries.push_back({name, kind});
    }
    return entries;
}

std::error_code makeFolder(const Path& folder)
{
    if (::mkdir(folder.c_str(), 0777) != 0)
        return lastError();
    return {};
}

Path executableFolder()
{
    std::error_code error;
    const Path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

namespace platform {

namespace {

int fd(const File& file)
{
    return static_cast<int>(file.native());
}

Version fromStat(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::error_code writeAll(int out, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(out, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return lastError();
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

} // namespace

void File::reset()
{
    if (isOpen())
        ::close(static_cast<int>(std::exchange(m_native, -1)));
}

// Without O_NONBLOCK, opening a pipe (or a serial device) waits for a writer (or a carrier) for ever before the type
// check below can refuse it. Reads of regular files ignore the flag.
std::error_code openForReading(const Path& path, File& file)
{
    file = File(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.isOpen())
        return lastError();
    struct stat st;
    if (::fstat(fd(file), &st) != 0)
        return lastError();
    if (!S_ISREG(st.st_mode))
        return std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    return {};
}

std::error_code versionOf(const File& file, Version& version)
{
    struct stat st;
    if (::fstat(fd(file), &st) != 0)
        return lastError();
    version = fromStat(st);
    return {};
}

std::error_code versionOf(const Path& path, Version& version)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return lastError();
    version = fromStat(st);
    return {};
}

namespace {

constexpr const char* kAccessList = "system.posix_acl_access";

// A file system that keeps no extended attributes or no access lists. (ENOTSUP is the same number on Linux.)
bool unsupported(int error)
{
    return error == EOPNOTSUPP;
}

// Reads a list or value of extended attributes whose size may change between asking for it and reading it.
template <typename Call> std::error_code readAttribute(Call call, std::string& out)
{
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return lastError();
        out.resize(static_cast<std::size_t>(size));
        const ssize_t got = call(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return {};
        }
        if (errno != ERANGE)
            return lastError();
    }
}

// The access list of an open file as the kernel stores it; empty when it has none, or its file system keeps none.
std::error_code accessList(const File& file, std::string& list)
{
    const auto error = readAttribute(
        [&](char* data, std::size_t size) { return ::fgetxattr(fd(file), kAccessList, data, size); }, list);
    if (error && (error.value() == ENODATA || unsupported(error.value()))) {
        list.clear();
        return {};
    }
    return error;
}

// The permission bits a backup of a file with this mode and access list starts with. With a list the mode's group
// bits are its mask; the owning group gets only what its own entry and the mask both grant, and named users and
// groups, which a plain mode cannot name, get nothing. The list is little-endian: a 4-byte version, then 8-byte
// entries of tag, permissions and id.
mode_t backupMode(mode_t mode, const std::string& list)
{
    constexpr unsigned owningGroup = 0x04;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(list[at]); };
    for (std::size_t at = 4; at + 8 <= list.size(); at += 8) {
        if ((byte(at) | byte(at + 1) << 8) == owningGroup)
            mode = (mode & ~mode_t(070)) | (mode & (byte(at + 2) & 7) << 3);
    }
    return (mode & 0777) | S_IWUSR;
}

// A restore: every extended attribute of the replaced file that the process may set, and exactly its access list:
// one the new file inherited from its folder's default list goes. Only the access list is a must; attributes that
// are not ours to set (trusted.*, security.* for a user) or that the file system does not keep are left out.
std::error_code copyAttributes(const Path& from, const File& to)
{
    std::string names;
    auto error
        = readAttribute([&](char* data, std::size_t size) { return ::listxattr(from.c_str(), data, size); }, names);
    if (error && !unsupported(error.value()))
        return error;
    bool listed = false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        const bool must = std::strcmp(name, kAccessList) == 0;
        std::string value;
        error = readAttribute([&](char* data, std::size_t size) { return ::getxattr(from.c_str(), name, data, size); },
                              value);
        if (!error && ::fsetxattr(fd(to), name, value.data(), value.size(), 0) != 0)
            error = lastError();
        listed = listed || (must && !error);
        const bool skippable = error.value() == EPERM || error.value() == EACCES || error.value() == ENODATA
            || unsupported(error.value());
        if (error && (must || !skippable))
            return error;
    }
    if (!listed && ::fremovexattr(fd(to), kAccessList) != 0 && errno != ENODATA && !unsupported(errno))
        return lastError();
    return {};
}

} // namespace

// The lock tells removeIfStale() that a live copy holds the file. Between the creation and the lock another
// process may have taken the file for stale and removed it; then the name is as good as taken.
std::error_code createExclusive(const Path& path, const File& like, File& file)
{
    struct stat source;
    std::string list;
    if (::fstat(fd(like), &source) != 0)
        return lastError();
    if (auto error = accessList(like, list))
        return error;
    file = File(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, backupMode(source.st_mode, list)));
    if (!file.isOpen())
        return errno == EEXIST ? std::make_error_code(std::errc::file_exists) : lastError();
    // Held by another: a sweep took it for stale in the moment before the lock, and removes it.
    if (::flock(fd(file), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        file.reset();
        ::unlink(path.c_str());
        return std::make_error_code(std::errc::file_exists);
    }
    // Any other failure means a file system that cannot lock (NFS without a lock manager, some FUSE mounts): the
    // copy goes on unheld, and the sweep there leaves every temporary file alone, since it cannot lock one either.
    struct stat st;
    if (::fstat(fd(file), &st) != 0) {
        const auto error = lastError();
        file.reset();
        ::unlink(path.c_str());
        return error;
    }
    if (st.st_nlink == 0) {
        file.reset();
        return std::make_error_code(std::errc::file_exists);
    }
    return {};
}

std::error_code keepPermissions(const File& file, const File&, const Path& replaced, Permissions permissions)
{
    struct stat old;
    struct stat ours;
    if (::stat(replaced.c_str(), &old) != 0 || ::fstat(fd(file), &ours) != 0)
        return lastError();
    const bool root = ::geteuid() == 0;
    if (permissions == Permissions::OfSource) {
        // A replaced backup keeps its owner and group, where we may give them, and its mode unless that is more
        // open than the new one's.
        const bool owned = ours.st_uid == old.st_uid && ours.st_gid == old.st_gid;
        if (root && !owned && ::fchown(fd(file), old.st_uid, old.st_gid) != 0)
            return lastError();
        if ((old.st_mode & 0777 & ~ours.st_mode) == 0 && ::fchmod(fd(file), old.st_mode & 0777) != 0)
            return lastError();
        return {};
    }
    // The group takes only where we belong to it, and the owner only as root; without either the data file's
    // users could no longer open it, so that fails the restore. The mode goes last: changing the owner clears the
    // set-id bits, and it sets the access list's mask as well.
    if (::fchown(fd(file), root ? old.st_uid : static_cast<uid_t>(-1), old.st_gid) != 0)
        return lastError();
    if (auto error = copyAttributes(replaced, file))
        return error;
    if (::fchmod(fd(file), old.st_mode & 07777) != 0)
        return lastError();
    return {};
}

std::error_code resolveLink(const Path& path, Path& resolved)
{
    struct stat st;
    resolved = path;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return lastError();
    resolved = real.get();
    return {};
}

// Opening a device can have effects of its own (a tape rewinds), so only what lstat calls a regular file is opened,
// and only without following a link and without waiting; the file held must be the file named.
void removeIfStale(const Path& path)
{
    struct stat named;
    if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return;
    File file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat held;
    if (!file.isOpen() || ::fstat(fd(file), &held) != 0 || held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return;
    // A file that cannot be locked may be live: a copy holds it, or the file system has no locks.
    if (::flock(fd(file), LOCK_EX | LOCK_NB) != 0)
        return;
    if (::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlink(path.c_str());
}

std::error_code readAt(const File& file, std::uint64_t offset, char* data, std::size_t size, std::size_t& got)
{
    got = 0;
    while (got < size) {
        const ssize_t read = ::pread(fd(file), data + got, size - got, static_cast<off_t>(offset + got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return lastError();
        if (read == 0)
            break;
        got += static_cast<std::size_t>(read);
    }
    return {};
}

// sendfile keeps the bytes in the kernel and, unlike copy_file_range, never shares blocks with the source: a backup
// must survive damage to the original's blocks. Where it is not supported, read and write.
std::error_code copyChunk(const File& in, const File& out, std::vector<char>& buffer, std::size_t most,
                          std::size_t& moved, bool& writing)
{
    writing = false;
    for (;;) {
        const ssize_t sent = ::sendfile(fd(out), fd(in), nullptr, most);
        if (sent >= 0) {
            moved = static_cast<std::size_t>(sent);
            return {};
        }
        if (errno == EINTR)
            continue;
        if (errno != EINVAL && errno != ENOSYS) {
            // sendfile does not say which side failed; a full disk or quota is always the side being written.
            writing = errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
            return lastError();
        }
        break;
    }
    buffer.resize(1u << 20);
    ssize_t got;
    while ((got = ::read(fd(in), buffer.data(), std::min(most, buffer.size()))) < 0 && errno == EINTR) { }
    if (got < 0)
        return lastError();
    moved = static_cast<std::size_t>(got);
    writing = true;
    return writeAll(fd(out), buffer.data(), moved);
}

std::error_code flush(const File& file)
{
    return ::fsync(fd(file)) != 0 ? lastError() : std::error_code {};
}

// The file stays open, and locked, through the rename: a sweep by another copy cannot take it for stale.
std::error_code renameOver(const File&, const Path& from, const Path& to)
{
    return ::rename(from.c_str(), to.c_str()) != 0 ? lastError() : std::error_code {};
}

// The rename is durable only once the folder that records it is on disk too.
std::error_code flushFolder(const Path& folder)
{
    File dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isOpen() || ::fsync(fd(dir)) != 0)
        return lastError();
    return {};
}

void removeFile(const Path& path)
{
    ::unlink(path.c_str());
}

namespace {

// What the signal handler may read, one slot per copy in progress. A slot's path is written by its copy's thread
// while the handler may run on any thread, so each is guarded by a sequence number that is odd while the path is
// being written: the handler takes a path only when the number was even and the same before and after it read it.
constexpr std::size_t kSlots = 8;
constexpr std::size_t kPathBytes = 4096;
struct Slot
{
    std::atomic<bool> taken {false};
    std::atomic<unsigned> sequence {0};
    std::atomic<char> path[kPathBytes] {}; // ends with a zero byte; empty: nothing to remove
};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free
                  && std::atomic<char>::is_always_lock_free,
              "a signal handler may use only lock-free atomics");
Slot slots[kSlots];

void store(Slot& slot, const std::string& path)
{
    const unsigned sequence = slot.sequence.load(std::memory_order_relaxed);
    slot.sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (std::size_t i = 0; i <= path.size(); ++i)
        slot.path[i].store(path.c_str()[i], std::memory_order_relaxed);
    slot.sequence.store(sequence + 2, std::memory_order_release);
}

// A slot caught while its path is written is skipped after a bounded number of tries: its copy is then
// registering a file it has not created yet, or withdrawing one that is already gone.
void removeRegistered(Slot& slot)
{
    char path[kPathBytes];
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const unsigned before = slot.sequence.load(std::memory_order_acquire);
        if (before % 2 != 0)
            continue;
        std::size_t size = 0;
        while (size < kPathBytes - 1 && (path[size] = slot.path[size].load(std::memory_order_relaxed)) != '\0')
            ++size;
        path[size] = '\0';
        std::atomic_thread_fence(std::memory_order_acquire);
        if (slot.sequence.load(std::memory_order_relaxed) != before)
            continue;
        if (size > 0)
            ::unlink(path);
        return;
    }
}

void removeAndEnd(int signal)
{
    for (Slot& slot : slots)
        removeRegistered(slot);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

void installExitCleanup()
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current;
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = &removeAndEnd;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

int registerTemporary(const Path& path)
{
    if (path.native().size() >= kPathBytes)
        return -1;
    for (std::size_t i = 0; i < kSlots; ++i) {
        bool free = false;
        if (slots[i].taken.compare_exchange_strong(free, true)) {
            store(slots[i], path.native());
            return static_cast<int>(i);
        }
    }
    return -1;
}

void withdrawTemporary(int slot)
{
    if (slot < 0)
        return;
    store(slots[slot], {});
    slots[slot].taken = false;
}

// strerror speaks the language of the operator's locale, which the program has taken on at start.
std::string message(const std::error_code& code)
{
    return code.message();
}

} // namespace platform

} // namespace fsys
