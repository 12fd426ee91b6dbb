// The manual and the automatic backup.
#include "BackupOperation.h"

#include "CopyDataFile.h"
#include "common/Routines.h"
#include "common/qtfs.h"

namespace {

const QString kBackupExtension = QStringLiteral(".ZIP");

// The automatic name ends in the data file's own name: DataFilePath with the application folder and its
// separator cut out, and the data file's extension replaced by the backup extension.
const QString kDataExtension = QStringLiteral(".vzd");
QString appFolderPrefix(const ProgramPaths& paths)
{
    return paths.AppFolder + pathSeparator();
}

bool hasWildcard(const QString& text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

// True when the folder exists or could be created; false when it is still missing afterwards.
bool ensureFolder(const QString& folder)
{
    if (qtfs::folderTest(folder))
        return true;
    MakeFolder(folder);
    return qtfs::folderTest(folder);
}

QString successText(const QString& target)
{
    return backuptext::succeeded + target;
}

} // namespace

QString backupTarget(const QString& folderText, const QString& name)
{
    return PathWithSlash(folderText) + name + kBackupExtension;
}

QString overwriteQuestion(const QString& target)
{
    return backuptext::exists + target + backuptext::overwrite;
}

std::optional<bool> runManualBackup(const ProgramPaths& paths, const QString& folderText, const QString& name,
                                    bool asNotices, Prompter& prompter)
{
    const QString target = backupTarget(folderText, name);
    if (hasWildcard(target)) {
        prompter.message(backuptext::wildcard);
        return std::nullopt;
    }

    try {
        if (!ensureFolder(paths.BackupFolder)) {
            prompter.message(backuptext::folderFailed);
            return std::nullopt;
        }
    } catch (const std::exception&) {
        prompter.message(backuptext::failed);
        return std::nullopt;
    }

    prompter.setBusy(true);
    std::optional<bool> result;
    try {
        if (!qtfs::fileTest(target) || prompter.askYesNo(overwriteQuestion(target))) {
            CopyDataFile(paths.DataFilePath, target);
            result = qtfs::fileTest(target);
            const QString text = *result ? successText(target) : backuptext::notFound;
            if (asNotices)
                prompter.notice(text);
            else
                prompter.message(text);
        }
    } catch (const std::exception&) {
        prompter.message(backuptext::failed);
    }
    prompter.setBusy(false);
    return result;
}

QString autoBackupName(const ProgramPaths& paths, const QDateTime& now)
{
    QString name = now.toString(QStringLiteral("yyyy年MM月dd日")) + now.toString(QStringLiteral("HH时mm分"))
        + QStringLiteral("自动备份") + QString(paths.DataFilePath).remove(appFolderPrefix(paths));
    return name.replace(kDataExtension, kBackupExtension);
}

bool runAutoBackup(const ProgramPaths& paths, const QString& folderField, const QString& fileField,
                   const QDateTime& now, Prompter& prompter)
{
    const QString name = IsBlank(fileField) ? autoBackupName(paths, now) : trimSpaces(fileField) + kBackupExtension;
    if (hasWildcard(name))
        throw FileError(backuptext::wildcard);

    QString folder = folderField;
    if (IsBlank(folderField) || hasWildcard(folderField) || !qtfs::folderTest(folderField)) {
        folder = paths.AutoBackupFolder;
        if (!ensureFolder(folder)) {
            prompter.message(backuptext::folderFailed);
            return false;
        }
    }

    const QString target = PathWithSlash(folder) + name;
    if (hasWildcard(target))
        throw FileError(backuptext::wildcard);
    if (qtfs::fileTest(target) && !prompter.askYesNo(overwriteQuestion(target)))
        return false;
    CopyDataFile(paths.DataFilePath, target);
    if (!qtfs::fileTest(target)) {
        prompter.notice(backuptext::notFound);
        return false;
    }
    prompter.notice(successText(target));
    return true;
}
