// The maintenance menu, the program's main window.
#pragma once

#include "ui/common/Form.h"

class QPushButton;

class Dialog : public Form
{
    Q_OBJECT

public:
    // The paths are computed from appFolder, or from the executable's folder when it is empty.
    explicit Dialog(const QString& appFolder = QString());

    void Form_Load();
    void OKButton_Click();
    void Command1_Click();
    void CmdRestore_Click();

    QPushButton* OKButton;
    QPushButton* CancelButton;
    QPushButton* Command1;
    QPushButton* CmdRestore;

private:
    void keepOffTaskbar();

    QString m_appFolder;
};
