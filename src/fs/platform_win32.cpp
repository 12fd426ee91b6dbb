// The Win32 primitives of the file-system layer.
#include "platform.h"

#include <algorithm>
#include <memory>
#include <windows.h>

#include <aclapi.h>

namespace fsys {

namespace {

// Every Win32 call gets the "\\?\" form of a full path: a temporary name (about 31 characters) beside a target near
// MAX_PATH must not fail for its length. GetFullPathNameW first does what Windows does to a plain path (makes it
// absolute, turns "/" into "\", drops trailing dots and spaces), so both forms name the same file.
std::wstring longPath(const Path& path)
{
    const std::wstring& text = path.native();
    if (text.empty() || text.starts_with(LR"(\\?\)"))
        return text;
    std::wstring full(::GetFullPathNameW(text.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(::GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty())
        return text;
    return full.starts_with(LR"(\\)") ? LR"(\\?\UNC\)" + full.substr(2) : LR"(\\?\)" + full;
}

std::error_code lastError()
{
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

Attributes fromWin32(DWORD bits)
{
    Attributes attrs;
    attrs.directory = (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attrs.regular = !attrs.directory && (bits & FILE_ATTRIBUTE_DEVICE) == 0;
    attrs.hidden = (bits & FILE_ATTRIBUTE_HIDDEN) != 0;
    attrs.system = (bits & FILE_ATTRIBUTE_SYSTEM) != 0;
    attrs.readOnly = !attrs.directory && (bits & FILE_ATTRIBUTE_READONLY) != 0;
    return attrs;
}

} // namespace

// A symbolic link (or junction) is asked about through a handle, which follows it; one that points nowhere is
// nothing.
std::optional<Attributes> attributes(const Path& path)
{
    if (path.empty())
        return std::nullopt;
    const std::wstring name = longPath(path);
    DWORD bits = ::GetFileAttributesW(name.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    if (bits & FILE_ATTRIBUTE_REPARSE_POINT) {
        const HANDLE target = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION info;
        const bool found = target != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(target, &info);
        if (target != INVALID_HANDLE_VALUE)
            ::CloseHandle(target);
        if (!found)
            return std::nullopt;
        bits = info.dwFileAttributes;
    }
    return fromWin32(bits);
}

std::vector<Entry> listFolder(const Path& folder, std::error_code& error)
{
    error.clear();
    std::vector<Entry> entries;
    // Ask for every name and match extensions ourselves: a pattern such as "*.ZIP" also matches "a.zipx" through
    // its short name.
    const std::wstring pattern = longPath((folder.empty() ? Path(L".") : folder) / L"*");
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        if (::GetLastError() != ERROR_FILE_NOT_FOUND)
            error = lastError();
        return entries;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const Attributes attrs = fromWin32(data.dwFileAttributes);
        EntryKind kind = EntryKind::Other;
        if (!attrs.hidden && !attrs.system)
            kind = attrs.directory ? EntryKind::Folder : attrs.regular ? EntryKind::OrdinaryFile : EntryKind::Other;
        entries.push_back({Path(name), kind});
    } while (::FindNextFileW(find, &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        error = lastError();
    ::FindClose(find);
    return entries;
}

std::error_code makeFolder(const Path& folder)
{
    if (!::CreateDirectoryW(longPath(folder).c_str(), nullptr))
        return lastError();
    return {};
}

Path executableFolder()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::filesystem::current_path();
        if (length < buffer.size()) {
            buffer.resize(length);
            return Path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace platform {

namespace {

HANDLE handle(const File& file)
{
    return reinterpret_cast<HANDLE>(file.native());
}

File fromHandle(HANDLE native)
{
    return File(reinterpret_cast<std::intptr_t>(native));
}

std::uint64_t join(DWORD high, DWORD low)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

Version fromInfo(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow),
            join(info.nFileSizeHigh, info.nFileSizeLow),
            static_cast<std::int64_t>(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime))};
}

} // namespace

void File::reset()
{
    if (isOpen())
        ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_native, -1)));
}

// Sharing reads only: while we copy, nobody can write the source, and a source that a writer holds open cannot be
// copied at all, as with the platform's own copy.
std::error_code openForReading(const Path& path, File& file)
{
    file = fromHandle(::CreateFileW(longPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.isOpen())
        return lastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle(file), &info))
        return lastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::make_error_code(std::errc::is_a_directory);
    if (::GetFileType(handle(file)) != FILE_TYPE_DISK)
        return std::make_error_code(std::errc::invalid_argument);
    return {};
}

std::error_code versionOf(const File& file, Version& version)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle(file), &info))
        return lastError();
    version = fromInfo(info);
    return {};
}

