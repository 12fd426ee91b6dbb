// The progress window.
#include "ProgressWindow.h"

#include "Layout.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

QString mebibytes(std::uint64_t bytes)
{
    return QString::number(static_cast<double>(bytes) / (1 << 20), 'f', 1);
}

} // namespace

ProgressWindow::ProgressWindow(fsys::CopyProgress& progress)
    : Form(kSizableWindow, Placement::CentredOverActiveWindow)
    , m_progress(progress)
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
    m_progress.cancel = true;
    cmdCancel->setEnabled(false);
    update();
}

void ProgressWindow::escapePressed()
{
    cmdCancel_Click();
}

// The close box stops the copy too; the window itself closes once the copy has ended.
void ProgressWindow::closeEvent(QCloseEvent* event)
{
    cmdCancel_Click();
    event->ignore();
}

void ProgressWindow::update()
{
    const std::uint64_t total = m_progress.total;
    const std::uint64_t copied = m_progress.copied;
    QString text = QStringLiteral("已复制 ") + mebibytes(copied) + QStringLiteral(" MiB，共 ") + mebibytes(total)
        + QStringLiteral(" MiB");
    if (m_progress.cancel)
        text = QStringLiteral("正在取消…");
    else if (m_progress.finishing)
        text = QStringLiteral("正在写入磁盘…");
    lblProgress->setText(text);
    lblProgress->adjustSize();
    barProgress->setValue(m_progress.finishing || total == 0 ? 1000 : static_cast<int>(copied * 1000 / total));
}
