// A temporary folder tree for tests, with native-form paths as the program sees them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The platform's separator as text, for joining paths in expectations.
QString sep();

class TempTree
{
public:
    TempTree();

    // The tree's root, or a path below it, in native form.
    QString root() const;
    QString path(const QString& relative) const;

    // Writes a file (creating its folders); returns its native path.
    QString write(const QString& relative, const QByteArray& bytes);
    QString makeFolder(const QString& relative);

    static QByteArray read(const QString& path);
    static bool exists(const QString& path);
    // Names directly in a folder, hidden ones included.
    static QStringList names(const QString& folder);

    // Some bytes that differ from call to call, so a copy cannot pass by accident.
    static QByteArray sample(int size, char seed);

private:
    QTemporaryDir m_dir;
};
