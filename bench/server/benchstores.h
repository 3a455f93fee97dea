#pragma once

// The stores a server benchmark measures: its SQLite file, and the PostgreSQL database of
// QEL_TEST_PG when that is set (started by scripts/pg); said on out when it is not.

#include <QList>
#include <QPair>
#include <QString>
#include <QTextStream>

#include <algorithm>

inline QList<QPair<QString, QString>> storesToMeasure(const QString &sqliteFile, QTextStream &out)
{
    QList<QPair<QString, QString>> stores{
        {QStringLiteral("SQLite"), QStringLiteral("sqlite:") + sqliteFile}};
    const QString pg = qEnvironmentVariable("QEL_TEST_PG");
    if (!pg.isEmpty())
        stores << qMakePair(QStringLiteral("PostgreSQL"), pg);
    else
        out << "PostgreSQL not measured: QEL_TEST_PG is not set\n";
    return stores;
}

// The middle value (the upper one of an even count).
inline double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}
