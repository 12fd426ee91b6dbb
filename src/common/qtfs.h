// Where QString paths cross into the file-system layer and its answers come back.
#pragma once

#include "fs/fsys.h"

#include <QString>
#include <stdexcept>

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

// A file operation that failed; reason() is what the user is shown when nothing handles it.
class FileError : public std::runtime_error
{
public:
    explicit FileError(const QString& reason)
        : std::runtime_error(reason.toStdString())
        , m_reason(reason)
    {
    }
    explicit FileError(const fsys::Error& error)
        : FileError(QString::fromStdString(error.describe()))
    {
    }
    QString reason() const { return m_reason; }

private:
    QString m_reason;
};
