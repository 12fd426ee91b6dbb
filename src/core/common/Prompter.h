// How an operation asks the operator along the way, without knowing about windows. What it reports at the end
// comes back as its Outcome; its copies run through a CopyRunner.
#pragma once

#include <QString>

class Prompter
{
public:
    virtual ~Prompter() = default;

    // A Yes/No question; true only for Yes.
    virtual bool askYesNo(const QString& question) = 0;
    // The operation's window takes no input while busy.
    virtual void setBusy(bool busy) = 0;
};
