#include "RunHistory.h"

#include "SupportFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Word
{
    int value;
    const char *word;
};

constexpr Word kindWords[] = {{int(RunRecord::Kind::Sync), "sync"},
                              {int(RunRecord::Kind::Snapshot), "snapshot"},
                              {int(RunRecord::Kind::Restore), "restore"},
                              {int(RunRecord::Kind::FileManagerCopy), "copy"}};
constexpr Word outcomeWords[] = {{int(RunRecord::Outcome::Succeeded), "succeeded"},
                                 {int(RunRecord::Outcome::SucceededWithVanished), "succeededWithVanished"},
                                 {int(RunRecord::Outcome::Failed), "failed"},
                                 {int(RunRecord::Outcome::Stopped), "stopped"},
                                 {int(RunRecord::Outcome::OutOfSpace), "outOfSpace"},
                                 {int(RunRecord::Outcome::Skipped), "skipped"}};

template<size_t N>
QString wordFor(const Word (&words)[N], int value)
{
    for (const Word &word : words)
        if (word.value == value)
            return QLatin1String(word.word);
    return {};
}

template<size_t N>
std::optional<int> valueFor(const Word (&words)[N], const QString &text)
{
    for (const Word &word : words)
        if (text == QLatin1String(word.word))
            return word.value;
    return std::nullopt;
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

} // namespace

bool RunRecord::isFor(const QString &source, const QString &dest) const
{
    // "x/" and "x" name the same job.
    return QDir::cleanPath(sourcePath) == QDir::cleanPath(source) && QDir::cleanPath(destPath) == QDir::cleanPath(dest);
}

namespace RunRecords {

QString kindWord(RunRecord::Kind kind)
{
    return wordFor(kindWords, int(kind));
}

QString outcomeWord(RunRecord::Outcome outcome)
{
    return wordFor(outcomeWords, int(outcome));
}

QByteArray toJsonLine(const RunRecord &record)
{
    QJsonObject object{{QStringLiteral("source"), record.sourcePath},
                       {QStringLiteral("dest"), record.destPath},
                       {QStringLiteral("started"), timeText(record.started)},
                       {QStringLiteral("ended"), timeText(record.ended)},
                       {QStringLiteral("kind"), kindWord(record.kind)},
                       {QStringLiteral("outcome"), outcomeWord(record.outcome)},
                       {QStringLiteral("files"), record.files},
                       {QStringLiteral("bytes"), record.bytes}};
    if (!record.cause.isEmpty())
        object.insert(QStringLiteral("cause"), record.cause);
    if (!record.snapshot.isEmpty())
        object.insert(QStringLiteral("snapshot"), record.snapshot);
    // Compact JSON escapes every line break, so one record is one line.
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<RunRecord> fromJsonLine(QByteArrayView line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<int> kind = valueFor(kindWords, object.value(QStringLiteral("kind")).toString());
    const std::optional<int> outcome = valueFor(outcomeWords, object.value(QStringLiteral("outcome")).toString());
    RunRecord record;
    record.sourcePath = object.value(QStringLiteral("source")).toString();
    record.destPath = object.value(QStringLiteral("dest")).toString();
    record.ended = QDateTime::fromString(object.value(QStringLiteral("ended")).toString(), Qt::ISODate);
    if (!kind || !outcome || record.sourcePath.isEmpty() || !record.ended.isValid())
        return std::nullopt;
    record.started = QDateTime::fromString(object.value(QStringLiteral("started")).toString(), Qt::ISODate);
    record.kind = RunRecord::Kind(*kind);
    record.outcome = RunRecord::Outcome(*outcome);
    record.cause = object.value(QStringLiteral("cause")).toString();
    record.files = object.value(QStringLiteral("files")).toInteger();
    record.bytes = object.value(QStringLiteral("bytes")).toInteger();
    record.snapshot = object.value(QStringLiteral("snapshot")).toString();
    return record;
}

} // namespace RunRecords

RunHistory::RunHistory(QString path, int limit) : m_path(std::move(path)), m_limit(std::max(1, limit))
{}

QString RunHistory::defaultPath()
{
    return getApplicationSupportFolder() + QStringLiteral("/Run History.jsonl");
}

bool RunHistory::append(const RunRecord &record) const
{
    // The agent and the application may both write; the lock file keeps
    // their lines whole and the trim from dropping a line just added.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(10000)) {
        qWarning("The run history %s is locked; a record was not written", qPrintable(m_path));
        return false;
    }
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning("Cannot open the run history %s: %s", qPrintable(m_path), std::strerror(errno));
        return false;
    }
    QByteArray line = RunRecords::toJsonLine(record) + '\n';
    // A process killed mid-write leaves a line without its end: end it, so
    // only that torn line is lost, not this record too.
    struct stat info = {};
    char last = '\n';
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        const int reader = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            if (::pread(reader, &last, 1, info.st_size - 1) != 1)
                last = '\n';
            ::close(reader);
        }
    }
    if (last != '\n')
        line.prepend('\n');
    const bool written = writeAll(fd, line);
    if (!written)
        qWarning("Cannot write the run history %s: %s", qPrintable(m_path), std::strerror(errno));
    else
        trimIfNeeded(fd);
    ::close(fd);
    return written;
}

void RunHistory::trimIfNeeded(int fd) const
{
    struct stat info = {};
    // Records are a few hundred bytes; a file this small holds no excess.
    if (::fstat(fd, &info) != 0 || info.st_size < qint64(m_limit) * 64)
        return;
    const QList<RunRecord> records = read();
    if (records.size() <= m_limit + m_limit / 10)
        return;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (qsizetype i = records.size() - m_limit; i < records.size(); ++i)
        file.write(RunRecords::toJsonLine(records.at(i)) + '\n');
    if (!file.commit())
        qWarning("Cannot shorten the run history %s", qPrintable(m_path));
}

QList<RunRecord> RunHistory::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<RunRecord> records;
    const QByteArray content = file.readAll();
    for (const QByteArray &line : content.split('\n')) {
        if (std::optional<RunRecord> record = RunRecords::fromJsonLine(line))
            records.append(std::move(*record));
    }
    return records;
}
