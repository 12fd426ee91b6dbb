// How an operation asks the operator along the way, without knowing about windows. What it reports at the end
// comes back as its Outcome.
#pragma once

#include "fs/fsys.h"

#include <QString>
#include <functional>

class Prompter
{
public:
    virtual ~Prompter() = default;

    // A Yes/No question; true only for Yes.
    virtual bool askYesNo(const QString& question) = 0;
    // The operation's window takes no input while busy.
    virtual void setBusy(bool busy) = 0;
    // Runs a copy, which may take long, and returns once it has ended. A window runs it on a thread of its own,
    // shows how far it is and lets the operator stop it through progress.cancel; this one just runs it.
    virtual void runCopy(const std::function<void()>& copy, fsys::CopyProgress& progress)
    {
        (void)progress;
        copy();
    }
};
