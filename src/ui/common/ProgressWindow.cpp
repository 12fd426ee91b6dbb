// The progress window.
#include "ProgressWindow.h"

#include "Layout.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

// Binary megabytes, which Windows' Explorer calls MB too.
QString megabytes(std::uint64_t bytes)
{
    return QString::number(static_cast<double>(bytes) / (1 << 20), 'f', 1);
}

} // namespace

ProgressWindow::ProgressWindow(fsys::CopyControl& control)
    : Form(kSizableWindow, Placement::CentredOverActiveWindow)
    , m_control(control)
{
    setWindowTitle(QStringLiteral("正在复制"));
    setWindowIcon(sharedIcon());
    resize(twips(4500), twips(1650));
    lblProgress = placeLabel(this, "lblProgress", QString(), 240, 240, 4020, 180);
    barProgress = place<QProgressBar>(this, "barProgress", 240, 600, 4020, 300);
    barProgress->setRange(0, 1000);
    barProgress->setTextVisible(false);
    barProgress->setAccessibleName(QStringLiteral("进度"));
    cmdCancel = placeButton(this, "cmdCancel", QStringLiteral("取消"), 1560, 1080, 1380, 375);
    connect(cmdCancel, &QPushButton::clicked, this, &ProgressWindow::cmdCancel_Click);

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ProgressWindow::update);
    timer->start(100);
    update();
    cmdCancel->setFocus();
}

void ProgressWindow::cmdCancel_Click()
{
    m_control.requestStop();
    update();
}

void ProgressWindow::copyEnded()
{
    m_ended = true;
    done(QDialog::Accepted);
}

void ProgressWindow::escapePressed()
{
    cmdCancel_Click();
}

// The close box stops the copy too; the window itself closes once the copy has ended.
void ProgressWindow::closeEvent(QCloseEvent* event)
{
    if (m_ended)
        return Form::closeEvent(event);
    cmdCancel_Click();
    event->ignore();
}

void ProgressWindow::update()
{
    using Stage = fsys::CopyControl::Stage;
    const std::uint64_t total = m_control.total;
    const std::uint64_t copied = m_control.copied;
    const Stage stage = m_control.stage();
    QString text = QStringLiteral("已复制 ") + megabytes(copied) + QStringLiteral(" MB，共 ") + megabytes(total)
        + QStringLiteral(" MB");
    if (stage == Stage::Committed)
        text = QStringLiteral("正在完成，已无法取消");
    else if (m_control.stopRequested())
        text = QStringLiteral("正在取消…");
    else if (stage == Stage::Finishing)
        text = QStringLiteral("正在写入磁盘…");
    cmdCancel->setEnabled(stage != Stage::Committed && !m_control.stopRequested());
    lblProgress->setText(text);
    lblProgress->adjustSize();
    barProgress->setValue(stage != Stage::Copying || total == 0 ? 1000 : static_cast<int>(copied * 1000 / total));
}
