#include "replywatch.h"

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-events.h>
#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcReplyWatch, "qel.db")

struct ReplyWatch::Session
{
    int socket = -1;
    ino_t inode = 0; // a descriptor closed by libpq and reused by another socket is not ours
    std::atomic<int> deadline{0};
    QString description;
    std::atomic<quint64> sentAtResult{0};
    std::atomic<bool> watched{true};
    std::atomic<bool> cut{false};
    std::atomic<bool> gone{false}; // the PGconn was destroyed
};

namespace {

using Session = ReplyWatch::Session;

std::optional<tcp_info> tcpInfo(int socket)
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) != 0
        || size < offsetof(tcp_info, tcpi_bytes_sent) + sizeof info.tcpi_bytes_sent)
        return std::nullopt;
    return info;
}

class Watchdog
{
public:
    static Watchdog &instance()
    {
        // Never destroyed: its thread may still be waiting while static objects are.
        static Watchdog *watchdog = new Watchdog;
        return *watchdog;
    }

    void add(std::shared_ptr<Session> session)
    {
        std::lock_guard lock(m_mutex);
        m_sessions.push_back(std::move(session));
        if (!m_started) {
            m_started = true;
            std::thread([this] { run(); }).detach();
        }
        m_wake.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_sessions.empty())
                m_wake.wait(lock);
            else
                m_wake.wait_for(lock, std::chrono::milliseconds(200));
            std::erase_if(m_sessions, [](const auto &s) { return s->gone.load(); });
            for (const auto &s : m_sessions)
                check(*s);
        }
    }

    static void check(Session &s)
    {
        if (!s.watched || s.cut)
            return;
        struct stat st;
        if (::fstat(s.socket, &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_ino != s.inode)
            return;
        const auto info = tcpInfo(s.socket);
        if (!info)
            return;
        const bool awaited = info->tcpi_bytes_sent > s.sentAtResult.load();
        const quint32 quiet = std::min(info->tcpi_last_data_recv, info->tcpi_last_data_sent);
        if (!awaited || quiet < quint32(s.deadline.load()))
            return;
        ::shutdown(s.socket, SHUT_RDWR);
        s.cut = true;
        qCWarning(lcReplyWatch).noquote()
            << QStringLiteral("%1: sem resposta do servidor em %2 ms; conexão interrompida")
                   .arg(s.description)
                   .arg(s.deadline.load());
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::shared_ptr<Session>> m_sessions;
    bool m_started = false;
};

// Runs in the thread that owns the PGconn. The instance data is a heap shared_ptr to the
// session, released when libpq destroys the connection.
int onEvent(PGEventId id, void *info, void *)
{
    switch (id) {
    case PGEVT_RESULTCREATE: {
        const auto *event = static_cast<PGEventResultCreate *>(info);
        // A row of a result still streaming in is not its end.
        if (PQresultStatus(event->result) == PGRES_SINGLE_TUPLE)
            break;
        if (auto *s = static_cast<std::shared_ptr<Session> *>(
                PQinstanceData(event->conn, onEvent))) {
            if (const auto tcp = tcpInfo((*s)->socket))
                (*s)->sentAtResult = tcp->tcpi_bytes_sent;
        }
        break;
    }
    case PGEVT_CONNDESTROY: {
        PGconn *conn = static_cast<PGEventConnDestroy *>(info)->conn;
        if (auto *s = static_cast<std::shared_ptr<Session> *>(PQinstanceData(conn, onEvent))) {
            (*s)->gone = true;
            PQsetInstanceData(conn, onEvent, nullptr);
            delete s;
        }
        break;
    }
    default:
        break;
    }
    return 1;
}

} // namespace

std::unique_ptr<ReplyWatch> ReplyWatch::start(const QSqlDatabase &db, int deadlineMsec,
                                              const QString &description)
{
    if (!db.isOpen() || !db.driver() || deadlineMsec <= 0)
        return nullptr;
    // The driver's handle, as Qt documents it for QPSQL; Qt 6 names the type by the struct
    // behind libpq's typedef.
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0
            && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    PGconn *conn = *static_cast<PGconn *const *>(handle.constData());
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        return nullptr;

    // A session watched before keeps its event procedure: libpq registers one only once.
    if (auto *known = static_cast<std::shared_ptr<Session> *>(PQinstanceData(conn, onEvent))) {
        (*known)->deadline = deadlineMsec;
        (*known)->watched = true;
        return std::unique_ptr<ReplyWatch>(new ReplyWatch(*known));
    }

    const int socket = PQsocket(conn);
    struct stat st;
    const auto tcp = socket < 0 ? std::nullopt : tcpInfo(socket);
    if (!tcp || ::fstat(socket, &st) != 0)
        return nullptr; // a Unix socket: the server is on this machine, not watched

    auto session = std::make_shared<Session>();
    session->socket = socket;
    session->inode = st.st_ino;
    session->deadline = deadlineMsec;
    session->description = description;
    session->sentAtResult = tcp->tcpi_bytes_sent;
    if (!PQregisterEventProc(conn, onEvent, "qel reply watch", nullptr))
        return nullptr;
    PQsetInstanceData(conn, onEvent, new std::shared_ptr<Session>(session));
    Watchdog::instance().add(session);
    return std::unique_ptr<ReplyWatch>(new ReplyWatch(session));
}

ReplyWatch::ReplyWatch(std::shared_ptr<Session> session) : m_session(std::move(session)) {}

ReplyWatch::~ReplyWatch()
{
    m_session->watched = false;
}

bool ReplyWatch::cut() const
{
    return m_session->cut;
}
