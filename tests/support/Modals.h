// Answers the modal windows (message boxes, notices, dialogs, windows) that an action opens, one step each.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <functional>

using ModalStep = std::function<void(QWidget* modal)>;

// Runs action; each modal window that appears while it runs gets the next step. Returns the texts the windows
// showed, in order. A window with no step left, or any window after ten seconds, is closed and recorded as
// "<unexpected> text", so that a broken test fails rather than hangs.
QStringList answerModals(const std::function<void()>& action, QList<ModalStep> steps);

// A step that presses a message-box button, after checking that the modal window is a message box and looks as the
// program's boxes must.
ModalStep press(QMessageBox::StandardButton button = QMessageBox::Ok);
