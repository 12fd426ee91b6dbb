// The restart prompt.
#include "RestoreOk.h"

#include "ui/common/Layout.h"

#include <QLabel>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

RestoreOk::RestoreOk()
    : Form(kSizableWindow, Placement::CentredOverActiveWindow)
{
    setWindowTitle(QStringLiteral("    数据恢复完毕"));
    setWindowIcon(sharedIcon());
    resize(twips(3975), twips(2115));

    Label1 = placeLabel(this, "Label1", QStringLiteral("数据恢复完毕,您需要重新登录或退出,请选择"), 90, 330, 3600, 180);
    Command1 = placeButton(this, "Command1", QStringLiteral("重新登录"), 360, 1380, 1215, 375);
    Command2 = placeButton(this, "Command2", QStringLiteral("退出系统"), 1920, 1380, 1215, 375);
    Command3 = placeButton(this, "Command3", QStringLiteral("Command3"), 1260, 870, 1335, 375);
    chainTabOrder({Command1, Command2, Command3});

    connect(Command1, &QPushButton::clicked, this, &RestoreOk::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &RestoreOk::Command2_Click);
    Command1->setFocus();
}

// Logging in again belongs to the host application; there is nothing to do here.
void RestoreOk::Command1_Click() { }

void RestoreOk::Command2_Click()
{
    endProgram();
}

// "退出系统" is the window's cancel button.
void RestoreOk::escapePressed()
{
    Command2->click();
}

void endProgram()
{
    // No file is open at this point; leaving every nested loop would run the code after them instead.
    std::fflush(nullptr);
    std::_Exit(0);
}
