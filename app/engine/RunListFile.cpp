#include "RunListFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <signal.h>
#include <unistd.h>

namespace {

QString prefixOf(const QString &kind)
{
    return QStringLiteral("vellumor-") + kind + u'-';
}

} // namespace

RunListFile::RunListFile(const QString &kind)
    : m_file(QDir::tempPath() + u'/' + prefixOf(kind) + QString::number(::getpid()) + QStringLiteral("-XXXXXX"))
{
    removeFilesOfEndedRuns(kind);
}

bool RunListFile::open()
{
    // QTemporaryFile creates the file with O_EXCL and mode 0600.
    return m_file.open();
}

bool RunListFile::write(const QByteArray &contents)
{
    return m_file.isOpen() && m_file.write(contents) == contents.size() && m_file.flush();
}

void RunListFile::removeFilesOfEndedRuns(const QString &kind)
{
    const QString folder = QDir::tempPath();
    const QString prefix = prefixOf(kind);
    for (const QString &name : QDir(folder).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden)) {
        bool isNumber = false;
        const qint64 pid = name.mid(prefix.size()).section(u'-', 0, 0).toLongLong(&isNumber);
        if (isNumber && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            QFile::remove(folder + u'/' + name);
    }
}
