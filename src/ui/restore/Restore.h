// The restore window: the backups of the backup folder or of a folder the operator browses to, and the button that
// restores the selected one.
#pragma once

#include "core/restore/RestoreOperation.h"
#include "ui/common/Form.h"

#include <functional>

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
    void Command3_Click();
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

    // For tests: the folder dialog behind "浏览...", given the folder to start in; empty when cancelled.
    void setChooseFolder(std::function<QString(const QString&)> choose) { m_chooseFolder = std::move(choose); }

private:
    QString m_folder; // the folder List1 shows
    QList<BackupName> m_backups; // what List1 shows, row by row, with the names exactly as listed
    std::function<QString(const QString&)> m_chooseFolder;
};
