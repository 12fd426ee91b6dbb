// Message boxes, notices and the open-file dialog.
#include "Prompts.h"

#include "Layout.h"
#include "Wait.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

bool AskYesNo(const QString& question)
{
    QMessageBox box(QMessageBox::Question, QString(), question, QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowNotice(const QString& message, qint16 interval, const QString& caption)
{
    Wait notice;
    if (interval > 0)
        notice.Timer1->setInterval(interval); // restarts the count, as setting the interval does
    if (!caption.isEmpty())
        notice.setWindowTitle(caption);
    notice.txtMsg->setText(message);
    notice.exec();
}

void showOutcome(const Outcome& outcome, bool completedAsNotice)
{
    if (outcome.text.isEmpty())
        return;
    if (completedAsNotice && outcome.kind == Outcome::Kind::Completed)
        ShowNotice(outcome.text);
    else
        ShowMessage(outcome.text);
}

namespace {

// "description|pattern;pattern" becomes Qt's "description (pattern pattern)".
QString qtFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return QString();
    QString patterns = filter.mid(bar + 1);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return filter.left(bar) + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

} // namespace

bool showOpenDialog(FileDialogState& dialog)
{
    QFileDialog chooser(nullptr, QString(), dialog.InitDir, qtFilter(dialog.Filter));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name that does not exist comes back too; PickFile tells the operator.
    chooser.setFileMode(QFileDialog::AnyFile);
    if (!dialog.FileName.isEmpty())
        chooser.selectFile(dialog.FileName);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return false;
    dialog.FileName = QDir::toNativeSeparators(chooser.selectedFiles().constFirst());
    return true;
}

QString chooseFolder(QWidget* parent, const QString& start)
{
    return QFileDialog::getExistingDirectory(parent, QString(), start);
}

WindowPrompter::WindowPrompter(QWidget* window)
    : m_window(window)
{
}

bool WindowPrompter::askYesNo(const QString& question)
{
    return AskYesNo(question);
}

// Disabling a window takes the focus away from it; it goes back where it was, so that the operator can press
// Enter again on the same button.
void WindowPrompter::setBusy(bool busy)
{
    if (busy && !m_focus)
        m_focus = m_window->focusWidget();
    m_window->setEnabled(!busy);
    if (!busy && m_focus) {
        m_window->activateWindow();
        m_focus->setFocus(Qt::OtherFocusReason);
    }
}
