// Keeps a failure that an event handler does not handle from ending the program.
#pragma once

#include "core/common/FileError.h"

#include <QString>
#include <exception>

// Shows the reason of an unhandled failure in a report box; the action that failed is abandoned.
void reportFailure(const QString& reason);

template <typename Handler> void guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        reportFailure(reasonOf(error));
    } catch (...) {
        reportFailure(QString());
    }
}

// Wraps a handler for connect(): the slot reports its failures instead of letting them unwind through Qt.
template <typename Handler> auto guard(Handler handler)
{
    return [handler]() { guarded(handler); };
}
