// Failures in the operator's words.
#include "FileError.h"

#include "qtfs.h"

namespace {

// What the program failed to do, as the operator reads it before the path and the system's reason.
QString operatorWords(fsys::Operation operation)
{
    using enum fsys::Operation;
    switch (operation) {
    case Open:
        return QStringLiteral("无法打开文件");
    case Stat:
        return QStringLiteral("无法读取文件信息");
    case Replace:
        return QStringLiteral("不能替换文件");
    case Create:
        return QStringLiteral("无法建立文件");
    case Read:
        return QStringLiteral("无法读取文件");
    case Write:
        return QStringLiteral("无法写入文件");
    case Flush:
        return QStringLiteral("无法写入磁盘");
    case Rename:
        return QStringLiteral("无法替换文件");
    case CreateFolder:
        return QStringLiteral("无法建立文件夹");
    case Changed:
        return QStringLiteral("文件在复制时被改动");
    case Cancel:
        return QStringLiteral("复制已取消");
    case KeepPermissions:
        return QStringLiteral("无法保留文件的权限");
    }
    Q_UNREACHABLE();
    return QString();
}

} // namespace

FileError::FileError(const fsys::Error& error)
    : std::runtime_error(error.describe())
    , m_reason(operatorWords(error.operation) + QStringLiteral("“") + qtfs::fromPath(error.path) + QStringLiteral("”：")
               + QString::fromStdString(error.reason()))
{
}

QString reasonOf(const std::exception& error)
{
    if (const auto* fileError = dynamic_cast<const FileError*>(&error))
        return fileError->reason();
    return QString::fromLocal8Bit(error.what());
}
