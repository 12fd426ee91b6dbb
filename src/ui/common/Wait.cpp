// The notice window.
#include "Wait.h"

#include "Layout.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

Wait::Wait()
    : Form(kSizableWindow, Placement::CentredOverActiveWindow)
{
    setWindowTitle(QStringLiteral("信息"));
    setWindowIcon(sharedIcon());
    resize(twips(3270), twips(2175));

    txtMsg = place<QLabel>(this, "txtMsg", 240, 240, 2775, 975);
    txtMsg->setTextFormat(Qt::PlainText);
    txtMsg->setText(QStringLiteral("Label1"));
    txtMsg->setWordWrap(true);
    txtMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Command1 = placeButton(this, "Command1", QStringLiteral("确定"), 1080, 1560, 1095, 495);
    connect(Command1, &QPushButton::clicked, this, &Wait::Command1_Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1500);
    connect(Timer1, &QTimer::timeout, this, &Wait::Timer1_Timer);
    Timer1->start();

    Command1->setFocus();
}

// Closing ends the timer with the window, so it ticks at most once.
void Wait::Command1_Click()
{
    Timer1->stop();
    done(QDialog::Accepted);
}

void Wait::Timer1_Timer()
{
    Command1_Click();
}
