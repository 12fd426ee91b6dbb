// The manual and the automatic backup.
#include "BackupOperation.h"

#include "core/common/CopyDataFile.h"
#include "core/common/Routines.h"
#include "core/common/qtfs.h"

namespace {

const QString kBackupExtension = QStringLiteral(".ZIP");

// The automatic name ends in the data file's own name: DataFilePath with the application folder and its
// separator cut out, and the data file's extension replaced by the backup extension.
const QString kDataExtension = QStringLiteral(".vzd");

bool hasWildcard(const QString& text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

// Why a target may not be written at all, before anything is touched; empty when it may.
QString refusal(const QString& target)
{
    if (hasWildcard(target))
        return backuptext::wildcard;
#ifndef Q_OS_WIN
    // A name starting with "." is hidden here, and a hidden backup is never found again nor replaced: the file
    // would be written and then reported as missing, and every later attempt would fail.
    if (target.mid(target.lastIndexOf(pathSeparator()) + 1).startsWith(QLatin1Char('.')))
        return backuptext::dotName;
#endif
    return {};
}

// True when the folder exists or could be created; false when it is still missing afterwards.
bool ensureFolder(const QString& folder)
{
    if (qtfs::folderTest(folder))
        return true;
    MakeFolder(folder);
    return qtfs::folderTest(folder);
}

// Asks before an existing target is replaced; true when the copy may go ahead.
bool mayWrite(const QString& target, Prompter& prompter)
{
    return !qtfs::fileTest(target) || prompter.askYesNo(backuptext::exists + target + backuptext::overwrite);
}

// The copy and the file test after it: the outcome of a backup that ran.
Outcome copyTo(const ProgramPaths& paths, const QString& target, CopyRunner& runner)
{
    CopyDataFile(runner, {qtfs::toPath(paths.DataFilePath), qtfs::toPath(target)});
    if (!qtfs::fileTest(target))
        return {Outcome::Kind::Completed, backuptext::notFound, false, {}};
    return {Outcome::Kind::Completed, backuptext::succeeded + target, true, {}};
}

} // namespace

QString backupTarget(const QString& folderText, const QString& name)
{
    return PathWithSlash(folderText) + name + kBackupExtension;
}

Outcome runManualBackup(const ProgramPaths& paths, const QString& folderText, const QString& name, Prompter& prompter,
                        CopyRunner& runner)
{
    const QString target = backupTarget(folderText, name);
    if (const QString why = refusal(target); !why.isEmpty())
        return {Outcome::Kind::Refused, why, {}, {}};
    try {
        if (!ensureFolder(paths.BackupFolder))
            return {Outcome::Kind::Refused, backuptext::folderFailed, {}, {}};
        prompter.setBusy(true);
        if (!mayWrite(target, prompter))
            return {};
        return copyTo(paths, target, runner);
    } catch (const CopyCancelled&) {
        return {Outcome::Kind::Cancelled, {}, {}, {}};
    } catch (const std::exception& error) {
        return {Outcome::Kind::Failed, backuptext::failed, {}, reasonOf(error)};
    }
}

QString autoBackupName(const ProgramPaths& paths, const QDateTime& now)
{
    QString name = now.toString(QStringLiteral("yyyy年MM月dd日")) + now.toString(QStringLiteral("HH时mm分"))
        + QStringLiteral("自动备份") + QString(paths.DataFilePath).remove(paths.AppFolder + pathSeparator());
    return name.replace(kDataExtension, kBackupExtension);
}

Outcome runAutoBackup(const ProgramPaths& paths, const QString& folderField, const QString& fileField,
                      const QDateTime& now, Prompter& prompter, CopyRunner& runner)
{
    const QString name = IsBlank(fileField) ? autoBackupName(paths, now) : trimSpaces(fileField) + kBackupExtension;
    if (const QString why = refusal(name); !why.isEmpty())
        return {Outcome::Kind::Failed, {}, {}, why};
    try {
        QString folder = folderField;
        if (IsBlank(folderField) || hasWildcard(folderField) || !qtfs::folderTest(folderField)) {
            folder = paths.AutoBackupFolder;
            if (!ensureFolder(folder))
                return {Outcome::Kind::Refused, backuptext::folderFailed, {}, {}};
        }
        const QString target = PathWithSlash(folder) + name;
        if (const QString why = refusal(target); !why.isEmpty())
            return {Outcome::Kind::Failed, {}, {}, why};
        if (!mayWrite(target, prompter))
            return {Outcome::Kind::Declined, {}, {}, {}};
        return copyTo(paths, target, runner);
    } catch (const CopyCancelled&) {
        return {Outcome::Kind::Cancelled, {}, {}, {}};
    } catch (const std::exception& error) {
        return {Outcome::Kind::Failed, {}, {}, reasonOf(error)};
    }
}
