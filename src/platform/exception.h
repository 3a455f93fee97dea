#pragma once

#include <QSqlError>
#include <QString>
#include <exception>

// The one error type of the system. Every screen handler catches it (and std::exception as a
// last net) and shows Message through Mensagem; nothing lets it reach Qt's event loop.
// A failure of the database keeps the database's error, so whoever tells the operator what
// happened can go by its kind and code rather than by its words.
class Exception : public std::exception
{
public:
    explicit Exception(QString message, QSqlError error = {})
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_error(std::move(error))
    {
    }
    const QString &Message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }
    // The database's error; invalid when the failure was not the database's.
    const QSqlError &sqlError() const noexcept { return m_error; }

private:
    QString m_message;
    QByteArray m_utf8;
    QSqlError m_error;
};

// Message text of any exception caught at a handler boundary.
inline QString exceptionMessage(const std::exception &e)
{
    if (auto *own = dynamic_cast<const Exception *>(&e))
        return own->Message();
    return QString::fromLocal8Bit(e.what());
}
