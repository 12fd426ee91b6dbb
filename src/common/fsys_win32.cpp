// Win32 implementation of the file-system layer.
#include "fsys.h"

#include <algorithm>
#include <memory>
#include <windows.h>

namespace fsys {

namespace {

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

struct HandleCloser
{
    void operator()(HANDLE handle) const
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

bool sameVersion(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh
        && a.nFileIndexLow == b.nFileIndexLow && a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow
        && a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime
        && a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime;
}

// A rename refused because someone (a virus scanner, an indexer) briefly holds the target gets a few more
// tries, about a quarter of a second in all.
bool moveOver(const Path& from, const Path& to)
{
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (::GetLastError() != ERROR_SHARING_VIOLATION || attempt == 10)
            return false;
        ::Sleep(25);
    }
}

} // namespace

std::optional<Attributes> attributes(const Path& path)
{
    if (path.empty())
        return std::nullopt;
    const DWORD bits = ::GetFileAttributesW(path.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return fromWin32(bits);
}

std::vector<Entry> listFolder(const Path& folder, std::error_code& error)
{
    error.clear();
    std::vector<Entry> entries;
    // Ask for every name and match extensions ourselves: a pattern such as "*.ZIP" also matches "a.zipx" through
    // its short name.
    const Path pattern = (folder.empty() ? Path(L".") : folder) / L"*";
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
    if (!::CreateDirectoryW(folder.c_str(), nullptr))
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

Error copyReplace(const Path& source, const Path& target, const StepHook& hook)
{
    // Sharing reads only: while we copy, nobody can write the source, and a source that a writer holds open
    // cannot be copied at all, as with the platform's own copy.
    Handle in(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (in.get() == INVALID_HANDLE_VALUE)
        return {lastError(), "open", source};
    BY_HANDLE_FILE_INFORMATION before;
    if (!::GetFileInformationByHandle(in.get(), &before))
        return {lastError(), "stat", source};
    if (before.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {std::make_error_code(std::errc::is_a_directory), "open", source};

    const bool targetExists = attributes(target).has_value();
    if (targetExists && !detail::replaceable(target))
        return {std::make_error_code(std::errc::permission_denied), "replace", target};

    const Path folder = target.has_parent_path() ? target.parent_path() : Path(L".");
    Path temporary;
    Handle out(INVALID_HANDLE_VALUE);
    for (int attempt = 0; out.get() == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folder / detail::temporaryName(detail::randomBits());
        out.reset(
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (out.get() == INVALID_HANDLE_VALUE && (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100))
            return {lastError(), "create", temporary};
    }

    auto fail = [&](Error error) {
        out.reset();
        ::DeleteFileW(temporary.c_str());
        return error;
    };

    if (auto error = detail::runHooks(hook, CopyStep::Created, temporary))
        return fail({error, "create", temporary});

    constexpr DWORD chunk = 1u << 20;
    auto buffer = std::make_unique<char[]>(chunk);
    // Only the size the source had when it was opened: a file that keeps growing must not keep the copy going.
    const unsigned long long expected
        = (static_cast<unsigned long long>(before.nFileSizeHigh) << 32) | before.nFileSizeLow;
    unsigned long long copied = 0;
    while (copied < expected) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<unsigned long long>(chunk, expected - copied));
        if (!::ReadFile(in.get(), buffer.get(), want, &got, nullptr))
            return fail({lastError(), "read", source});
        if (got == 0)
            break;
        for (DWORD done = 0; done < got;) {
            DWORD put = 0;
            if (!::WriteFile(out.get(), buffer.get() + done, got - done, &put, nullptr) || put == 0)
                return fail({lastError(), "write", temporary});
            done += put;
        }
        copied += got;
        if (auto error = detail::runHooks(hook, CopyStep::Wrote, temporary))
            return fail({error, "write", temporary});
    }

    BY_HANDLE_FILE_INFORMATION after;
    if (!::GetFileInformationByHandle(in.get(), &after))
        return fail({lastError(), "stat", source});
    const unsigned long long size = (static_cast<unsigned long long>(after.nFileSizeHigh) << 32) | after.nFileSizeLow;
    if (!sameVersion(before, after) || copied != size)
        return fail({std::make_error_code(std::errc::device_or_resource_busy), "changed while copying", source});

    if (!::FlushFileBuffers(out.get()))
        return fail({lastError(), "flush", temporary});
    if (auto error = detail::runHooks(hook, CopyStep::Flushed, temporary))
        return fail({error, "flush", temporary});
    if (!::CloseHandle(out.release()))
        return fail({lastError(), "close", temporary});

    if (!detail::replaceable(target))
        return fail({std::make_error_code(std::errc::permission_denied), "replace", target});
    if (!moveOver(temporary, target))
        return fail({lastError(), "rename", target});
    if (auto error = detail::runHooks(hook, CopyStep::Renamed, temporary))
        return {error, "rename", target};
    // MOVEFILE_WRITE_THROUGH already waited for the rename to reach the disk.
    if (auto error = detail::runHooks(hook, CopyStep::FolderFlushed, temporary))
        return {error, "flush", folder};
    return {};
}

} // namespace fsys
