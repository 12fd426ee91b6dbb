// The restore window.
#include "Restore.h"

#include "core/common/CopyDataFile.h"
#include "core/common/qtfs.h"
#include "core/restore/RestoreOperation.h"
#include "core/shell/ProgramPaths.h"
#include "ui/common/Guard.h"
#include "ui/common/Layout.h"
#include "ui/common/Prompts.h"
#include "ui/common/WindowCopyRunner.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

Restore::Restore()
    : Form(kSizableWindow, Placement::AsGiven)
    , m_chooseFolder([this](const QString& start) { return chooseFolder(this, start); })
{
    setWindowTitle(QStringLiteral("恢复备份文件"));
    setWindowIcon(sharedIcon());
    resize(twips(7440), twips(5040));

    lblzt = place<QLabel>(this, "lblzt", 1530, 120, 4095, 375);
    Label1[0] = placeLabel(this, "Label1(0)", QStringLiteral("要恢复的帐套名"), 270, 210, 1260, 180);
    Frame1 = place<QGroupBox>(this, "Frame1", 120, 570, 7215, 3015);
    Frame1->setTitle(QStringLiteral("从以下备份文件中恢复"));
    Command3 = placeButton(Frame1, "Command3", QStringLiteral("浏览..."), 6240, 360, 855, 375);
    txtPath = place<QLineEdit>(Frame1, "txtPath", 2040, 360, 3975, 375);
    Label1[2] = placeLabel(Frame1, "Label1(2)", QStringLiteral("备份文件名:"), 840, 1080, 990, 180);
    Label1[1] = placeLabel(Frame1, "Label1(1)", QStringLiteral("备份文件存放路径"), 360, 480, 1440, 180);
    txtPath->setAccessibleName(Label1[1]->text());
    List1 = place<QListWidget>(Frame1, "List1", 2040, 1080, 3975, 1680);
    List1->setAccessibleName(Label1[2]->text());
    Frame2 = place<QGroupBox>(this, "Frame2", 1140, 3840, 5295, 855);
    Command2 = placeButton(Frame2, "Command2", QStringLiteral("取消"), 3000, 240, 1695, 495);
    Command1 = placeButton(Frame2, "Command1", QStringLiteral("开始恢复"), 720, 240, 1695, 495);
    lblTip = placeLabel(this, "lblTip", QString(), 270, 4050, 90, 180);

    chainTabOrder({Command3, txtPath, List1, Command2, Command1});

    connect(Command1, &QPushButton::clicked, this, guard([this] { Command1_Click(); }));
    connect(Command2, &QPushButton::clicked, this, guard([this] { Command2_Click(); }));
    connect(Command3, &QPushButton::clicked, this, guard([this] { Command3_Click(); }));

    Form_Load();
    Command3->setFocus();
}

void Restore::Form_Load()
{
    const QString folder = programPaths().BackupFolder;
    lblzt->setText(QString());
    txtPath->setText(folder);
    if (!qtfs::folderTest(folder)) {
        MakeFolder(folder);
        txtPath->setText(qtfs::folderTest(folder) ? folder : QString());
    }
    ListBackups();
}

// The folder listed is the folder the restore reads: text typed into the path box afterwards changes neither.
void Restore::ListBackups()
{
    m_folder = txtPath->text();
    m_backups = listBackups(m_folder);
    List1->clear();
    lblTip->setText(m_backups.isEmpty() ? restoretext::noBackups : QString());
    lblTip->adjustSize();
    for (const BackupName& name : m_backups)
        List1->addItem(name.text);
    if (List1->count() > 0)
        List1->setCurrentRow(0);
}

void Restore::Command1_Click()
{
    const auto selected = List1->selectedItems();
    const BackupName name = selected.isEmpty() ? BackupName() : m_backups.value(List1->row(selected.constFirst()));
    WindowPrompter prompter(this);
    WindowCopyRunner runner;
    const Outcome outcome = runRestore(programPaths(), m_folder, name, prompter, runner);
    if (outcome.result.value_or(false))
        hide();
    showOutcome(outcome, false);
}

void Restore::Command2_Click()
{
    close();
}

// A backup kept anywhere else, on a USB stick say, is restored by listing its folder first. A cancelled dialog
// changes nothing.
void Restore::Command3_Click()
{
    const QString chosen = m_chooseFolder(m_folder);
    if (chosen.isEmpty())
        return;
    txtPath->setText(QDir::toNativeSeparators(chosen));
    ListBackups();
}
