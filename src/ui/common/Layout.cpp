// Window helpers.
#include "Layout.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

void centreOver(QWidget* window)
{
    QWidget* owner = QApplication::activeWindow();
    if (owner && owner != window) {
        const QRect area = owner->frameGeometry();
        window->move(area.center() - window->rect().center());
    } else if (const QScreen* screen = window->screen()) {
        window->move(screen->availableGeometry().center() - window->rect().center());
    }
}

void chainTabOrder(std::initializer_list<QWidget*> widgets)
{
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QIcon menuIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/menu-32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/menu-16.xpm"), QSize(16, 16));
    return icon;
}

QIcon sharedIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/window-32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/window-16.xpm"), QSize(16, 16));
    return icon;
}

QString programTitle()
{
    return QStringLiteral("数据维护");
}

QLabel* placeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* label = place<QLabel>(parent, name, left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->adjustSize();
    return label;
}

QPushButton* placeButton(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                         int height)
{
    auto* button = place<QPushButton>(parent, name, left, top, width, height);
    button->setText(text);
    // A dialog makes an auto-default button its default, and Enter anywhere in the window would then press it.
    button->setAutoDefault(false);
    return button;
}
