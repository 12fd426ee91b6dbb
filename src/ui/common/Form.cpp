// The shared window base.
#include "Form.h"

#include "Layout.h"

#include <QKeyEvent>
#include <QPushButton>

Form::Form(Qt::WindowFlags flags, Placement placement)
    : QDialog(nullptr, flags)
    , m_placement(placement)
{
}

void Form::showEvent(QShowEvent* event)
{
    if (!m_placed && m_placement == Placement::CentredOverActiveWindow)
        centreOver(this);
    m_placed = true;
    QDialog::showEvent(event);
}

void Form::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        escapePressed();
        return;
    }
    // No button is a default button: Enter presses the button that has the focus and nothing else. A button that
    // is not auto-default passes Enter on to its window, and so does every other control.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
