// Validation when the focus is about to leave a text box, with controls that are exempt from it.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

// Runs check before the focus leaves box for any control but the exempt ones: by a click, Tab or Shift+Tab, or a
// shortcut. A failing check keeps the focus in the box and the other control does not act, so a clicked button
// does not run its click. The check shows its own message. Lives as long as the box.
class FocusLeaveGuard : public QObject
{
public:
    FocusLeaveGuard(QWidget* box, std::function<bool()> check, QList<QWidget*> exempt);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mayLeaveFor(QWidget* target);
    QWidget* tabTarget(bool forward) const;

    QWidget* m_box;
    std::function<bool()> m_check;
    QList<QPointer<QWidget>> m_exempt;
    bool m_checking = false;
};
