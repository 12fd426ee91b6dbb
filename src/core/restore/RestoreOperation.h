// The restore and the backup listing, free of widgets: the restore asks through a Prompter and returns an Outcome.
#pragma once

#include "core/common/CopyRunner.h"
#include "core/common/Outcome.h"
#include "core/common/Prompter.h"
#include "core/common/qtfs.h"
#include "core/shell/ProgramPaths.h"

#include <QString>
#include <QStringList>

namespace restoretext {
inline const QString file = QStringLiteral("文件");
inline const QString missing = QStringLiteral("不存在");
inline const QString about = QStringLiteral("现在准备将备份文件");
inline const QString into = QStringLiteral("恢复到现在帐套");
inline const QString overwrite = QStringLiteral("中 ,此帐套中的所有资料将被覆盖,要覆盖吗?");
inline const QString stagingMissing = QStringLiteral("解压文件不成功");
inline const QString dataMissing = QStringLiteral("恢复失败");
inline const QString restored = QStringLiteral("恢复文件成功");
inline const QString failed = QStringLiteral("恢复文件失败");
inline const QString noBackups = QStringLiteral("此目录下没有备份文件");
} // namespace restoretext

// A backup as the list shows it and as the folder holds it: a name that is not valid UTF-8 shows with replacement
// characters, yet the restore opens exactly the file that the listing returned.
struct BackupName
{
    QString text;
    fsys::Path native;

    BackupName() = default;
    // A name given as text, as typed or as the window shows it.
    BackupName(const QString& name)
        : text(name)
        , native(qtfs::toPath(name))
    {
    }
    BackupName(const QString& shown, const fsys::Path& name)
        : text(shown)
        , native(name)
    {
    }
};

// Restores folder + separator + the selected name over DataFilePath after the operator confirms; folder is the one
// the backups were listed from. The data file is replaced in one rename, so it is always either the old file or the
// backup, whole. A Completed outcome with result true is a restored data file; the window hides before it shows the
// text.
Outcome runRestore(const ProgramPaths& paths, const QString& folder, const BackupName& selected, Prompter& prompter,
                   CopyRunner& runner);

// The backups directly in the folder: ordinary files whose names end in ".zip" in any letter case, as bare names,
// ordered by name ignoring letter case. A folder that cannot be listed has none.
QList<BackupName> listBackups(const QString& folderText);
