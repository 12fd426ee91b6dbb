// The one routine behind every copy of data (backups, automatic backups and restores) and folder creation.
#pragma once

#include "FileError.h"
#include "Prompter.h"
#include "fs/fsys.h"

#include <QString>

// The operator stopped a copy.
struct CopyCancelled
{
};

// Copies source over target atomically (see fsys::copyReplace), through the prompter that shows its progress.
// Throws FileError with the reason on any failure and CopyCancelled when the operator stopped it; the target is
// then as it was before the call.
void CopyDataFile(Prompter& prompter, const fsys::Path& source, const fsys::Path& target,
                  const fsys::StepHook& hook = {}, fsys::Permissions permissions = fsys::Permissions::OfSource);

// Creates one folder level; throws FileError when the platform refuses.
void MakeFolder(const QString& folder);
