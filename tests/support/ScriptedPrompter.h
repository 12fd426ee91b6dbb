// A Prompter that answers from a script and records what the operator would have seen, in order.
#pragma once

#include "common/Prompter.h"

#include <QList>
#include <QStringList>
#include <QTest>

class ScriptedPrompter : public Prompter
{
public:
    QList<bool> answers; // consumed in order by askYesNo
    QStringList log; // "ask: …", "message: …", "notice: …", "busy", "idle"
    bool busy = false;
    bool busyWhenShown = true; // false once anything was shown while the window was enabled inside the operation
    std::function<void()> onAsk;

    bool askYesNo(const QString& question) override
    {
        log << QStringLiteral("ask: ") + question;
        if (onAsk)
            onAsk();
        if (answers.isEmpty()) {
            QTest::qFail("a question nobody expected", __FILE__, __LINE__);
            return false;
        }
        return answers.takeFirst();
    }
    void message(const QString& text) override { log << QStringLiteral("message: ") + text; }
    void notice(const QString& text) override { log << QStringLiteral("notice: ") + text; }
    void setBusy(bool value) override
    {
        busy = value;
        log << (value ? QStringLiteral("busy") : QStringLiteral("idle"));
    }
};
