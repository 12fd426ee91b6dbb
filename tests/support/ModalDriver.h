// Answers modal windows (message boxes, notices, dialogs) as they appear, one scripted step each.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <functional>

class ModalDriver
{
public:
    using Step = std::function<void(QWidget* modal)>;

    explicit ModalDriver(int limitMs = 10000);
    ~ModalDriver();

    // Queues a step for the next modal window that appears. A window that appears with no step left is closed
    // and fails done().
    ModalDriver& then(Step step);
    // Presses a message-box button, recording the box's text.
    ModalDriver& press(QMessageBox::StandardButton button);
    // Starts watching; call before the action that opens the first window.
    void start();

    // True when every step ran and nothing timed out.
    bool done() const { return m_steps.isEmpty() && !m_timedOut && !m_unexpected; }
    // The texts of the message boxes and notices seen, in order.
    QStringList seen;

private:
    void poll();

    QList<Step> m_steps;
    QPointer<QWidget> m_last;
    int m_limitMs;
    qint64 m_started = 0;
    bool m_timedOut = false;
    bool m_stopped = false;
    bool m_unexpected = false;
    std::shared_ptr<bool> m_alive;
};

// The text a message box or notice window shows.
QString modalText(QWidget* modal);
