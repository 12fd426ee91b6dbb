// The window a long copy shows: how far it is, and the button that stops it.
#pragma once

#include "fs/fsys.h"
#include "ui/common/Form.h"

class QLabel;
class QProgressBar;
class QPushButton;

class ProgressWindow : public Form
{
    Q_OBJECT

public:
    // Watches the copy that control belongs to until copyEnded() closes the window.
    explicit ProgressWindow(fsys::CopyControl& control);

    QLabel* lblProgress;
    QProgressBar* barProgress;
    QPushButton* cmdCancel;

    // Asks the copy to stop; the window stays until the copy has ended. Once the copy has begun to replace its
    // target it can no longer be stopped, and the window says so.
    void cmdCancel_Click();
    void copyEnded();

protected:
    void escapePressed() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void update();

    fsys::CopyControl& m_control;
    bool m_ended = false;
};
