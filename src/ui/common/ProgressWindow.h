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
    // Watches progress until the copy that fills it ends; the caller closes the window then (done()).
    explicit ProgressWindow(fsys::CopyProgress& progress);

    QLabel* lblProgress;
    QProgressBar* barProgress;
    QPushButton* cmdCancel;

    // Asks the copy to stop; the window stays until the copy has ended.
    void cmdCancel_Click();

protected:
    void escapePressed() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void update();

    fsys::CopyProgress& m_progress;
};
