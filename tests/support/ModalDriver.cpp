// Driving modal chains.
//
// Each poll arms the next one-shot timer before it acts: an action may open a nested modal loop, in which only
// a timer armed before it can fire.
#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>

ModalDriver::ModalDriver(int limitMs)
    : m_limitMs(limitMs)
    , m_alive(std::make_shared<bool>(true))
{
}

ModalDriver::~ModalDriver()
{
    *m_alive = false;
}

ModalDriver& ModalDriver::then(Step step)
{
    m_steps.append(std::move(step));
    return *this;
}

ModalDriver& ModalDriver::press(QMessageBox::StandardButton button)
{
    return then([this, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            seen << QStringLiteral("<not a message box: %1>").arg(modal->objectName());
            static_cast<QDialog*>(modal)->done(0);
            return;
        }
        seen << box->text();
        box->button(button)->click();
    });
}

void ModalDriver::start()
{
    m_started = QDateTime::currentMSecsSinceEpoch();
    QTimer::singleShot(5, qApp, [this, alive = m_alive] {
        if (*alive)
            poll();
    });
}

void ModalDriver::poll()
{
    if (m_stopped)
        return;
    QTimer::singleShot(5, qApp, [this, alive = m_alive] {
        if (*alive)
            poll();
    });
    QWidget* modal = QApplication::activeModalWidget();
    if (QDateTime::currentMSecsSinceEpoch() - m_started > m_limitMs) {
        m_timedOut = true;
        m_stopped = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(0);
        return;
    }
    if (!modal || !modal->isVisible() || modal == m_last)
        return;
    m_last = modal;
    if (m_steps.isEmpty()) {
        // A window nobody expected: note it and close it, so the test fails instead of hanging.
        m_unexpected = true;
        seen << QStringLiteral("<unexpected> ") + modalText(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(0);
        return;
    }
    const Step step = m_steps.takeFirst();
    step(modal);
}

QString modalText(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        return box->text();
    if (auto* label = modal->findChild<QLabel*>(QStringLiteral("txtMsg")))
        return label->text();
    return QString();
}