// Opened for no access at all, which no sharing mode refuses, not even our own read-only share of the source.
std::error_code versionOf(const Path& path, Version& version)
{
    const File file
        = fromHandle(::CreateFileW(longPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.isOpen())
        return lastError();
    return versionOf(file, version);
}

// Shared with nobody: while the copy holds it, no other process can open or delete it, which is what tells
// removeIfStale() that it is live. DELETE access lets the copy rename it through this very handle.
std::error_code createExclusive(const Path& path, const File&, File& file)
{
    file = fromHandle(::CreateFileW(longPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | WRITE_DAC | DELETE, 0,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.isOpen())
        return {};
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
        ? std::make_error_code(std::errc::file_exists)
        : std::error_code(static_cast<int>(code), std::system_category());
}

// A new backup inherits its folder's permissions, as a file created there by any program would. A restored data
// file keeps who may open it (its access list) and its attributes, rather than take the folder's defaults: the
// accounting program's users must still be able to open it.
std::error_code keepPermissions(const File& file, const File&, const Path& replaced, Permissions permissions)
{
    if (permissions != Permissions::OfTarget)
        return {};
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD result = ::GetNamedSecurityInfoW(longPath(replaced).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, &access, nullptr, &descriptor);
    if (result != ERROR_SUCCESS)
        return {static_cast<int>(result), std::system_category()};
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION
        | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    result = ::SetSecurityInfo(handle(file), SE_FILE_OBJECT, what, nullptr, nullptr, access, nullptr);
    ::LocalFree(descriptor);
    if (result != ERROR_SUCCESS)
        return {static_cast<int>(result), std::system_category()};
    const DWORD attributes = ::GetFileAttributesW(longPath(replaced).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    FILE_BASIC_INFO basic {};
    basic.FileAttributes = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    basic.FileAttributes = basic.FileAttributes ? basic.FileAttributes : FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(handle(file), FileBasicInfo, &basic, sizeof basic))
        return lastError();
    return {};
}

// The final path of a symbolic link or junction, through a handle that follows it.
std::error_code resolveLink(const Path& path, Path& resolved)
{
    resolved = path;
    const std::wstring name = longPath(path);
    const DWORD bits = ::GetFileAttributesW(name.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES || !(bits & FILE_ATTRIBUTE_REPARSE_POINT))
        return {};
    const File target
        = fromHandle(::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target.isOpen())
        return lastError();
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle(target), final.data(), static_cast<DWORD>(final.size()),
                                                         FILE_NAME_NORMALIZED);
        if (length == 0)
            return lastError();
        if (length < final.size()) {
            final.resize(length);
            resolved = Path(final);
            return {};
        }
        final.resize(length);
    }
}

// A live copy holds its file without sharing, so Windows refuses to delete it; folders, devices and links are never
// touched.
void removeIfStale(const Path& path)
{
    const std::wstring name = longPath(path);
    const DWORD bits = ::GetFileAttributesW(name.c_str());
    constexpr DWORD notAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    if (bits != INVALID_FILE_ATTRIBUTES && !(bits & notAFile))
        ::DeleteFileW(name.c_str());
}

std::error_code readAt(const File& file, std::uint64_t offset, char* data, std::size_t size, std::size_t& got)
{
    got = 0;
    while (got < size) {
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(offset + got);
        at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
        if (!::ReadFile(handle(file), data + got, want, &read, &at)) {
            if (::GetLastError() == ERROR_HANDLE_EOF)
                break;
            return lastError();
        }
        if (read == 0)
            break;
        got += read;
    }
    return {};
}

// A program with windows gets no console events, and a service's logoff and shutdown events do not reach it either;
// the windows stop a copy when the session ends, and the next copy sweeps what a killed process left.
void installExitCleanup() { }

int registerTemporary(const Path&)
{
    return -1;
}

void withdrawTemporary(int) { }

std::error_code copyChunk(const File& in, const File& out, std::vector<char>& buffer, std::size_t most,
                          std::size_t& moved, bool& writing)
{
    buffer.resize(1u << 20);
    writing = false;
    DWORD got = 0;
    if (!::ReadFile(handle(in), buffer.data(), static_cast<DWORD>(std::min(most, buffer.size())), &got, nullptr))
        return lastError();
    writing = true;
    for (DWORD done = 0; done < got;) {
        DWORD put = 0;
        if (!::WriteFile(handle(out), buffer.data() + done, got - done, &put, nullptr))
            return lastError();
        done += put;
    }
    moved = got;
    return {};
}

std::error_code flush(const File& file)
{
    return ::FlushFileBuffers(handle(file)) ? std::error_code {} : lastError();
}

// The target (a backup or the data file) may be held open for a moment by a virus scanner or an indexer, or by
// the accounting program itself. Windows then refuses the rename with a sharing violation or, as often, with
// "access denied"; a scanner commonly keeps a file it has just seen for longer than a moment, so both are tried
// again with growing waits, for about two seconds in all.
bool retryable(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Through the handle that holds the file, which has DELETE access and shares nothing: no other program can remove
// or open the temporary file between the last write and the rename.
std::error_code renameOver(const File& file, const Path&, const Path& to)
{
    const std::wstring name = longPath(to);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    int waited = 0;
    for (int wait = 10;; wait = std::min(wait * 2, 250)) {
        if (::SetFileInformationByHandle(handle(file), FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
            return {};
        if (!retryable(::GetLastError()) || waited >= 2000)
            return lastError();
        ::Sleep(static_cast<DWORD>(wait));
        waited += wait;
    }
}

// MOVEFILE_WRITE_THROUGH is documented to flush only a move that becomes a copy and a delete; a rename within one
// folder is recorded by the file system's own journal, and Windows documents no way for a program without
// administrator rights to wait for a folder's entries to reach the disk.
std::error_code flushFolder(const Path&)
{
    return {};
}

void removeFile(const Path& path)
{
    ::DeleteFileW(longPath(path).c_str());
}

// std::system_category().message() gives the text in the ANSI code page, which is not UTF-8 on a Chinese Windows;
// the wide call gives it in the user's language as UTF-16.
std::string message(const std::error_code& code)
{
    if (code.category() != std::system_category())
        return code.message();
    wchar_t* text = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code.value()), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide(text ? text : L"", length);
    ::LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
        wide.pop_back();
    if (wide.empty())
        return "error";
    const int size
        = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

} // namespace platform

} // namespace fsys
