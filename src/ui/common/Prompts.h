// The question, report, notice and file dialogs as the operator sees them.
#pragma once

#include "core/common/Outcome.h"
#include "core/common/PickFile.h"
#include "core/common/Prompter.h"

#include <QPointer>
#include <QString>

class QWidget;

// Yes/No with the question icon, Yes as the default button.
bool AskYesNo(const QString& question);

// A report: only an OK button, no icon, the program's title.
void ShowMessage(const QString& text);

// Shows the message in a fresh notice window and waits until it closes. An interval of 0 (or below) keeps the
// window's own 1500 ms; an empty caption keeps its title.
void ShowNotice(const QString& message, qint16 interval = 0, const QString& caption = QString());

// Shows an operation's outcome text: in the notice window for a completed copy when the caller asks for notices,
// otherwise in a report box; nothing when there is no text.
void showOutcome(const Outcome& outcome, bool completedAsNotice);

// The open-file dialog for a window's dialog state.
bool showOpenDialog(FileDialogState& dialog);

// The platform's folder dialog over parent, starting in start; the chosen folder, or empty when cancelled.
QString chooseFolder(QWidget* parent, const QString& start);

// The Prompter that the windows hand to their operations.
class WindowPrompter : public Prompter
{
public:
    explicit WindowPrompter(QWidget* window);
    bool askYesNo(const QString& question) override;
    void setBusy(bool busy) override;

private:
    QWidget* m_window;
    QPointer<QWidget> m_focus; // what had the focus before the window was made busy
};
