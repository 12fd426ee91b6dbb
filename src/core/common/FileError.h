// The one error type of the program's file operations.
#pragma once

#include "fs/fsys.h"

#include <QString>
#include <stdexcept>

// A file operation that failed; reason() is what the user is shown when nothing handles it.
class FileError : public std::runtime_error
{
public:
    explicit FileError(const QString& reason)
        : std::runtime_error(reason.toStdString())
        , m_reason(reason)
    {
    }
    // In the operator's language: what the program failed to do, on which path, and the system's reason.
    explicit FileError(const fsys::Error& error);
    QString reason() const { return m_reason; }

private:
    QString m_reason;
};

// What to tell the operator of a failure: a FileError's own reason, or the text of any other exception.
QString reasonOf(const std::exception& error);
