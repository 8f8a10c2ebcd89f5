#include "SnapshotOwnership.h"

#include "SnapshotFolders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString sourcesKey = QStringLiteral("sourcePaths");
const QString destinationKey = QStringLiteral("destPath");
// A record is a few paths; anything larger is not one.
constexpr qint64 largestRecord = 256 * 1024;

QString recordPath(const QString &folder)
{
    return QDir::cleanPath(folder) + u'/' + SnapshotRecord::recordFileName();
}

bool entryExists(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

} // namespace

bool SnapshotIdentity::sameJob(const SnapshotIdentity &other) const
{
    // A job is its (first source, destination) pair, as the schedule keeps
    // it: a job that gains a second source goes on linking to its snapshots.
    return !sources.isEmpty() && !other.sources.isEmpty()
        && SnapshotFolders::samePath(sources.constFirst(), other.sources.constFirst())
        && SnapshotFolders::samePath(destination, other.destination);
}

QByteArray SnapshotIdentity::toRecord() const
{
    QJsonObject object;
    object.insert(sourcesKey, QJsonArray::fromStringList(sources));
    object.insert(destinationKey, destination);
    return QJsonDocument(object).toJson();
}

std::optional<SnapshotIdentity> SnapshotIdentity::fromRecord(const QByteArray &record)
{
    const QJsonDocument document = QJsonDocument::fromJson(record);
    const QJsonObject object = document.object();
    if (!object.value(sourcesKey).isArray() || !object.value(destinationKey).isString())
        return std::nullopt;
    SnapshotIdentity identity;
    for (const QJsonValue &source : object.value(sourcesKey).toArray()) {
        if (!source.isString())
            return std::nullopt;
        identity.sources << source.toString();
    }
    identity.destination = object.value(destinationKey).toString();
    if (identity.sources.isEmpty())
        return std::nullopt;
    return identity;
}

namespace SnapshotRecord {

QString recordFileName()
{
    return QStringLiteral(".vellumor-snapshot.json");
}

std::optional<QString> write(const QString &folder, const SnapshotIdentity &identity)
{
    const QString path = recordPath(folder);
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && (!S_ISREG(status.st_mode) || !read(folder)))
        return QStringLiteral("%1 holds an entry of that name that is not a record").arg(QDir::cleanPath(folder));
    // A new file renamed into place: the entry there may be a link to the
    // record of the snapshot this one was cloned from.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(identity.toRecord());
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<SnapshotIdentity> read(const QString &folder)
{
    // Never through a link, never from a FIFO or device someone put there.
    const int fd
        = ::open(QFile::encodeName(recordPath(folder)).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status = {};
    QByteArray content;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= largestRecord) {
        content.resize(qsizetype(status.st_size));
        const ssize_t got = ::read(fd, content.data(), size_t(content.size()));
        content.resize(got < 0 ? 0 : qsizetype(got));
    }
    ::close(fd);
    return SnapshotIdentity::fromRecord(content);
}

} // namespace SnapshotRecord

SnapshotOwnership::SnapshotOwnership(Job job, QList<uid_t> trustedOwners, QDateTime now)
    : m_job(std::move(job))
    , m_trustedOwners(std::move(trustedOwners))
    , m_now(std::move(now))
{}

QList<uid_t> SnapshotOwnership::trustedOwnersFor(const QString &destination)
{
    QList<uid_t> owners{::geteuid()};
    if (!owners.contains(0))
        owners << 0;
    struct stat status = {};
    if (::geteuid() == 0 && ::stat(QFile::encodeName(destination).constData(), &status) == 0
        && !owners.contains(status.st_uid))
        owners << status.st_uid;
    return owners;
}

SnapshotOwnership::Verdict SnapshotOwnership::judge(const SnapshotFacts &facts) const
{
    if (!m_trustedOwners.contains(facts.owner))
        return Verdict::OtherAccount;
    // A day of slack: names are in local time, and a traveller's clock may
    // stand hours behind the one that named the last snapshot.
    if (facts.date && *facts.date > m_now.addDays(1))
        return Verdict::FutureDate;
    if (facts.record)
        return facts.record->sameJob(m_job.identity) ? Verdict::Own : Verdict::OtherJob;
    const auto couldOwn
        = [&](const QString &ownerName) { return ownerName.isEmpty() || facts.ownerNamesPresent.contains(ownerName); };
    if (!couldOwn(m_job.ownerName))
        return Verdict::OtherJob;
    if (std::any_of(m_job.otherOwnerNames.cbegin(), m_job.otherOwnerNames.cend(), couldOwn))
        return Verdict::Undecided;
    return Verdict::Own;
}

SnapshotFacts SnapshotOwnership::factsOf(const QString &folder) const
{
    SnapshotFacts facts;
    struct stat status = {};
    if (::lstat(QFile::encodeName(QDir::cleanPath(folder)).constData(), &status) != 0)
        facts.owner = uid_t(-1);
    else
        facts.owner = status.st_uid;
    facts.date = SnapshotFolders::snapshotDate(folder);
    facts.record = SnapshotRecord::read(folder);
    QStringList names = m_job.otherOwnerNames;
    names << m_job.ownerName;
    for (const QString &name : std::as_const(names)) {
        if (!name.isEmpty() && entryExists(QDir::cleanPath(folder) + u'/' + name))
            facts.ownerNamesPresent << name;
    }
    return facts;
}

QStringList SnapshotOwnership::ownSnapshots(const QStringList &folders) const
{
    QStringList own;
    for (const QString &folder : folders) {
        if (verdictFor(folder) == Verdict::Own)
            own << folder;
    }
    return own;
}

QStringList SnapshotOwnership::untrusted(const QStringList &folders) const
{
    QStringList named;
    for (const QString &folder : folders) {
        SnapshotFacts facts = factsOf(folder);
        const Verdict verdict = judge(facts);
        if (verdict != Verdict::OtherAccount && verdict != Verdict::FutureDate)
            continue;
        // Only what would otherwise pass for this job's snapshot is news.
        SnapshotOwnership trusting(m_job, {facts.owner}, QDateTime::fromSecsSinceEpoch(0).addYears(10000));
        const Verdict otherwise = trusting.judge(facts);
        if (otherwise != Verdict::Own && otherwise != Verdict::Undecided)
            continue;
        const QString why = verdict == Verdict::OtherAccount
            ? QStringLiteral("made by another account, uid %1").arg(facts.owner)
            : QStringLiteral("dated in the future");
        named << QStringLiteral("\"%1\" (%2)").arg(SnapshotFolders::folderName(folder), why);
    }
    return named;
}

QString untrustedSnapshotsText(const QStringList &untrusted)
{
    if (untrusted.isEmpty())
        return QString();
    if (untrusted.size() == 1)
        return QStringLiteral("Ignored %1: not used as a snapshot.").arg(untrusted.constFirst());
    return QStringLiteral("Ignored %1 folders not used as snapshots, the first %2.")
        .arg(untrusted.size())
        .arg(untrusted.constFirst());
}
