#include "ScheduleFile.h"

#include "Clock.h"
#include "PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

ScheduleFile::ScheduleFile(QString path, const Clock &clock) : m_path(std::move(path)), m_clock(clock)
{}

ScheduleReadResult ScheduleFile::read() const
{
    ScheduleReadResult result;
    QFile file(m_path);
    if (!file.exists())
        return result;
    if (!file.open(QIODevice::ReadOnly)) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = file.errorString();
        return result;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = file.errorString();
        return result;
    }
    if (data.isEmpty()) {
        result.state = ScheduleReadResult::State::Empty;
        return result;
    }
    const std::optional<QVariant> root = PropertyList::fromData(data);
    if (!root) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = QStringLiteral("not a property list");
        return result;
    }
    if (root->typeId() != QMetaType::QVariantList && root->typeId() != QMetaType::QStringList) {
        result.state = ScheduleReadResult::State::Unreadable;
        result.error = QStringLiteral("the property list's root is not an array");
        return result;
    }
    result.state = ScheduleReadResult::State::Read;
    const QVariantList entries = root->toList();
    for (const QVariant &entry : entries) {
        if (entry.typeId() == QMetaType::QVariantMap)
            result.records.append(entry.toMap());
        else
            ++result.skippedEntries;
    }
    return result;
}

bool ScheduleFile::keepUnreadableFile(const ScheduleReadResult &current, QString *error) const
{
    const QString stem
        = m_path + QStringLiteral(".unreadable-") + m_clock.now().toString(QStringLiteral("yyyy-MM-dd-HHmm"));
    QString keptPath = stem;
    for (int n = 2; QFileInfo::exists(keptPath); ++n)
        keptPath = stem + u'-' + QString::number(n);

    // A hard link keeps the very bytes without having to read them, which
    // matters when the file is unreadable because of its permissions.
    const QByteArray from = QFile::encodeName(m_path);
    const QByteArray to = QFile::encodeName(keptPath);
    if (::link(from.constData(), to.constData()) != 0) {
        const int linkErrno = errno;
        if (!QFile::copy(m_path, keptPath)) {
            if (error)
                *error = QStringLiteral("%1 could not be read (%2) and could not be kept as %3 (%4); "
                                        "it was left unchanged")
                             .arg(m_path, current.error, keptPath, QString::fromLocal8Bit(std::strerror(linkErrno)));
            return false;
        }
    }
    qWarning("Schedule file %s could not be read (%s); kept it as %s before replacing it", qPrintable(m_path),
             qPrintable(current.skippedEntries > 0
                            ? QStringLiteral("%1 entries are not job records").arg(current.skippedEntries)
                            : current.error),
             qPrintable(keptPath));
    return true;
}

bool ScheduleFile::write(const QList<JobRecord> &records, QString *error) const
{
    QVariantList array;
    array.reserve(records.size());
    for (const JobRecord &record : records)
        array.append(record);
    QString conversionError;
    const std::optional<QByteArray> xml = PropertyList::toXml(array, &conversionError);
    if (!xml) {
        if (error)
            *error = QStringLiteral("The schedule could not be written to %1: %2").arg(m_path, conversionError);
        return false;
    }

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("The folder %1 for the schedule could not be created").arg(folder);
        return false;
    }

    const ScheduleReadResult current = read();
    if (current.wouldLoseData() && !keepUnreadableFile(current, error))
        return false;

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*xml) != xml->size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("The schedule could not be written to %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}
