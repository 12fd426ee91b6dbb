// Temporary trees for tests.
#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

QString sep()
{
    return QString(QDir::separator());
}

TempTree::TempTree()
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
}

QString TempTree::root() const
{
    return QDir::toNativeSeparators(m_dir.path());
}

QString TempTree::path(const QString& relative) const
{
    return QDir::toNativeSeparators(m_dir.path() + QLatin1Char('/') + relative);
}

QString TempTree::write(const QString& relative, const QByteArray& bytes)
{
    const QString target = path(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
    return target;
}

QString TempTree::makeFolder(const QString& relative)
{
    const QString target = path(relative);
    QDir().mkpath(target);
    return target;
}

QByteArray TempTree::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool TempTree::exists(const QString& path)
{
    return QFileInfo::exists(path);
}

QStringList TempTree::names(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray TempTree::sample(int size, char seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
    return bytes;
}
