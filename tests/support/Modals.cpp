// Each poll arms the next one-shot timer before it acts: a step may open a nested modal loop, in which only a
// timer armed before it can fire.
#include "Modals.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>

namespace {

QString textOf(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        return box->text();
    auto* label = modal->findChild<QLabel*>(QStringLiteral("txtMsg"));
    return label ? label->text() : modal->windowTitle();
}

struct Chain
{
    QList<ModalStep> steps;
    QStringList seen;
    QPointer<QWidget> last;
    QDeadlineTimer deadline {10000};
    bool running = true;
};

void poll(const std::shared_ptr<Chain>& chain)
{
    if (!chain->running)
        return;
    QTimer::singleShot(5, qApp, [chain] { poll(chain); });
    Chain& c = *chain;
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && c.deadline.hasExpired()) {
            c.seen << QStringLiteral("<timeout>");
            static_cast<QDialog*>(modal)->done(0);
        }
        if (!modal || !modal->isVisible() || modal == c.last)
            return;
        c.last = modal;
        if (c.steps.isEmpty()) {
            c.seen << QStringLiteral("<unexpected> ") + textOf(modal);
            static_cast<QDialog*>(modal)->done(0);
            return;
        }
        c.seen << textOf(modal);
        c.steps.takeFirst()(modal);
    }
}

} // namespace

QStringList answerModals(const std::function<void()>& action, QList<ModalStep> steps)
{
    auto chain = std::make_shared<Chain>();
    chain->steps = std::move(steps);
    QTimer::singleShot(5, qApp, [chain] { poll(chain); });
    action();
    chain->running = false;
    if (!chain->steps.isEmpty())
        chain->seen << QStringLiteral("<%1 steps left>").arg(chain->steps.size());
    return chain->seen;
}

ModalStep press(QMessageBox::StandardButton button)
{
    return [button](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->button(button)->click();
        else
            static_cast<QDialog*>(modal)->done(0);
    };
}
