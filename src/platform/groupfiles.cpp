#include "groupfiles.h"

#include "exception.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &path, int error)
{
    throw Exception(QStringLiteral("Não foi possível dar ao grupo da pasta o acesso a %1: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

bool folderOf(const QString &path, struct stat &folder)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::stat(dir.constData(), &folder) == 0;
}

void give(const QString &path, const struct stat &folder)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0)
        fail(path, errno);
    if (S_ISLNK(st.st_mode))
        return; // what it points at is not ours to change
    if (st.st_gid != folder.st_gid && ::chown(name.constData(), uid_t(-1), folder.st_gid) != 0)
        fail(path, errno);
    mode_t mode = (st.st_mode & 07777) | S_IRGRP | S_IWGRP;
    if (S_ISDIR(st.st_mode))
        mode |= S_IXGRP | S_ISGID;
    // chown may have cleared the set-group-id bit of a folder: always set the mode.
    if (::chmod(name.constData(), mode) != 0)
        fail(path, errno);
}

} // namespace

void shareWithFolderGroup(const QString &path)
{
    struct stat folder;
    if (folderOf(path, folder) && (folder.st_mode & S_ISGID))
        give(path, folder);
}

void giveToFolderGroup(const QString &path)
{
    struct stat folder;
    if (!folderOf(path, folder))
        fail(QFileInfo(path).absolutePath(), errno);
    give(path, folder);
}
