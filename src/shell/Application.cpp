// The application object.
#include "Application.h"

#include "common/Guard.h"

#include <QLibraryInfo>
#include <QTranslator>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    loadChineseTranslation(*this);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportFailure(failureReason(error));
    } catch (...) {
        reportFailure(QString());
    }
    return false;
}

void loadChineseTranslation(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const QString name = QStringLiteral("qtbase_zh_CN");
    const QStringList places
        = {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
           QCoreApplication::applicationDirPath(), QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& place : places) {
        if (translator->load(name, place)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}
