// Where QString paths cross into the file-system layer and its answers come back.
#pragma once

#include "fs/fsys.h"

#include <QString>

namespace qtfs {

inline fsys::Path toPath(const QString& text)
{
#ifdef _WIN32
    return fsys::Path(text.toStdWString());
#else
    return fsys::Path(text.toStdString());
#endif
}

inline QString fromPath(const fsys::Path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QString::fromStdString(path.native());
#endif
}

inline bool folderTest(const QString& path)
{
    return fsys::folderTest(toPath(path));
}
inline bool fileTest(const QString& path)
{
    return fsys::fileTest(toPath(path));
}

} // namespace qtfs
