// The notice window: one message, an OK button, and a timer that closes it.
#pragma once

#include "Form.h"

class QLabel;
class QPushButton;
class QTimer;

class Wait : public Form
{
    Q_OBJECT

public:
    Wait();

    QLabel* txtMsg;
    QPushButton* Command1;
    // Counts from the window's creation, not from when it is shown.
    QTimer* Timer1;

    void Command1_Click();
    void Timer1_Timer();
};
