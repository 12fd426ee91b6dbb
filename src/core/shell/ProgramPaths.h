// The three paths every window works with, computed once from the application folder when the menu loads.
#pragma once

#include <QString>

struct ProgramPaths
{
    QString AppFolder;
    QString DataFilePath;
    QString BackupFolder;
    QString AutoBackupFolder;

    // Plain concatenation, deliberately without separator logic: a folder that already ends in a separator gets a
    // second one, and "AUTOBK" follows the folder directly (a sibling folder, not a subfolder).
    static ProgramPaths forFolder(const QString& appFolder);
};

// Read by every window; written once by the menu's load step (and by tests before they open windows).
const ProgramPaths& programPaths();
void setProgramPaths(const ProgramPaths& paths);
