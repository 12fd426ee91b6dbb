// The one routine behind every copy of data (backups, automatic backups and restores) and folder creation.
#pragma once

#include "FileError.h"
#include "fs/fsys.h"

#include <QString>

// Copies source over target atomically (see fsys::copyReplace). Throws FileError with the reason on any failure;
// the target is then as it was before the call.
void CopyDataFile(const fsys::Path& source, const fsys::Path& target, const fsys::StepHook& hook = {},
                  fsys::Permissions permissions = fsys::Permissions::OfSource);

// Creates one folder level; throws FileError when the platform refuses.
void MakeFolder(const QString& folder);
