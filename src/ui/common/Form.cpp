// The shared window base.
#include "Form.h"

#include "Layout.h"

#include <QKeyEvent>

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
    QDialog::keyPressEvent(event);
}
