// What every window of the program shares: Enter presses only the focused button, Esc does nothing unless the
// window says otherwise, and a window that opens over its owner is placed there once, when first shown.
#pragma once

#include <QDialog>

class Form : public QDialog
{
    Q_OBJECT

public:
    enum class Placement { AsGiven, CentredOverActiveWindow };

    Form(Qt::WindowFlags flags, Placement placement);

protected:
    // Called for Esc; the default ignores it (no window but the restart prompt has a cancel button).
    virtual void escapePressed() { }

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Placement m_placement;
    bool m_placed = false;
};

// An ordinary sizable window with minimise and maximise buttons and a taskbar button.
inline constexpr Qt::WindowFlags kSizableWindow = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
    | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
