// Copies that the windows run: on a thread of their own, behind a progress window, stopped by "取消" or by the end
// of the application.
#pragma once

#include "core/common/CopyRunner.h"

class WindowCopyRunner : public CopyRunner
{
public:
    // Runs the copy on a worker thread while the window's thread keeps repainting. Past progressDelay the progress
    // window shows over the active window, modal; before that the event loop runs without user input, so that the
    // window that started the copy cannot start another. When the application quits (on Windows also when the
    // session ends) the copy is stopped and the window's thread waits only for the stop to take effect.
    fsys::Error run(fsys::CopyJob job) override;

    // How long a copy runs before the progress window shows: short copies never flash it.
    static int progressDelay;
};
