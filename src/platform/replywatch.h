#pragma once

#include <QString>

#include <memory>

class QSqlDatabase;

// Cuts a PostgreSQL session whose server has stopped answering.
//
// libpq waits for a reply in poll() without a time limit. A server process that is stopped
// (SIGSTOP, a hung disk) or a machine whose kernel still acknowledges TCP leaves that wait
// running for good: keepalives and tcp_user_timeout are satisfied by the kernel, and
// statement_timeout is enforced by the stalled server itself. So a watchdog thread looks at
// every watched socket a few times a second; once a request has gone out after the last
// complete result and nothing has moved on the socket for the deadline, it shuts the socket
// down. The blocked call then returns with libpq's "server closed the connection" error and
// the session is broken for good; the owner opens a new one on its next use.
//
// "A request went out" is the socket's count of bytes sent passing the count taken when libpq
// last completed a result (a libpq event procedure, run in the owning thread), so a result
// still streaming in counts as awaited too. Only the socket (by descriptor and inode) is
// touched from the watchdog thread, never the PGconn.
class ReplyWatch
{
public:
    // Null when there is nothing to watch: not an open PostgreSQL session over TCP.
    static std::unique_ptr<ReplyWatch> start(const QSqlDatabase &db, int deadlineMsec,
                                             const QString &description);
    ~ReplyWatch();
    ReplyWatch(const ReplyWatch &) = delete;
    ReplyWatch &operator=(const ReplyWatch &) = delete;

    bool cut() const; // the watchdog shut this session down

    struct Session;

private:
    explicit ReplyWatch(std::shared_ptr<Session> session);
    std::shared_ptr<Session> m_session;
};
