// The copy routine and folder creation.
#include "CopyDataFile.h"

#include "qtfs.h"

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

QString reasonOf(const std::exception& error)
{
    if (const auto* fileError = dynamic_cast<const FileError*>(&error))
        return fileError->reason();
    return QString::fromLocal8Bit(error.what());
}
