// The restore and the backup listing.
#include "RestoreOperation.h"

#include "core/common/CopyDataFile.h"
#include "core/common/Routines.h"
#include "core/common/qtfs.h"

#include <algorithm>

Outcome runRestore(const ProgramPaths& paths, const QString& folder, const BackupName& selected, Prompter& prompter,
                   CopyRunner& runner)
{
    QString source;
    fsys::Path sourcePath;
    if (!selected.native.empty()) {
        source = folder + pathSeparator() + selected.text;
        sourcePath = qtfs::toPath(folder + pathSeparator()).native() + selected.native.native();
        if (!fsys::fileTest(sourcePath))
            return {Outcome::Kind::Refused, restoretext::file + source + restoretext::missing, {}, {}};
    }
    if (!prompter.askYesNo(restoretext::about + source + restoretext::into + restoretext::overwrite))
        return {};

    // The staging file is the copy's own temporary file beside the data file; it must be there, whole and
    // flushed, before it may take the data file's place.
    bool stagingLost = false;
    const auto checkStaging = [&](fsys::CopyStep step, const fsys::Path& staging) -> std::error_code {
        if (step != fsys::CopyStep::Flushed || fsys::fileTest(staging))
            return {};
        stagingLost = true;
        return std::make_error_code(std::errc::no_such_file_or_directory);
    };
    try {
        // The data file stays the host application's: its mode and group are kept.
        CopyDataFile(runner, {sourcePath, qtfs::toPath(paths.DataFilePath), fsys::Permissions::OfTarget, checkStaging});
    } catch (const CopyCancelled&) {
        return {Outcome::Kind::Cancelled, {}, {}, {}};
    } catch (const std::exception& error) {
        return {Outcome::Kind::Failed,
                stagingLost ? restoretext::stagingMissing : restoretext::failed,
                {},
                reasonOf(error)};
    }
    if (!qtfs::fileTest(paths.DataFilePath))
        return {Outcome::Kind::Completed, restoretext::dataMissing, false, {}};
    return {Outcome::Kind::Completed, restoretext::restored, true, {}};
}

QList<BackupName> listBackups(const QString& folderText)
{
    std::error_code error;
    const auto entries = fsys::listFolder(qtfs::toPath(PathWithSlash(folderText)), error);
    QList<BackupName> names;
    for (const auto& entry : entries) {
        if (entry.kind == fsys::EntryKind::OrdinaryFile && fsys::hasExtension(entry.name, ".zip"))
            names.append({qtfs::fromPath(entry.name), entry.name});
    }
    // Date-named backups then list oldest first, the same on every platform; names that differ only in letter
    // case (possible on Linux), or only in bytes that show alike, keep a fixed order too.
    std::sort(names.begin(), names.end(), [](const BackupName& a, const BackupName& b) {
        const int folded = a.text.compare(b.text, Qt::CaseInsensitive);
        if (folded != 0)
            return folded < 0;
        return a.text != b.text ? a.text < b.text : a.native < b.native;
    });
    return names;
}
