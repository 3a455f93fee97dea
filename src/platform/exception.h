#pragma once

#include <QString>
#include <exception>

// The one error type of the system. Every screen handler catches it (and std::exception as a
// last net) and shows Message through Mensagem; nothing lets it reach Qt's event loop.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &Message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Message text of any exception caught at a handler boundary.
inline QString exceptionMessage(const std::exception &e)
{
    if (auto *own = dynamic_cast<const Exception *>(&e))
        return own->Message();
    return QString::fromLocal8Bit(e.what());
}
