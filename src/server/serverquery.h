#pragma once

#include "datapacket.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <initializer_list>
#include <memory>
#include <utility>

class DbConnection;

enum class ParamType { String, DateTime, Integer };

// A parameter as the query declares it. Size, precision and scale document the declaration;
// values are never cut to them (the database's own column widths decide).
struct ParamDecl
{
    QString name; // without the leading ':'
    ParamType type = ParamType::String;
    int size = 16;
    int precision = 0;
    int scale = 0;
    bool nullable = false;
};

// SQL text bound by name and run on a connection: the query and the command of the data
// module. Every failure (connection, unknown parameter, prepare, execute) is an Exception
// carrying the database's own text.
class ServerQuery
{
public:
    ServerQuery(DbConnection &connection, QString sql, QList<ParamDecl> params,
                QStringList persistentFields = {});
    ~ServerQuery();
    ServerQuery(const ServerQuery &) = delete;
    ServerQuery &operator=(const ServerQuery &) = delete;

    const QString &SQL() const { return m_sql; }
    const QList<ParamDecl> &Parameters() const { return m_params; }
    DbConnection &Connection() const { return m_connection; }

    void setParamValue(const QString &name, const QVariant &value);
    QVariant paramValue(const QString &name) const;

    void Open();    // runs a SELECT and positions before its first row
    void ExecSQL(); // runs a command
    void Close();   // releases the result; nothing stays prepared across calls
    bool Active() const { return m_query != nullptr; }

    // The open result. IsEmpty moves to the first row: read the result before asking, or
    // only ask.
    bool IsEmpty();
    QSqlQuery &result();

private:
    void run(bool select);
    int indexOf(const QString &name) const;

    DbConnection &m_connection;
    QString m_sql;
    QList<ParamDecl> m_params;
    QList<QVariant> m_values;
    QStringList m_persistentFields;
    std::unique_ptr<QSqlQuery> m_query;
};

// Turns a query's whole result into a data packet with the result's own columns and types.
class DataSetProvider
{
public:
    explicit DataSetProvider(ServerQuery &dataSet) : m_dataSet(dataSet) {}

    // Opens the query when it is closed (and closes it again afterwards), reads every row.
    DataPacket GetData();
    // The query closed and run anew with these parameters (by name), every row read.
    DataPacket GetData(std::initializer_list<std::pair<const char *, QVariant>> params);

    // The conversion itself, for any Qt query before its first row on the connection db.
    static DataPacket packetFrom(QSqlQuery &query, const QSqlDatabase &db);

private:
    ServerQuery &m_dataSet;
};
