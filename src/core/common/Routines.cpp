// Text, path and date routines.
#include "Routines.h"

#include <QDir>

QChar pathSeparator()
{
    return QDir::separator();
}

QString trimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString PathWithSlash(const QString& path)
{
    QString result = trimSpaces(path);
    if (!result.endsWith(pathSeparator()))
        result += pathSeparator();
    return result;
}

QString dateStamp(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy年MM月dd日"));
}

QString TodayStamp(const QDate&)
{
    return dateStamp(QDate::currentDate());
}

bool IsBlank(const QString& text)
{
    return trimSpaces(text).isEmpty();
}

std::optional<QString> filterForKind(const QString& kind)
{
    static const QString picture = QStringLiteral("图像文件(*.bmp,*.ico,*.gif)|*.bmp;*.jpg;*.ico;*.gif");
    if (kind == QStringLiteral("图片") || kind == QStringLiteral("图形") || kind == QStringLiteral("图像"))
        return picture;
    if (kind == QStringLiteral("EXCEL"))
        return QStringLiteral("Excel 文件 (*.xls)|*.xls");
    if (kind == QStringLiteral("FOXPRO"))
        return QStringLiteral("Visual Foxpro文件 (*.dbf)|*.dbf");
    if (kind == QStringLiteral("ACCESS"))
        return QStringLiteral("Access 文件 (*.mdb)|*.mdb");
    if (kind == QStringLiteral("DIR"))
        return QString();
    return std::nullopt;
}
