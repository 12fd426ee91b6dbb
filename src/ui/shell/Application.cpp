// The application object.
#include "Application.h"

#include "ui/common/Guard.h"

#include <QLibraryInfo>
#include <QTranslator>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    loadChineseTranslation(*this);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void loadChineseTranslation(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const QString name = QStringLiteral("qtbase_zh_CN");
    const QStringList places
        = {QStringLiteral(":/translations"), QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
           QCoreApplication::applicationDirPath(), QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& place : places) {
        if (translator->load(name, place)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}
