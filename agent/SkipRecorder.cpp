#include "SkipRecorder.h"

#include "DisplayName.h"
#include "RunHistory.h"

#include <QStringList>

#include <pwd.h>
#include <unistd.h>

namespace {

// The name of the disk a path lies on: the folder a removable disk is
// mounted on ("/media/USER/Backup Disk/..." gives "Backup Disk"), which
// names it even while it is unplugged; elsewhere the path's own name.
QString diskName(const QString &path)
{
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    const passwd *account = ::getpwuid(::getuid());
    const QString user = account ? QString::fromLocal8Bit(account->pw_name) : QString();
    qsizetype index = -1;
    if (parts.size() >= 2 && (parts[0] == u"media" || parts[0] == u"mnt"))
        index = 1;
    else if (parts.size() >= 3 && parts[0] == u"run" && parts[1] == u"media")
        index = 2;
    // udisks mounts below a folder named after the account.
    if (index > 0 && parts[0] != u"mnt" && parts.size() > index + 1 && parts[index] == user)
        ++index;
    return index > 0 && index < parts.size() ? parts[index] : displayNameForPath(path);
}

} // namespace

QString SkipRecorder::reasonText(const DueResult &result)
{
    switch (result.outcome) {
    case DueOutcome::Reported:
        break;
    case DueOutcome::WaitingForPower:
        return QStringLiteral("the computer is on battery power");
    case DueOutcome::SourceAbsent:
        return QStringLiteral("%1 is not connected").arg(diskName(result.sourcePath));
    case DueOutcome::DestinationAbsent:
        return QStringLiteral("%1 is not connected").arg(diskName(result.destPath));
    }
    return {};
}

bool SkipRecorder::recordSkip(const DueResult &result, const QDateTime &now)
{
    if (!m_history || result.outcome == DueOutcome::Reported)
        return false;
    const QString key = result.sourcePath + u'\n' + result.destPath + u'\n' + result.runDate;
    if (m_recorded.contains(key))
        return false;
    m_recorded.insert(key);
    RunRecord record;
    record.sourcePath = result.sourcePath;
    record.destPath = result.destPath;
    record.started = now;
    record.ended = now;
    record.outcome = RunRecord::Outcome::Skipped;
    record.cause = reasonText(result);
    return m_history->append(record);
}
