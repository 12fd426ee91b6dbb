// The yardstick for start-up: the smallest Qt program that shows a dialog with one button.
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QDialog dialog;
    QPushButton button(QStringLiteral("OK"), &dialog);
    dialog.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
