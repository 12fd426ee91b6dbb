// How the file operations reach the operator, without knowing about windows.
#pragma once

#include <QString>

class Prompter
{
public:
    virtual ~Prompter() = default;

    // A Yes/No question; true only for Yes.
    virtual bool askYesNo(const QString& question) = 0;
    // A report with only an OK button; returns when the operator has read it.
    virtual void message(const QString& text) = 0;
    // A report in the notice window, which also closes by itself; returns when it has closed.
    virtual void notice(const QString& text) = 0;
    // The operation's window takes no input while busy.
    virtual void setBusy(bool busy) = 0;
};
