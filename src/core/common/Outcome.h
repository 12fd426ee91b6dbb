// How an operation ended, for its window to turn into what the operator sees.
#pragma once

#include <QString>
#include <optional>

// The operation asks its questions along the way (through the Prompter); what it reports at the end is all here,
// so that each window shows it in one place.
struct Outcome
{
    enum class Kind {
        Completed, // the copy ran; result says whether the target was found afterwards
        Declined, // the operator answered No; nothing was changed and nothing is shown
        Cancelled, // the operator stopped the copy; nothing was changed and nothing is shown
        Refused, // stopped before anything was written; text says why
        Failed, // a file operation failed; text is the operation's failure message, reason the system's words
    };

    Kind kind = Kind::Declined;
    QString text; // empty: nothing to show
    std::optional<bool> result; // the window's new Result, when this outcome sets it
    QString reason;
};
