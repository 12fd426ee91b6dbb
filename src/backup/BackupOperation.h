// The manual and the automatic backup, free of widgets: they reach the operator through a Prompter.
#pragma once

#include "common/Prompter.h"
#include "shell/ProgramPaths.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace backuptext {
inline const QString folderFailed = QStringLiteral("建立备份目录") + QStringLiteral("不成功");
inline const QString exists = QStringLiteral("目标文件");
inline const QString overwrite = QStringLiteral("已经存在,要覆盖吗 ?");
inline const QString succeeded = QStringLiteral("备份成功\r\n备份文件名:");
inline const QString notFound = QStringLiteral("备份不成功,可能因为磁盘空间不足或文件名不合规范");
inline const QString failed = QStringLiteral("备份出错，请退出系统再进入一次进行备份");
inline const QString wildcard = QStringLiteral("备份文件名不能包含通配符 * 或 ?");
} // namespace backuptext

// Folder text trimmed and closed with a separator, then the name exactly as typed, then ".ZIP".
QString backupTarget(const QString& folderText, const QString& name);

// The question asked before an existing backup is replaced.
QString overwriteQuestion(const QString& target);

// The manual backup behind "开始备份". Returns the new value of Result, or nothing when this outcome leaves Result
// as it was (a refused name, a missing backup folder, "No" to the overwrite question, a failed copy).
std::optional<bool> runManualBackup(const ProgramPaths& paths, const QString& folderText, const QString& name,
                                    bool asNotices, Prompter& prompter);

// The time-stamped name of an automatic backup, e.g. "2026年12月06日14时05分自动备份data1.ZIP".
QString autoBackupName(const ProgramPaths& paths, const QDateTime& now);

// The automatic backup. Returns Result; throws FileError when a file operation fails or the name holds a
// wildcard, after which Result is false.
bool runAutoBackup(const ProgramPaths& paths, const QString& folderField, const QString& fileField,
                   const QDateTime& now, Prompter& prompter);
