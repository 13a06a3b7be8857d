#include "reports/ReportFile.h"

#include "Failure.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {

namespace {

constexpr qsizetype kFlushAt = 256 * 1024;

Failure fileFailure(const QString& what) {
    return Failure(code::PathFileAccess, QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno))));
}

// The user's own folder in the shared temporary folder: a real directory (not a link), owned by
// this user and closed to everybody else. Anything else found under that name is not used.
QString privateTempFolder() {
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

} // namespace

QString ReportFile::path() {
    const QByteArray temp = qgetenv("Temp");
    const QString folder = temp.isEmpty() ? privateTempFolder() : QFile::decodeName(temp);
    return folder + QDir::separator() + QStringLiteral("report.txt");
}

ReportFile::ReportFile() {
    const QByteArray name = QFile::encodeName(path());
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
        ::close(m_fd);
        m_fd = -1;
        throw f;
    }
    m_buffer.reserve(kFlushAt + 4096);
}

ReportFile::~ReportFile() {
    // After a failure the lines written so far still reach the file.
    if (m_fd >= 0) {
        try {
            close();
        } catch (const Failure&) {
        }
    }
}

void ReportFile::writeLine(const QString& line) {
    m_buffer += line.toUtf8();
    m_buffer += "\r\n";
    if (m_buffer.size() >= kFlushAt) flush();
}

void ReportFile::flush() {
    const char* p = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fileFailure(QStringLiteral("Cannot write the report file"));
        }
        p += n;
        left -= n;
    }
    m_buffer.clear();
}

void ReportFile::close() {
    if (m_fd < 0) return;
    const int fd = m_fd;
    try {
        flush();
    } catch (...) {
        m_fd = -1;
        ::close(fd);
        throw;
    }
    m_fd = -1;
    if (::close(fd) != 0) throw fileFailure(QStringLiteral("Cannot close the report file"));
}

} // namespace hv
