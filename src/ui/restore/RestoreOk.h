// The restart prompt shown after a restore: log in again, or leave the system. Nothing opens it yet.
#pragma once

#include "ui/common/Form.h"

#include <functional>

class QLabel;
class QPushButton;

class RestoreOk : public Form
{
    Q_OBJECT

public:
    RestoreOk();

    void Command1_Click();
    void Command2_Click();

    QLabel* Label1;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;

protected:
    void escapePressed() override;
};

// Ends the process at once, whatever windows and nested loops are open.
[[noreturn]] void endProgram();
