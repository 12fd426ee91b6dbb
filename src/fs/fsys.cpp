// The platform-independent part of the file-system layer: the two tests built on attributes(), the copy algorithm,
// errors and hooks. Everything that differs between POSIX and Win32 is a primitive in platform.h.
#include "fsys.h"

#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace fsys {

bool folderTest(const Path& path)
{
    if (path.empty())
        return false;
    const auto attrs = attributes(path);
    if (!attrs)
        return false;
    if (detail::endsWithSeparator(path))
        return attrs->directory;
    return (attrs->directory || attrs->regular) && !attrs->hidden && !attrs->system;
}

bool fileTest(const Path& path)
{
    if (path.empty())
        return false;
    const auto attrs = attributes(path);
    return attrs && attrs->regular && !attrs->hidden && !attrs->system;
}

std::string Error::describe() const
{
    std::string text = operation;
    if (!path.empty())
        text += " \"" + detail::utf8(path) + "\"";
    text += ": " + reason();
    return text;
}

std::string Error::reason() const
{
    return platform::message(code) + " (" + std::to_string(code.value()) + ")";
}

bool hasExtension(const Path& name, std::string_view extension)
{
    const std::string text = detail::utf8(name.filename());
    if (text.size() < extension.size())
        return false;
    const auto lower = [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    };
    for (std::size_t i = 0; i < extension.size(); ++i) {
        if (lower(static_cast<unsigned char>(text[text.size() - extension.size() + i]))
            != lower(static_cast<unsigned char>(extension[i])))
            return false;
    }
    return true;
}

bool isTemporaryName(const Path& name)
{
    const std::string text = detail::utf8(name.filename());
    const std::string prefix = kTemporaryPrefix;
    const std::string suffix = kTemporarySuffix;
    return text.size() > prefix.size() + suffix.size() && text.starts_with(prefix) && text.ends_with(suffix);
}

namespace {

// The source read again and compared with what was written. A writer that changed the source while it was copied
// may leave its size and modification time as they were (a store through a shared memory mapping, a rewrite within
// one tick of a coarse clock), but not its bytes.
std::error_code compare(const platform::File& source, const platform::File& copy, std::uint64_t size, bool& same)
{
    constexpr std::size_t chunk = 1u << 20;
    std::vector<char> left(chunk);
    std::vector<char> right(chunk);
    same = true;
    for (std::uint64_t offset = 0; offset < size && same;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, size - offset));
        std::size_t got = 0;
        std::size_t written = 0;
        if (auto error = platform::readAt(source, offset, left.data(), want, got))
            return error;
        if (auto error = platform::readAt(copy, offset, right.data(), want, written))
            return error;
        same = got == want && written == want && std::memcmp(left.data(), right.data(), want) == 0;
        offset += want;
    }
    return {};
}

// After the rename the copy has succeeded whatever follows; what went wrong is only worth a line in the log.
void logAfterRename(const Error& error)
{
    if (error)
        std::fprintf(stderr, "datamaint: after the copy: %s\n", error.describe().c_str());
}

} // namespace

