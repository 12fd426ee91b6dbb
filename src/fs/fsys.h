// The file-system layer: every existence question, listing, folder creation and data copy goes through here.
//
// Written in standard C++, one algorithm over the POSIX or Win32 primitives of platform.h, so that it builds and is
// tested on both platforms without Qt. The rest of the program converts its QStrings at this boundary.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace fsys {

using Path = std::filesystem::path;

// What the platform says about one path, after following links.
// POSIX has no hidden or system attributes: a name starting with "." counts as hidden, and anything that is
// neither a regular file nor a directory (a device, a socket, a pipe) counts as a system file.
struct Attributes
{
    bool directory = false;
    bool regular = false;
    bool hidden = false;
    bool system = false;
    bool readOnly = false; // Windows: the read-only attribute; POSIX: no write permission bit at all, or not ours
};

// Empty when nothing can be found at the path, including names the platform rejects. Wildcard characters are
// never expanded: the answer concerns the one path given.
std::optional<Attributes> attributes(const Path& path);

// The folder test: an existing folder or ordinary file that is neither hidden nor a system file. A path that ends
// in a separator asks about the folder's contents, so only its being a folder counts (a drive root is hidden and
// system on Windows, yet a perfectly good place for backups). The empty path fails.
bool folderTest(const Path& path);

// The file test: an ordinary file that is neither hidden nor a system file. Read-only files pass.
bool fileTest(const Path& path);

enum class EntryKind { OrdinaryFile, Folder, Other };

struct Entry
{
    Path name; // bare name, without the folder
    EntryKind kind;
};

// Every entry directly in the folder except "." and "..", in the platform's order. Hidden and system entries are
// reported as Other, whatever else they are.
std::vector<Entry> listFolder(const Path& folder, std::error_code& error);

// True when the name ends in the extension, letter case ignored (ASCII). Listings match extensions with this rather
// than with a platform pattern: on Windows "*.ZIP" also matches "a.zipx" through its short name.
bool hasExtension(const Path& name, std::string_view extension);

// Creates one folder level; the parent must exist. An existing folder is an error, as for the platform.
std::error_code makeFolder(const Path& folder);

// The folder that holds the running executable, in native form, without a trailing separator.
Path executableFolder();

// A failed operation: what was attempted, on which path, and the platform's reason.
struct Error
{
    std::error_code code;
    std::string operation;
    Path path;

    explicit operator bool() const { return static_cast<bool>(code); }
    // The platform's own words for the code, in the operator's language where the platform has it, UTF-8, with
    // the number behind them: "Permission denied (13)".
    std::string reason() const;
    // For logs: operation, path and reason.
    std::string describe() const;
};

// The named steps of copyReplace, in the order they happen.
enum class CopyStep { Created, Wrote, Flushed, Renamed, FolderFlushed };

// Called after each step with the temporary file's path. Returning an error makes the copy fail at that point,
// which is how the restore checks its staging file and how tests inject faults.
using StepHook = std::function<std::error_code(CopyStep step, const Path& temporary)>;

// How far a copy is, for a window on another thread to show, and the way to stop it. Every member may be read and
// written from any thread.
struct CopyProgress
{
    std::atomic<std::uint64_t> copied {0};
    std::atomic<std::uint64_t> total {0};
    // All bytes are written; the copy is comparing them with the source and waiting for the disk.
    std::atomic<bool> finishing {false};
    // Set by the caller: the copy stops at its next chunk, or once the flush is done, and fails with
    // std::errc::operation_canceled; the target is then as it was.
    std::atomic<bool> cancel {false};
};

// Whose permissions the result of a copy carries.
enum class Permissions {
    // A backup: the source's permission bits less the umask, as cp gives them, and its owner's write bit so that the
    // next backup can replace it; a replaced backup keeps its own mode only when that is not more open than the
    // source's, so that no backup is readable by more people than the data.
    OfSource,
    // A restore: the replaced file's mode and group (owner too, as root), so that the program that owns the data
    // file can still open it.
    OfTarget,
};

// Copies source to target so that target is, at every moment, either absent, its old contents whole, or the new
// contents whole: the bytes go to a new temporary file created exclusively in the target's folder, every write is
// checked, the source is read again and compared with what was written, the file is flushed to disk and then
// renamed over the target (and on POSIX the folder is flushed too).
// - Only a regular file is copied; a pipe or a device fails at once instead of waiting for a writer.
// - A target that is a symbolic link is resolved: the file it points to is replaced and the link stays. A link that
//   points nowhere, and an existing target that fails the file test or is read-only, is never replaced.
// - A source that changed while it was copied fails the copy rather than leave a torn backup.
// - On every failure before the rename the temporary file is removed; the target is left as it was. Once the
//   rename has happened the copy has succeeded: a failure to flush the folder afterwards is only logged to stderr.
// - Temporary files of earlier copies in the target's folder that no live copy holds are removed first.
Error copyReplace(const Path& source, const Path& target, const StepHook& hook = {},
                  Permissions permissions = Permissions::OfSource, CopyProgress* progress = nullptr);

// Temporary files of copyReplace are named prefix + random hex + suffix, so a file left by a killed process is
// recognisable and never mistaken for a backup.
inline constexpr const char* kTemporaryPrefix = "~datamaint.";
inline constexpr const char* kTemporarySuffix = ".tmp";
bool isTemporaryName(const Path& name);

namespace testing {
// A process-wide hook run before the per-call one, for fault-injection tests; an empty function removes it.
void setStepHook(StepHook hook);
} // namespace testing

// Makes SIGTERM, SIGINT and SIGHUP (on Windows: closing the console, logging off, shutting down) remove the
// temporary file of a copy in progress before the process ends. Only signals whose handling is still the default
// are taken over. Called once at program start; copyReplace calls it too.
void removeTemporaryOnExit();

namespace detail {
std::string utf8(const Path& path);
bool endsWithSeparator(const Path& path);
bool hiddenName(const Path& path);
// An absent target, or an ordinary file we may write; anything else is never replaced.
bool replaceable(const Path& target);
// Removes the temporary files of ours in the folder that no live copy holds.
void removeStaleTemporaries(const Path& folder);
std::error_code runHooks(const StepHook& hook, CopyStep step, const Path& temporary);
Path temporaryName(std::uint64_t random);
std::uint64_t randomBits();
} // namespace detail

} // namespace fsys
