// Focus-leave validation.
//
// An application-wide filter is the one place that sees every way the focus can move before it moves: presses
// arrive at the window's QWindow before Qt hands the focus to the widget under the mouse, Tab and Shift+Tab arrive
// at the box, and shortcuts arrive at their target.
#include "FocusLeaveGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

FocusLeaveGuard::FocusLeaveGuard(QWidget* box, std::function<bool()> check, QList<QWidget*> exempt)
    : QObject(box)
    , m_box(box)
    , m_check(std::move(check))
{
    for (QWidget* widget : exempt)
        m_exempt.append(widget);
    qApp->installEventFilter(this);
}

bool FocusLeaveGuard::eventFilter(QObject* watched, QEvent* event)
{
    // The window's own focus widget, not hasFocus(): right after a message box the window may not be active again
    // yet, and a Tab then must still be checked.
    if (m_checking || m_box->window()->focusWidget() != m_box)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        QWidget* window = m_box->window();
        if (watched != window->windowHandle())
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        QWidget* target = window->childAt(mouse->position().toPoint());
        while (target && target != window && !(target->focusPolicy() & Qt::ClickFocus))
            target = target->parentWidget();
        if (!target || target == window || target == m_box)
            return false;
        return !mayLeaveFor(target);
    }
    case QEvent::KeyPress: {
        if (watched != m_box)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
            QWidget* target = tabTarget(forward);
            return target && target != m_box && !mayLeaveFor(target);
        }
        return false;
    }
    case QEvent::Shortcut: {
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target || target == m_box || target->window() != m_box->window())
            return false;
        return !mayLeaveFor(target);
    }
    default:
        return false;
    }
}

bool FocusLeaveGuard::mayLeaveFor(QWidget* target)
{
    for (const auto& exempt : m_exempt) {
        if (exempt && (exempt == target || exempt->isAncestorOf(target)))
            return true;
    }
    m_checking = true;
    const bool passed = m_check();
    m_checking = false;
    if (!passed) {
        // Without a window manager nothing re-activates the window after the message box, and the focus would
        // be lost altogether.
        m_box->window()->activateWindow();
        m_box->setFocus(Qt::OtherFocusReason);
    }
    return passed;
}

QWidget* FocusLeaveGuard::tabTarget(bool forward) const
{
    QWidget* candidate = m_box;
    for (;;) {
        candidate = forward ? candidate->nextInFocusChain() : candidate->previousInFocusChain();
        if (!candidate || candidate == m_box)
            return nullptr;
        if (candidate->window() == m_box->window() && (candidate->focusPolicy() & Qt::TabFocus)
            && candidate->isVisible() && candidate->isEnabled())
            return candidate;
    }
}
