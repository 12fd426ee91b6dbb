// PickFile.
#include "PickFile.h"

#include "Routines.h"
#include "qtfs.h"

QString PickFile(const QString& kind, const QString& startFolder, FileDialogState& dialog, const ShowOpen& showOpen,
                 const Report& report)
{
    const QString pleaseSpecify = QStringLiteral("请指定一个文件");
    try {
        if (!IsBlank(startFolder))
            dialog.InitDir = startFolder;
        dialog.Flags = kHideReadOnly;
        dialog.CancelError = true;
        const auto filter = filterForKind(kind);
        if (!filter) {
            report(QStringLiteral("未知文件类型，请指定"));
            return QString();
        }
        if (!filter->isEmpty())
            dialog.Filter = *filter;
        if (!showOpen(dialog)) {
            report(pleaseSpecify);
            return QString();
        }
        const QString path = dialog.FileName;
        if (path.isEmpty()) {
            report(pleaseSpecify);
            return QString();
        }
        if (!qtfs::fileTest(path)) {
            report(QStringLiteral("指定文件不存在"));
            return QString();
        }
        return path;
    } catch (const std::exception&) {
        report(pleaseSpecify);
        return QString();
    }
}
