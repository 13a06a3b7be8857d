#include "platform/ReportFileAccess.h"

#include "Failure.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {

namespace {

Failure fileFailure(const QString& what) {
    return Failure(code::PathFileAccess, QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno))));
}

} // namespace

// The system's temporary folder is shared by every user, so the report goes into a folder of the
// user's own there: a real directory (not a link), owned by this user and closed to everybody
// else. Anything else found under that name is not used.
QString ReportFileAccess::defaultFolder() {
    const QString dir = QDir::tempPath() + QStringLiteral("/halvane-%1").arg(geteuid());
    const QByteArray native = QFile::encodeName(dir);
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw fileFailure(QStringLiteral("Cannot create %1").arg(dir));
    struct stat st {};
    if (lstat(native.constData(), &st) != 0) throw fileFailure(QStringLiteral("Cannot examine %1").arg(dir));
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        throw Failure(code::PathFileAccess, QStringLiteral("%1 is not a folder of this user").arg(dir));
    if ((st.st_mode & 0077) != 0 && chmod(native.constData(), 0700) != 0)
        throw fileFailure(QStringLiteral("Cannot close %1 to other users").arg(dir));
    return dir;
}

ReportFileAccess::ReportFileAccess(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 2 && m_fd < 0; ++attempt) {
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0 && errno == ELOOP && attempt == 0) {
            // A link where the report belongs is removed, never written through; where it cannot
            // be removed (somebody else's, in a shared folder) the open below fails again.
            if (::unlink(name.constData()) != 0) break;
        }
    }
    if (m_fd < 0) throw fileFailure(QStringLiteral("Cannot open the report file"));
    struct stat st {};
    if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || ftruncate(m_fd, 0) != 0) {
        const Failure f = fileFailure(QStringLiteral("The report file is not this user's plain file"));
        discard();
        throw f;
    }
}

ReportFileAccess::~ReportFileAccess() {
    discard();
}

void ReportFileAccess::write(const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fileFailure(QStringLiteral("Cannot write the report file"));
        }
        p += n;
        left -= n;
    }
}

void ReportFileAccess::close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) throw fileFailure(QStringLiteral("Cannot close the report file"));
}

void ReportFileAccess::discard() {
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}

} // namespace hv
