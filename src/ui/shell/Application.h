// The application object: Chinese texts for Qt's own dialogs, and a last net for failures nobody handled.
#pragma once

#include <QApplication>

class Application : public QApplication
{
public:
    Application(int& argc, char** argv);

    // A failure that escapes an event handler is reported and that action abandoned; the program keeps running.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Loads Qt's Simplified Chinese texts (Yes, No, OK, the file dialog): compiled in, else from beside the program or
// from Qt.
void loadChineseTranslation(QCoreApplication& app);
