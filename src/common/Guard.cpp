// Reporting unhandled failures.
#include "Guard.h"

#include "Prompts.h"
#include "qtfs.h"

QString failureReason(const std::exception& error)
{
    if (const auto* fileError = dynamic_cast<const FileError*>(&error))
        return fileError->reason();
    return QString::fromLocal8Bit(error.what());
}

void reportFailure(const QString& reason)
{
    ShowMessage(reason.isEmpty() ? QStringLiteral("操作失败") : reason);
}
