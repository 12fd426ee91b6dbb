// POSIX implementation of the file-system layer.
#include "fsys.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
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

// Closes a descriptor once, even when an early return skips the explicit close.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool sameVersion(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::error_code writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

// Copies the size the source had when it was opened: a file that keeps growing must not keep the copy going for
// ever (the version check afterwards fails it). sendfile keeps the bytes in the kernel and, unlike
// copy_file_range, never shares blocks with the source: a backup must survive damage to the original's blocks.
Error copyBytes(int in, int out, const Path& source, const Path& temporary, const StepHook& hook, std::uint64_t size,
                std::uint64_t& copied)
{
    constexpr std::size_t chunk = 8u << 20;
    bool useSendfile = true;
    std::unique_ptr<char[]> buffer;
    while (copied < size) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, size - copied));
        ssize_t moved = -1;
        if (useSendfile) {
            moved = ::sendfile(out, in, nullptr, want);
            if (moved < 0 && (errno == EINVAL || errno == ENOSYS) && copied == 0) {
                useSendfile = false;
                continue;
            }
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved < 0)
                return {lastError(), "copy", source};
        } else {
            if (!buffer)
                buffer = std::make_unique<char[]>(1u << 20);
            moved = ::read(in, buffer.get(), std::min<std::size_t>(want, 1u << 20));
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved < 0)
                return {lastError(), "read", source};
            if (auto error = writeAll(out, buffer.get(), static_cast<std::size_t>(moved)))
                return {error, "write", temporary};
        }
        if (moved == 0)
            return {}; // shrunk meanwhile; the version check tells
        copied += static_cast<std::uint64_t>(moved);
        if (auto error = detail::runHooks(hook, CopyStep::Wrote, temporary))
            return {error, "write", temporary};
    }
    return {};
}

} // namespace

std::optional<Attributes> attributes(const Path& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    Attributes attrs = fromStat(st, detail::hiddenName(path));
    attrs.readOnly = ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
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

Error copyReplace(const Path& source, const Path& target, const StepHook& hook)
{
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return {lastError(), "open", source};
    struct stat before;
    if (::fstat(in.get(), &before) != 0)
        return {lastError(), "stat", source};
    if (!S_ISREG(before.st_mode))
        return {std::make_error_code(S_ISDIR(before.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument),
                "open", source};

    struct stat old;
    const bool targetExists = ::stat(target.c_str(), &old) == 0;
    if (targetExists && !detail::replaceable(target))
        return {std::make_error_code(std::errc::permission_denied), "replace", target};

    const Path folder = target.has_parent_path() ? target.parent_path() : Path(".");
    Path temporary;
    int created = -1;
    for (int attempt = 0; created < 0; ++attempt) {
        temporary = folder / detail::temporaryName(detail::randomBits());
        created = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (created < 0 && (errno != EEXIST || attempt == 100))
            return {lastError(), "create", temporary};
    }
    Descriptor out(created);

    // From here on the temporary file is ours and must not outlive a failure.
    // The descriptor may already be closed (released) when a later step fails.
    auto fail = [&](Error error) {
        if (out.get() >= 0)
            ::close(out.release());
        ::unlink(temporary.c_str());
        return error;
    };

    if (auto error = detail::runHooks(hook, CopyStep::Created, temporary))
        return fail({error, "create", temporary});
    if (targetExists) {
        // The replacement takes the place of the old file, so it keeps its permissions (and, for root, its owner).
        (void)::fchmod(out.get(), old.st_mode & 07777);
        if (::geteuid() == 0)
            (void)::fchown(out.get(), old.st_uid, old.st_gid);
    }

    std::uint64_t copied = 0;
    if (auto error
        = copyBytes(in.get(), out.get(), source, temporary, hook, static_cast<std::uint64_t>(before.st_size), copied))
        return fail(error);

    struct stat after;
    struct stat now;
    if (::fstat(in.get(), &after) != 0)
        return fail({lastError(), "stat", source});
    if (::stat(source.c_str(), &now) != 0 || !sameVersion(before, after) || !sameVersion(before, now)
        || copied != static_cast<std::uint64_t>(after.st_size))
        return fail({std::make_error_code(std::errc::device_or_resource_busy), "changed while copying", source});

    if (::fsync(out.get()) != 0)
        return fail({lastError(), "flush", temporary});
    if (auto error = detail::runHooks(hook, CopyStep::Flushed, temporary))
        return fail({error, "flush", temporary});
    if (::close(out.release()) != 0)
        return fail({lastError(), "close", temporary});

    if (!detail::replaceable(target))
        return fail({std::make_error_code(std::errc::permission_denied), "replace", target});
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail({lastError(), "rename", target});
    if (auto error = detail::runHooks(hook, CopyStep::Renamed, temporary))
        return {error, "rename", target};

    // The rename is durable only once the folder that records it is on disk too.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0)
        return {lastError(), "flush", folder};
    if (auto error = detail::runHooks(hook, CopyStep::FolderFlushed, temporary))
        return {error, "flush", folder};
    return {};
}

} // namespace fsys
