// The one routine behind every copy of data (backups, automatic backups and restores) and folder creation.
#pragma once

#include "CopyRunner.h"
#include "FileError.h"

#include <QString>

// The operator stopped a copy.
struct CopyCancelled
{
};

// Copies job.source over job.target atomically (see fsys::copyReplace) through the runner. Throws FileError with
// the reason on any failure and CopyCancelled when the operator stopped it; the target is then as it was.
void CopyDataFile(CopyRunner& runner, fsys::CopyJob job);

// Creates one folder level; throws FileError when the platform refuses.
void MakeFolder(const QString& folder);
