// Reporting unhandled failures.
#include "Guard.h"

#include "Prompts.h"
#include "core/common/FileError.h"

void reportFailure(const QString& reason)
{
    ShowMessage(reason.isEmpty() ? QStringLiteral("操作失败") : reason);
}
