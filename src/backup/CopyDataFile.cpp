// The copy routine shared by the backup and restore windows.
#include "CopyDataFile.h"

#include "common/qtfs.h"

void CopyDataFile(const QString& source, const QString& target, const fsys::StepHook& hook)
{
    if (const auto error = fsys::copyReplace(qtfs::toPath(source), qtfs::toPath(target), hook))
        throw FileError(error);
}

void MakeFolder(const QString& folder)
{
    if (const auto code = fsys::makeFolder(qtfs::toPath(folder)))
        throw FileError(fsys::Error {code, "create folder", qtfs::toPath(folder)});
}
