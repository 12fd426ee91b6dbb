// The manual and the automatic backup, free of widgets: they ask through a Prompter and return an Outcome.
#pragma once

#include "core/common/CopyRunner.h"
#include "core/common/Outcome.h"
#include "core/common/Prompter.h"
#include "core/shell/ProgramPaths.h"

#include <QDateTime>
#include <QString>

namespace backuptext {
inline const QString folderFailed = QStringLiteral("建立备份目录") + QStringLiteral("不成功");
inline const QString exists = QStringLiteral("目标文件");
inline const QString overwrite = QStringLiteral("已经存在,要覆盖吗 ?");
inline const QString succeeded = QStringLiteral("备份成功\r\n备份文件名:");
inline const QString notFound = QStringLiteral("备份不成功,可能因为磁盘空间不足或文件名不合规范");
inline const QString failed = QStringLiteral("备份出错，请退出系统再进入一次进行备份");
inline const QString wildcard = QStringLiteral("备份文件名不能包含通配符 * 或 ?");
inline const QString dotName = QStringLiteral("备份文件名不能以 . 开头");
} // namespace backuptext

// Folder text trimmed and closed with a separator, then the name exactly as typed, then ".ZIP".
QString backupTarget(const QString& folderText, const QString& name);

// The manual backup behind "开始备份". Makes the operator's window busy (setBusy(true)) once the backup folder is
// there and leaves it busy: the window shows the outcome first and then ends the busy state. A Refused or Failed
// outcome leaves Result as it was.
Outcome runManualBackup(const ProgramPaths& paths, const QString& folderText, const QString& name, Prompter& prompter,
                        CopyRunner& runner);

// The time-stamped name of an automatic backup, e.g. "2026年12月06日14时05分自动备份data1.ZIP".
QString autoBackupName(const ProgramPaths& paths, const QDateTime& now);

// The automatic backup into folderField (or AutoBackupFolder when that is no usable folder) under fileField (or the
// time-stamped name). Result is false from the start; only a copy found afterwards sets it. A Failed outcome
// carries the reason for the caller.
Outcome runAutoBackup(const ProgramPaths& paths, const QString& folderField, const QString& fileField,
                      const QDateTime& now, Prompter& prompter, CopyRunner& runner);
