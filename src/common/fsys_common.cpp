// Platform-independent parts of the file-system layer: the two tests built on attributes(), errors and hooks.
#include "fsys.h"

#include <cstdio>
#include <mutex>
#include <random>

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
    text += ": " + code.message();
    return text;
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
