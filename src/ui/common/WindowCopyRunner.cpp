// The copy runner of the windows.
#include "WindowCopyRunner.h"

#include "ProgressWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <exception>
#include <memory>
#include <stop_token>
#include <thread>

namespace {

// What the worker and the window's thread share. The worker holds its own reference, so nothing it touches lives
// on a stack that may be gone.
struct Shared
{
    fsys::CopyControl control;
    fsys::Error result;
    std::exception_ptr failure;
    std::atomic<bool> ended {false};
};

// Sees the application's quit before Qt closes the windows and leaves every event loop.
class QuitWatch : public QObject
{
public:
    explicit QuitWatch(std::function<void()> onQuit)
        : m_onQuit(std::move(onQuit))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
            m_onQuit();
        return false;
    }

private:
    std::function<void()> m_onQuit;
};

} // namespace

int WindowCopyRunner::progressDelay = 300;

fsys::Error WindowCopyRunner::run(fsys::CopyJob job)
{
    const auto shared = std::make_shared<Shared>();
    QEventLoop waiting;
    QPointer<ProgressWindow> shown;
    // The worker's note that it has ended reaches this thread through a context object, so a note that comes late
    // is dropped with it.
    QObject context;
    const auto ended = [&] {
        waiting.quit();
        if (shown)
            shown->copyEnded();
    };
    // Destroyed first on every way out, exceptions included: a jthread asks the copy to stop, then joins it.
    std::jthread worker([shared, job = std::move(job), context = &context, ended](std::stop_token stop) {
        const std::stop_callback stopCopy(stop, [&] { shared->control.requestStop(); });
        try {
            shared->result = fsys::copyReplace(job, &shared->control);
        } catch (...) {
            shared->failure = std::current_exception();
        }
        shared->ended = true;
        QMetaObject::invokeMethod(context, ended, Qt::QueuedConnection);
    });
    const auto stopAndWait = [&] {
        worker.request_stop();
        if (worker.joinable())
            worker.join();
        ended();
    };
    // On Windows the end of the session arrives as a quit too, right after aboutToQuit.
    const QuitWatch quit(stopAndWait);

    QTimer::singleShot(progressDelay, &waiting, &QEventLoop::quit);
    if (!shared->ended)
        waiting.exec(QEventLoop::ExcludeUserInputEvents);
    if (!shared->ended) {
        ProgressWindow window(shared->control);
        shown = &window;
        window.exec();
    }
    // The loops end before the copy only when the application is ending.
    stopAndWait();
    if (shared->failure)
        std::rethrow_exception(shared->failure);
    return shared->result;
}
