// The copy routine and folder creation.
#include "CopyDataFile.h"

#include "qtfs.h"

void CopyDataFile(CopyRunner& runner, fsys::CopyJob job)
{
    const fsys::Error error = runner.run(std::move(job));
    if (!error)
        return;
    if (error.operation == fsys::Operation::Cancel)
        throw CopyCancelled();
    throw FileError(error);
}

void MakeFolder(const QString& folder)
{
    if (const auto code = fsys::makeFolder(qtfs::toPath(folder)))
        throw FileError(fsys::Error {code, fsys::Operation::CreateFolder, qtfs::toPath(folder)});
}
