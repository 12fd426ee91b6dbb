// Window geometry given in twips, and the small set-up every window shares.
#pragma once

#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>
#include <initializer_list>

class QLabel;
class QPushButton;

// 15 twips are one pixel at 96 dpi; Qt's high-dpi scaling takes it from there.
constexpr int twips(int value)
{
    return (value + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Places a control, names it (tests and screen readers find it by that) and parents it.
template <typename W> W* place(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsRect(left, top, width, height));
    return widget;
}

// A label that sizes itself to its text, shown as plain text: a path or a typed name is never markup.
QLabel* placeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height);

// A push button that Enter and the space bar press while it has the focus, and only then (see Form).
QPushButton* placeButton(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                         int height);

// Moves a window so that it stands centred over its owner, the window that is active when it is shown.
void centreOver(QWidget* window);

// Chains the tab order through the given widgets, in order.
void chainTabOrder(std::initializer_list<QWidget*> widgets);

// The icons: one for the menu, one shared by every other window. Not named windowIcon(): inside a window's own
// members that name would call QWidget::windowIcon() instead.
QIcon menuIcon();
QIcon sharedIcon();

// The program's title on its reports.
QString programTitle();
