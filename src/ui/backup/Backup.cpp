// The backup window.
#include "Backup.h"

#include "core/backup/BackupOperation.h"
#include "core/common/Routines.h"
#include "core/common/qtfs.h"
#include "core/shell/ProgramPaths.h"
#include "ui/common/FocusLeaveGuard.h"
#include "ui/common/Guard.h"
#include "ui/common/Layout.h"
#include "ui/common/Prompts.h"
#include "ui/common/WindowCopyRunner.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

Backup::Backup()
    : Form(kSizableWindow, Placement::CentredOverActiveWindow)
    , m_showOpen(&showOpenDialog)
{
    setWindowTitle(QStringLiteral("数据备份"));
    setWindowIcon(sharedIcon());
    resize(twips(7050), twips(3690));

    Label1[0] = placeLabel(this, "Label1(0)", QStringLiteral("备份帐套名"), 630, 390, 900, 180);
    lblzt = place<QLabel>(this, "lblzt", 1740, 390, 4095, 375);
    Label1[2] = placeLabel(this, "Label1(2)", QStringLiteral("备份文件名:"), 540, 990, 990, 180);
    txtFile = place<QLineEdit>(this, "txtFile", 1740, 870, 4215, 375);
    txtFile->setAccessibleName(Label1[2]->text());
    Label1[1] = placeLabel(this, "Label1(1)", QStringLiteral("备份文件存放路径"), 90, 1710, 1440, 180);
    txtPath = place<QLineEdit>(this, "txtPath", 1740, 1590, 4215, 375);
    txtPath->setAccessibleName(Label1[1]->text());
    Command3 = placeButton(this, "Command3", QStringLiteral("浏览..."), 6060, 1590, 855, 375);
    Frame1 = place<QGroupBox>(this, "Frame1", 660, 2790, 5295, 735);
    CmdBackup = placeButton(Frame1, "CmdBackup", QStringLiteral("开始备份"), 720, 240, 1575, 375);
    Command2 = placeButton(Frame1, "Command2", QStringLiteral("取消"), 3000, 240, 1695, 375);

    chainTabOrder({CmdBackup, Command2, txtFile, txtPath, Command3});

    connect(CmdBackup, &QPushButton::clicked, this, guard([this] { CmdBackup_Click(); }));
    connect(Command2, &QPushButton::clicked, this, guard([this] { Command2_Click(); }));
    connect(Command3, &QPushButton::clicked, this, guard([this] { Command3_Click(); }));
    new FocusLeaveGuard(txtPath, [this] { return txtPath_Validate(); }, {Command2});

    Form_Load();
    CmdBackup->setFocus();
}

void Backup::Form_Load()
{
    CmdBackup->setEnabled(true);
    lblzt->setText(QString());
    txtFile->setText(TodayStamp(QDate()) + QStringLiteral("备份"));
    txtPath->setText(programPaths().BackupFolder);
}

bool Backup::txtPath_Validate()
{
    if (qtfs::folderTest(txtPath->text()))
        return true;
    ShowMessage(QStringLiteral("找不到路径:") + txtPath->text());
    return false;
}

void Backup::CmdBackup_Click()
{
    WindowPrompter prompter(this);
    WindowCopyRunner runner;
    const Outcome outcome = runManualBackup(programPaths(), txtPath->text(), txtFile->text(), prompter, runner);
    showOutcome(outcome, bAutoBk != 0);
    prompter.setBusy(false);
    if (outcome.result)
        Result = *outcome.result ? -1 : 0;
}

void Backup::RunAutoBackup()
{
    Result = 0;
    WindowPrompter prompter(this);
    WindowCopyRunner runner;
    const Outcome outcome
        = runAutoBackup(programPaths(), strAutoBackPath, strAutoBackFile, m_clock(), prompter, runner);
    if (outcome.kind == Outcome::Kind::Failed)
        throw FileError(outcome.reason);
    showOutcome(outcome, true);
    Result = outcome.result.value_or(false) ? -1 : 0;
}

void Backup::Command2_Click()
{
    close();
}

void Backup::Command3_Click()
{
    const QString picked
        = PickFile(QStringLiteral("DIR"), programPaths().BackupFolder, CommonDialog1, m_showOpen, &ShowMessage);
    // The browse button picks a file; the path box wants the folder it lies in. A cancelled pick keeps the text.
    if (!picked.isEmpty())
        txtPath->setText(QDir::toNativeSeparators(QFileInfo(picked).path()));
}