Error copyReplace(const Path& source, const Path& requested, const StepHook& hook, Permissions permissions,
                  CopyProgress* progress)
{
    using namespace platform;
    CopyProgress unwatched;
    CopyProgress& watch = progress ? *progress : unwatched;
    const Error cancelled {std::make_error_code(std::errc::operation_canceled), "cancel", requested};
    removeTemporaryOnExit();
    File in;
    if (auto error = openForReading(source, in))
        return {error, "open", source};
    Version before;
    if (auto error = versionOf(in, before))
        return {error, "stat", source};

    Path target;
    if (auto error = resolveLink(requested, target))
        return {error, "replace", requested};
    const bool targetExists = attributes(target).has_value();
    if (targetExists && !detail::replaceable(target))
        return {std::make_error_code(std::errc::permission_denied), "replace", requested};

    const Path folder = target.has_parent_path() ? target.parent_path() : Path(".");
    detail::removeStaleTemporaries(folder);
    Path temporary;
    File out;
    for (int attempt = 0; !out.isOpen(); ++attempt) {
        temporary = folder / detail::temporaryName(detail::randomBits());
        registerTemporary(temporary, out); // before it exists: a signal right after its creation must find it
        const auto error = createExclusive(temporary, in, out);
        if (error && (error != std::errc::file_exists || attempt == 100))
            return {error, "create", temporary};
    }
    registerTemporary(temporary, out);

    // From here on the temporary file is ours and must not outlive a failure before the rename.
    const auto fail = [&](Error error) {
        registerTemporary({}, out);
        out.reset();
        removeFile(temporary);
        return error;
    };

    if (auto error = detail::runHooks(hook, CopyStep::Created, temporary))
        return fail({error, "create", temporary});
    if (targetExists)
        keepPermissions(out, in, target, permissions);

    // Only the size the source had when it was opened: a file that keeps growing must not keep the copy going for
    // ever (the version check below fails it).
    constexpr std::uint64_t chunk = 8u << 20;
    std::uint64_t copied = 0;
    std::vector<char> buffer;
    watch.total = before.size;
    while (copied < before.size) {
        if (watch.cancel)
            return fail(cancelled);
        std::size_t moved = 0;
        bool writing = false;
        if (auto error = copyChunk(in, out, buffer, static_cast<std::size_t>(std::min(chunk, before.size - copied)),
                                   moved, writing))
            return fail({error, writing ? "write" : "read", writing ? temporary : source});
        if (moved == 0)
            break; // shrunk meanwhile; the version check tells
        copied += moved;
        watch.copied = copied;
        if (auto error = detail::runHooks(hook, CopyStep::Wrote, temporary))
            return fail({error, "write", temporary});
    }

    // Checked through the open file and through the path: a source replaced by a rename keeps its old version on
    // our handle.
    Version after;
    Version now;
    if (auto error = versionOf(in, after))
        return fail({error, "stat", source});
    if (versionOf(source, now) || after != before || now != before || copied != after.size)
        return fail({std::make_error_code(std::errc::device_or_resource_busy), "changed while copying", source});

    // The comparison reads what the flush writes out, so the two run side by side: the copy then costs about what
    // a flush alone costs.
    watch.finishing = true;
    std::error_code flushed;
    std::thread flusher([&] { flushed = flush(out); });
    bool same = false;
    const std::error_code compared = compare(in, out, copied, same);
    flusher.join();
    if (compared)
        return fail({compared, "read", source});
    if (!same)
        return fail({std::make_error_code(std::errc::device_or_resource_busy), "changed while copying", source});
    if (flushed)
        return fail({flushed, "flush", temporary});
    if (auto error = detail::runHooks(hook, CopyStep::Flushed, temporary))
        return fail({error, "flush", temporary});
    if (auto error = out.close())
        return fail({error, "close", temporary});

    // The last moment to stop, and the target decided again right before it is replaced: it may have changed while
    // we copied.
    if (watch.cancel)
        return fail(cancelled);
    if (!detail::replaceable(target))
        return fail({std::make_error_code(std::errc::permission_denied), "replace", requested});
    if (auto error = renameOver(temporary, target))
        return fail({error, "rename", requested});
    registerTemporary({}, out);
    logAfterRename({detail::runHooks(hook, CopyStep::Renamed, temporary), "rename", requested});
    if (auto error = flushFolder(folder))
        logAfterRename({error, "flush", folder});
    else
        logAfterRename({detail::runHooks(hook, CopyStep::FolderFlushed, temporary), "flush", folder});
    return {};
}

void removeTemporaryOnExit()
{
    static std::once_flag once;
    std::call_once(once, &platform::installExitCleanup);
}

namespace {
std::mutex hookMutex;
StepHook processHook;
} // namespace

void testing::setStepHook(StepHook hook)
{
    const std::lock_guard lock(hookMutex);
    processHook = std::move(hook);
}

namespace detail {

// path::string() converts through the ANSI code page on Windows and fails on Chinese names.
std::string utf8(const Path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool endsWithSeparator(const Path& path)
{
    const auto& text = path.native();
    return !text.empty() && Path(text.substr(text.size() - 1)).has_root_directory();
}

bool hiddenName(const Path& path)
{
    // Only the last component counts, as for the platform's own hidden attribute; "." and ".." name a folder
    // rather than hide one.
    Path trimmed = path;
    while (!trimmed.empty() && !trimmed.has_filename() && trimmed.has_relative_path())
        trimmed = trimmed.parent_path();
    const std::string name = trimmed.filename().string();
    return name.size() > 1 && name[0] == '.' && name != "..";
}

// Decided here rather than left to the platform: Wine lets a rename replace a read-only or hidden file where Windows
// refuses, and root may replace anything on POSIX.
bool replaceable(const Path& target)
{
    const auto attrs = attributes(target);
    return !attrs || (attrs->regular && !attrs->hidden && !attrs->system && !attrs->readOnly);
}

std::error_code runHooks(const StepHook& hook, CopyStep step, const Path& temporary)
{
    StepHook global;
    {
        const std::lock_guard lock(hookMutex);
        global = processHook;
    }
    if (global) {
        if (auto error = global(step, temporary))
            return error;
    }
    return hook ? hook(step, temporary) : std::error_code {};
}

void removeStaleTemporaries(const Path& folder)
{
    std::error_code error;
    for (const Entry& entry : listFolder(folder, error)) {
        if (isTemporaryName(entry.name))
            platform::removeIfStale(folder / entry.name);
    }
}

Path temporaryName(std::uint64_t random)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random));
    return Path(std::string(kTemporaryPrefix) + hex + kTemporarySuffix);
}

std::uint64_t randomBits()
{
    static std::mutex mutex;
    static std::mt19937_64 engine {(static_cast<std::uint64_t>(std::random_device {}()) << 32)
                                   ^ std::random_device {}()};
    const std::lock_guard lock(mutex);
    return engine();
}

} // namespace detail

} // namespace fsys
