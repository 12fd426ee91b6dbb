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
#include <utility>
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

const char* operationName(Operation operation)
{
    switch (operation) {
    case Operation::Open:
        return "open";
    case Operation::Stat:
        return "stat";
    case Operation::Replace:
        return "replace";
    case Operation::Create:
        return "create";
    case Operation::Read:
        return "read";
    case Operation::Write:
        return "write";
    case Operation::Flush:
        return "flush";
    case Operation::Rename:
        return "rename";
    case Operation::CreateFolder:
        return "create folder";
    case Operation::Changed:
        return "changed while copying";
    case Operation::Cancel:
        return "cancel";
    case Operation::KeepPermissions:
        return "keep permissions";
    }
    return "?";
}

std::string Error::describe() const
{
    std::string text = operationName(operation);
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
    const std::string_view prefix = kTemporaryPrefix;
    const std::string_view suffix = kTemporarySuffix;
    constexpr std::size_t digits = 16;
    if (text.size() != prefix.size() + digits + suffix.size() || !text.starts_with(prefix) || !text.ends_with(suffix))
        return false;
    const std::string_view hex(text.data() + prefix.size(), digits);
    return hex.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool CopyControl::requestStop()
{
    unsigned state = m_state.load();
    while (state != static_cast<unsigned>(Stage::Committed)) {
        if (m_state.compare_exchange_weak(state, state | kStopped))
            return true;
    }
    return false;
}

bool CopyControl::stopRequested() const
{
    return (m_state.load() & kStopped) != 0;
}

CopyControl::Stage CopyControl::stage() const
{
    return static_cast<Stage>(m_state.load() & ~kStopped);
}

void CopyControl::finishing()
{
    unsigned state = m_state.load();
    while (!m_state.compare_exchange_weak(state, (state & kStopped) | static_cast<unsigned>(Stage::Finishing))) { }
}

bool CopyControl::commit()
{
    unsigned state = m_state.load();
    while ((state & kStopped) == 0) {
        if (m_state.compare_exchange_weak(state, static_cast<unsigned>(Stage::Committed)))
            return true;
    }
    return false;
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

// The copy's temporary file, the hold on it and its registration for the exit cleanup: one resource, removed on
// every way out, exceptions included, unless the rename has made it the target.
class Temporary
{
public:
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() { discard(); }

    // A new file under a fresh random name in the folder, created exclusively and held.
    Error create(const Path& folder, const platform::File& like)
    {
        for (int attempt = 0;; ++attempt) {
            m_path = folder / detail::temporaryName(detail::randomBits());
            m_slot = platform::registerTemporary(m_path);
            const auto error = platform::createExclusive(m_path, like, m_file);
            if (!error)
                return {};
            withdraw();
            if (error != std::errc::file_exists || attempt == 100)
                return {error, Operation::Create, m_path};
        }
    }

    const Path& path() const { return m_path; }
    const platform::File& file() const { return m_file; }

    // Renames the file over the target; from then on it is the target, no longer ours to remove.
    std::error_code commit(const Path& target)
    {
        if (auto error = platform::renameOver(m_file, m_path, target))
            return error;
        withdraw();
        m_file.reset();
        return {};
    }

private:
    // Removed first and withdrawn after: a signal in between finds a name that is already gone, which is harmless,
    // while the other order could leave the file behind.
    void discard()
    {
        if (!m_file.isOpen())
            return;
        m_file.reset();
        platform::removeFile(m_path);
        withdraw();
    }

    void withdraw() { platform::withdrawTemporary(std::exchange(m_slot, -1)); }

    Path m_path;
    platform::File m_file;
    int m_slot = -1;
};

} // namespace

Error copyReplace(const CopyJob& job, CopyControl* control)
{
    using namespace platform;
    CopyControl unwatched;
    CopyControl& watch = control ? *control : unwatched;
    const Path& source = job.source;
    const Error cancelled {std::make_error_code(std::errc::operation_canceled), Operation::Cancel, job.target};
    removeTemporaryOnExit();
    File in;
    if (auto error = openForReading(source, in))
        return {error, Operation::Open, source};
    Version before;
    if (auto error = versionOf(in, before))
        return {error, Operation::Stat, source};

    Path target;
    if (auto error = resolveLink(job.target, target))
        return {error, Operation::Replace, job.target};
    const bool targetExists = attributes(target).has_value();
    if (targetExists && !detail::replaceable(target))
        return {std::make_error_code(std::errc::permission_denied), Operation::Replace, job.target};

    const Path folder = target.has_parent_path() ? target.parent_path() : Path(".");
    detail::removeStaleTemporaries(folder);
    Temporary temporary;
    if (auto error = temporary.create(folder, in))
        return error;
    const File& out = temporary.file();
    const auto step = [&](CopyStep at) { return detail::runHooks(job.hook, at, temporary.path()); };

    if (auto error = step(CopyStep::Created))
        return {error, Operation::Create, temporary.path()};
    if (targetExists) {
        if (auto error = keepPermissions(out, in, target, job.permissions))
            return {error, Operation::KeepPermissions, job.target};
    }

    // Only the size the source had when it was opened: a file that keeps growing must not keep the copy going for
    // ever (the version check below fails it).
    constexpr std::uint64_t chunk = 8u << 20;
    std::uint64_t copied = 0;
    std::vector<char> buffer;
    watch.total = before.size;
    while (copied < before.size) {
        if (watch.stopRequested())
            return cancelled;
        std::size_t moved = 0;
        bool writing = false;
        if (auto error = copyChunk(in, out, buffer, static_cast<std::size_t>(std::min(chunk, before.size - copied)),
                                   moved, writing)) {
            if (writing)
                return {error, Operation::Write, temporary.path()};
            return {error, Operation::Read, source};
        }
        if (moved == 0)
            break; // shrunk meanwhile; the version check tells
        copied += moved;
        watch.copied = copied;
        if (auto error = step(CopyStep::Wrote))
            return {error, Operation::Write, temporary.path()};
    }

    // Checked through the open file and through the path: a source replaced by a rename keeps its old version on
    // our handle.
    const Error changed {std::make_error_code(std::errc::device_or_resource_busy), Operation::Changed, source};
    Version after;
    Version now;
    if (auto error = versionOf(in, after))
        return {error, Operation::Stat, source};
    if (versionOf(source, now) || after != before || now != before || copied != after.size)
        return changed;

    // The comparison reads what the flush writes out, so the two run side by side: the copy then costs about what
    // a flush alone costs.
    watch.finishing();
    std::error_code flushed;
    std::jthread flusher([&] { flushed = flush(out); });
    bool same = false;
    const std::error_code compared = compare(in, out, copied, same);
    flusher.join();
    if (compared)
        return {compared, Operation::Read, source};
    if (!same)
        return changed;
    if (flushed)
        return {flushed, Operation::Flush, temporary.path()};
    if (auto error = step(CopyStep::Flushed))
        return {error, Operation::Flush, temporary.path()};

    // The target decided again right before it is replaced: it may have changed while we copied. Then the last
    // moment to stop: a stop that comes later is refused, and the copy ends as it ends.
    if (watch.stopRequested())
        return cancelled;
    if (!detail::replaceable(target))
        return {std::make_error_code(std::errc::permission_denied), Operation::Replace, job.target};
    if (auto error = step(CopyStep::Renaming))
        return {error, Operation::Rename, job.target};
    if (!watch.commit())
        return cancelled;
    if (auto error = temporary.commit(target))
        return {error, Operation::Rename, job.target};
    logAfterRename({step(CopyStep::Renamed), Operation::Rename, job.target});
    if (auto error = flushFolder(folder))
        logAfterRename({error, Operation::Flush, folder});
    else
        logAfterRename({step(CopyStep::FolderFlushed), Operation::Flush, folder});
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
        if (entry.kind == EntryKind::OrdinaryFile && isTemporaryName(entry.name))
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
