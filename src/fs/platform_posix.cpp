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
            if (errno != 0)
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

std::error_code File::close()
{
    const int native = static_cast<int>(std::exchange(m_native, -1));
    return native >= 0 && ::close(native) != 0 ? lastError() : std::error_code {};
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

// The lock tells removeIfStale() that a live copy holds the file. Between the creation and the lock another
// process may have taken the file for stale and removed it; then the name is as good as taken.
std::error_code createExclusive(const Path& path, const File& like, File& file)
{
    // The source's bits, and always its owner's write bit: a file without any is never replaced, and the next
    // backup under the same name must be able to replace this one.
    struct stat source;
    const mode_t mode = ::fstat(fd(like), &source) == 0 ? (source.st_mode & 0777) | S_IWUSR : 0666;
    file = File(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!file.isOpen())
        return errno == EEXIST ? std::make_error_code(std::errc::file_exists) : lastError();
    struct stat st;
    if (::flock(fd(file), LOCK_EX | LOCK_NB) != 0 || ::fstat(fd(file), &st) != 0 || st.st_nlink == 0) {
        file.reset();
        return std::make_error_code(std::errc::file_exists);
    }
    return {};
}

void keepPermissions(const File& file, const File& source, const Path& replaced, Permissions permissions)
{
    struct stat old;
    struct stat from;
    if (::stat(replaced.c_str(), &old) != 0 || ::fstat(fd(source), &from) != 0)
        return;
    const bool root = ::geteuid() == 0;
    if (permissions == Permissions::OfTarget) {
        // The group only takes where we belong to it; a change of owner needs root.
        (void)::fchown(fd(file), root ? old.st_uid : static_cast<uid_t>(-1), old.st_gid);
        (void)::fchmod(fd(file), old.st_mode & 07777);
        return;
    }
    if (root)
        (void)::fchown(fd(file), old.st_uid, old.st_gid);
    if ((old.st_mode & 0777 & ~from.st_mode) == 0)
        (void)::fchmod(fd(file), old.st_mode & 07777);
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

void removeIfStale(const Path& path)
{
    File file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held;
    struct stat named;
    if (file.isOpen() && ::flock(fd(file), LOCK_EX | LOCK_NB) == 0 && ::fstat(fd(file), &held) == 0
        && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
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

std::error_code renameOver(const Path& from, const Path& to)
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

// What a signal handler may read: a fixed buffer, armed only while it holds a whole path.
char registered[4096];
std::atomic<bool> armed {false};

void removeAndEnd(int signal)
{
    if (armed.load())
        ::unlink(registered);
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

void registerTemporary(const Path& path, const File&)
{
    armed = false;
    if (path.empty() || path.native().size() >= sizeof registered)
        return;
    std::memcpy(registered, path.c_str(), path.native().size() + 1);
    armed = true;
}

// strerror speaks the language of the operator's locale, which the program has taken on at start.
std::string message(const std::error_code& code)
{
    return code.message();
}

} // namespace platform

} // namespace fsys
