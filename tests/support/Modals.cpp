// Each poll arms the next one-shot timer before it acts: a step may open a nested modal loop, in which only a
// timer armed before it can fire.
#include "Modals.h"

#include <QTest>
#include <QtWidgets>

namespace {

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
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!modal || !modal->isVisible() || (modal == chain->last && !chain->deadline.hasExpired()))
        return;
    chain->last = modal;
    auto* box = qobject_cast<QMessageBox*>(modal);
    auto* label = modal->findChild<QLabel*>(QStringLiteral("txtMsg"));
    const QString text = box ? box->text() : label ? label->text() : modal->windowTitle();
    const bool expected = !chain->steps.isEmpty() && !chain->deadline.hasExpired();
    chain->seen << (expected ? text : QStringLiteral("<unexpected> ") + text);
    expected ? chain->steps.takeFirst()(modal) : modal->done(0);
}

} // namespace

QStringList answerModals(const std::function<void()>& action, QList<ModalStep> steps)
{
    const auto chain = std::make_shared<Chain>();
    chain->steps = std::move(steps);
    poll(chain);
    action();
    chain->running = false;
    return chain->seen + QStringList(chain->steps.size(), QStringLiteral("<step left>"));
}

ModalStep press(QMessageBox::StandardButton button)
{
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        // A notice or a window where a message box belongs fails here.
        QVERIFY(box);
        // Every box the program shows: a question whose first button is Yes (in Chinese, the default), with the
        // question icon and an empty title, or a report whose first button is OK, with no icon and the program's
        // title; both in plain text.
        const bool question = box->icon() == QMessageBox::Question;
        QCOMPARE(box->icon(), question ? QMessageBox::Question : QMessageBox::NoIcon);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowTitle(), question ? QString() : QStringLiteral("数据维护"));
        QCOMPARE(box->defaultButton(), question ? box->button(QMessageBox::Yes) : nullptr);
        QCOMPARE(box->buttons().constFirst()->text(), question ? QStringLiteral("是(&Y)") : QStringLiteral("确定"));
        box->button(button)->click();
    };
}
