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

// What a failed step of the file-system layer was doing. The operator's words for each live in one place above
// this layer; operationName() gives the English ones for logs.
enum class Operation {
    Open, // the source
    Stat,
    Replace, // the target is no file we may replace
    Create, // the temporary file
    Read,
    Write,
    Flush,
    Rename,
    CreateFolder,
    Changed, // the source changed while it was copied
    Cancel, // the copy was stopped before it replaced the target
    KeepPermissions, // the result could not be given the mode, owner, group or access list it must carry
};
const char* operationName(Operation operation);

// A failed operation: what was attempted, on which path, and the platform's reason.
struct Error
{
    std::error_code code;
    Operation operation = Operation::Open;
    Path path;

    explicit operator bool() const { return static_cast<bool>(code); }
    // The platform's own words for the code, in the operator's language where the platform has it, UTF-8, with
    // the number behind them: "Permission denied (13)".
    std::string reason() const;
    // For logs: operation, path and reason.
    std::string describe() const;
};

// The named steps of copyReplace, in the order they happen.
enum class CopyStep {
    Created,
    Wrote, // after each chunk
    Flushed, // the bytes are on the disk and compared with the source
    Renaming, // every check has passed; the rename comes next
    Renamed,
    FolderFlushed,
};

// Called after each step with the temporary file's path. Returning an error makes the copy fail at that point,
// which is how the restore checks its staging file and how tests inject faults; an exception thrown here leaves
// copyReplace as any other would, with the temporary file removed.
using StepHook = std::function<std::error_code(CopyStep step, const Path& temporary)>;

// How far a copy is, and the one way to stop it, for a window on another thread. Every member may be used from any
// thread, and from a signal handler.
class CopyControl
{
public:
    enum class Stage { Copying, Finishing, Committed };

    std::atomic<std::uint64_t> copied {0};
    std::atomic<std::uint64_t> total {0};

    // Asks the copy to stop. True when the stop is accepted: the copy then ends with Operation::Cancel and leaves
    // the target as it was. False once the copy has committed to the rename: from there on it cannot be stopped
    // and ends as it ends.
    bool requestStop();
    bool stopRequested() const;
    Stage stage() const;

    // For the copy: all bytes are written, they are being compared and flushed.
    void finishing();
    // For the copy, right before the rename: false when a stop was accepted first.
    bool commit();

private:
    // The stage in the low bits and the stop request above them, so that a stop and the commit are decided in one
    // step: whichever comes first wins.
    static constexpr unsigned kStopped = 4;
    std::atomic<unsigned> m_state {static_cast<unsigned>(Stage::Copying)};
};

// Whose permissions the result of a copy carries.
enum class Permissions {
    // A backup: the source's permission bits less the umask, and its owner's write bit so that the next backup can
    // replace it. A source with an access list grants the owning group only what that list grants it; named users
    // and groups get nothing, so that no backup is readable by anyone who cannot read the data. A replaced backup
    // keeps its own mode only when that is not more open.
    OfSource,
    // A restore: the replaced file's mode, group, access list and extended attributes (those the process may set;
    // the owner too, as root), so that the program that owns the data file can still open it. When the mode, the
    // group or the access list cannot be given, the copy fails before the rename.
    OfTarget,
};

// One copy: everything it needs, by value, so that it can run on a thread of its own.
struct CopyJob
{
    Path source;
    Path target;
    Permissions permissions = Permissions::OfSource;
    StepHook hook = {};
};

// Copies source to target so that target is, at every moment, either absent, its old contents whole, or the new
// contents whole: the bytes go to a new temporary file created exclusively in the target's folder, every write is
// checked, the source is read again and compared with what was written, the file is flushed to disk and then
// renamed over the target (and on POSIX the folder is flushed too). The temporary file stays open, and so held,
// from its creation through the rename: no other copy can take it for stale meanwhile.
// - Only a regular file is copied; a pipe or a device fails at once instead of waiting for a writer.
// - A target that is a symbolic link is resolved: the file it points to is replaced and the link stays. A link that
//   points nowhere, and an existing target that fails the file test or is read-only, is never replaced.
// - A source that changed while it was copied fails the copy rather than leave a torn backup.
// - On every failure before the rename, exceptions included, the temporary file is removed; the target is left as
//   it was. Once the rename has happened the copy has succeeded: a failure to flush the folder afterwards is only
//   logged to stderr.
// - Temporary files of earlier copies in the target's folder that no live copy holds are removed first.
// control, when given, shows how far the copy is and can stop it until it commits.
Error copyReplace(const CopyJob& job, CopyControl* control = nullptr);

// Temporary files of copyReplace are named prefix + 16 hexadecimal digits + suffix, so a file left by a killed
// process is recognisable and never mistaken for a backup or for a file of the operator's.
inline constexpr const char* kTemporaryPrefix = "~datamaint.";
inline constexpr const char* kTemporarySuffix = ".tmp";
bool isTemporaryName(const Path& name);

namespace testing {
// A process-wide hook run before the per-call one, for fault-injection tests; an empty function removes it.
void setStepHook(StepHook hook);
} // namespace testing

// POSIX: makes SIGTERM, SIGINT and SIGHUP remove the temporary file of a copy in progress before the process ends.
// Only signals whose handling is still the default are taken over. Called once at program start; copyReplace calls
// it too. Windows has no such signals for a program with windows: the windows stop a copy when the session ends,
// and the next copy into the folder sweeps what a killed process left.
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
