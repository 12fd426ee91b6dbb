// The copy routine and folder creation.
#include "CopyDataFile.h"

#include "qtfs.h"

void CopyDataFile(Prompter& prompter, const fsys::Path& source, const fsys::Path& target, const fsys::StepHook& hook,
                  fsys::Permissions permissions)
{
    fsys::CopyProgress progress;
    fsys::Error error;
    prompter.runCopy([&] { error = fsys::copyReplace(source, target, hook, permissions, &progress); }, progress);
    if (error && error.code == std::errc::operation_canceled)
        throw CopyCancelled();
    if (error)
        throw FileError(error);
}

void MakeFolder(const QString& folder)
{
    if (const auto code = fsys::makeFolder(qtfs::toPath(folder)))
        throw FileError(fsys::Error {code, "create folder", qtfs::toPath(folder)});
}

FileError::FileError(const fsys::Error& error)
    : std::runtime_error(error.describe())
{
    static const std::pair<const char*, const char*> words[] = {{"open", "无法打开文件"},
                                                                {"stat", "无法读取文件信息"},
                                                                {"replace", "不能替换文件"},
                                                                {"create", "无法建立文件"},
                                                                {"read", "无法读取文件"},
                                                                {"write", "无法写入文件"},
                                                                {"flush", "无法写入磁盘"},
                                                                {"close", "无法关闭文件"},
                                                                {"rename", "无法替换文件"},
                                                                {"create folder", "无法建立文件夹"},
                                                                {"changed while copying", "文件在复制时被改动"}};
    QString what = QStringLiteral("文件操作失败");
    for (const auto& [operation, text] : words) {
        if (error.operation == operation)
            what = QString::fromUtf8(text);
    }
    m_reason = what + QStringLiteral("“") + qtfs::fromPath(error.path) + QStringLiteral("”：")
        + QString::fromStdString(error.reason());
}

QString reasonOf(const std::exception& error)
{
    if (const auto* fileError = dynamic_cast<const FileError*>(&error))
        return fileError->reason();
    return QString::fromLocal8Bit(error.what());
}
