// The restore window: the backups of the backup folder, and the button that restores the selected one.
#pragma once

#include "core/restore/RestoreOperation.h"
#include "ui/common/Form.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class Restore : public Form
{
    Q_OBJECT

public:
    // Runs Form_Load, which may throw FileError when the backup folder cannot be created.
    Restore();

    void Command1_Click();
    void Command2_Click();
    void Form_Load();
    void ListBackups();

    QLabel* lblzt;
    QLabel* Label1[3];
    QGroupBox* Frame1;
    QPushButton* Command3;
    QLineEdit* txtPath;
    QListWidget* List1;
    QGroupBox* Frame2;
    QPushButton* Command2;
    QPushButton* Command1;
    QLabel* lblTip;

private:
    QList<BackupName> m_backups; // what List1 shows, row by row, with the names exactly as listed
};
