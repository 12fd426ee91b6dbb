// The per-platform primitives under the file-system layer. The copy algorithm and the tests built on attributes
// are written once, over these; platform_posix.cpp and platform_win32.cpp implement them and nothing else.
#pragma once

#include "fsys.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace fsys::platform {

// An open file (a POSIX descriptor or a Win32 handle), closed once when it goes out of scope.
class File
{
public:
    File() = default;
    explicit File(std::intptr_t native)
        : m_native(native)
    {
    }
    File(File&& other) noexcept
        : m_native(std::exchange(other.m_native, -1))
    {
    }
    File& operator=(File&& other) noexcept
    {
        reset();
        m_native = std::exchange(other.m_native, -1);
        return *this;
    }
    ~File() { reset(); }

    bool isOpen() const { return m_native != -1; }
    std::intptr_t native() const { return m_native; }
    // Nothing can fail in a close that matters: what must last is flushed before the file is closed.
    void reset();

private:
    std::intptr_t m_native = -1;
};

// Which file a version belongs to, and which state of it: a copy is whole only if this did not change meanwhile.
struct Version
{
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const Version&) const = default;
};

// Opens an existing regular file for reading; anything else fails.
std::error_code openForReading(const Path& path, File& file);
std::error_code versionOf(const File& file, Version& version);
std::error_code versionOf(const Path& path, Version& version);

// Creates a new file for reading and writing, with the permission bits a copy of `like` starts with (see
// Permissions::OfSource) less the umask, and holds it so that removeIfStale() leaves it alone while it is open.
// Fails with std::errc::file_exists when the name is taken: in use already, or the file was swept by another
// process before it could be held; the caller tries another name. Where the file system cannot hold a file at all
// the file is created unheld.
std::error_code createExclusive(const Path& path, const File& like, File& file);

// Gives a new file the permissions the copy asks for (see Permissions) from the file it is about to replace.
std::error_code keepPermissions(const File& file, const File& source, const Path& replaced, Permissions permissions);

// The file a symbolic link points to, or the path itself when it is no link; fails for a link that points nowhere.
std::error_code resolveLink(const Path& path, Path& resolved);

// Removes a temporary file that no live copy holds. Anything but a regular file is left alone, and never opened.
void removeIfStale(const Path& path);

// Reads up to size bytes at offset; got is 0 at the end of the file.
std::error_code readAt(const File& file, std::uint64_t offset, char* data, std::size_t size, std::size_t& got);

// Makes the catchable ways of ending the process remove the registered temporary files first.
void installExitCleanup();
// Registers a temporary file for the exit cleanup, before it exists: a signal right after its creation must find
// it. Returns the slot to withdraw it from once it is gone or renamed, or -1 when the cleanup cannot take it.
int registerTemporary(const Path& path);
void withdrawTemporary(int slot);

// Moves up to `most` bytes from in to out, at both files' current positions, through buffer where the platform
// cannot move them without one. moved is 0 at the end of the source. On failure, writing tells which side failed.
std::error_code copyChunk(const File& in, const File& out, std::vector<char>& buffer, std::size_t most,
                          std::size_t& moved, bool& writing);

// Waits until the file's data is on the disk.
std::error_code flush(const File& file);

// Renames the open file from over to, replacing it in one step, while the file stays open and held.
std::error_code renameOver(const File& file, const Path& from, const Path& to);

// Waits until the folder's record of a rename is on the disk, where the platform offers a way to.
std::error_code flushFolder(const Path& folder);

void removeFile(const Path& path);

// The platform's text for an error code, UTF-8, without a trailing line break.
std::string message(const std::error_code& code);

} // namespace fsys::platform
