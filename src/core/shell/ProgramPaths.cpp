// The program-wide paths.
#include "ProgramPaths.h"

#include "core/common/Routines.h"

namespace {
ProgramPaths current;
}

ProgramPaths ProgramPaths::forFolder(const QString& appFolder)
{
    ProgramPaths paths;
    paths.AppFolder = appFolder;
    paths.DataFilePath = appFolder + pathSeparator() + QStringLiteral("data1.vzd");
    paths.BackupFolder = appFolder + pathSeparator() + QStringLiteral("BACKUP");
    paths.AutoBackupFolder = appFolder + QStringLiteral("AUTOBK");
    return paths;
}

const ProgramPaths& programPaths()
{
    return current;
}

void setProgramPaths(const ProgramPaths& paths)
{
    current = paths;
}
