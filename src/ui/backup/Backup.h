// The backup window: a dated default name, the backup folder, and the public automatic-backup entry.
#pragma once

#include "core/common/PickFile.h"
#include "ui/common/Form.h"

#include <QDateTime>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Backup : public Form
{
    Q_OBJECT

public:
    Backup();

    // Public fields, as callers of the automatic entry use them. Truth values are 16-bit: true is -1, false 0.
    qint16 Result = 0;
    qint16 bAutoBk = 0;
    QString strAutoBackPath;
    QString strAutoBackFile;

    // The manual backup; with bAutoBk set its two outcome messages become notices.
    void CmdBackup_Click();
    // A time-stamped (or strAutoBackFile-named) backup into strAutoBackPath or AutoBackupFolder, reported by a
    // notice. Throws FileError when a file operation fails; Result is then false.
    void RunAutoBackup();

    void Form_Load();
    bool txtPath_Validate();
    void Command2_Click();
    void Command3_Click();

    // The window's open-file dialog, whose settings persist while the window lives.
    FileDialogState CommonDialog1;

    QLabel* Label1[3];
    QLabel* lblzt;
    QLineEdit* txtFile;
    QLineEdit* txtPath;
    QPushButton* Command3;
    QGroupBox* Frame1;
    QPushButton* CmdBackup;
    QPushButton* Command2;

    // For tests: the clock of the automatic name and the dialog behind the browse button.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    void setShowOpen(ShowOpen showOpen) { m_showOpen = std::move(showOpen); }

private:
    std::function<QDateTime()> m_clock = &QDateTime::currentDateTime;
    ShowOpen m_showOpen;
};
