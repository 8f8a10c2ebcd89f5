#include "MFTaskDelegate.h"

#include "HumanReadableFormatters.h"
#include "LocalNotificationCenter.h"

#include <QEasingCurve>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>

Q_LOGGING_CATEGORY(lcProgress, "vellumor.progress")

namespace {

using namespace Qt::StringLiterals;

// The reader skips these before every line (spaces, tabs, CR, LF, VT, FF).
constexpr std::array<bool, 256> makeSkippedTable()
{
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\r', '\n', '\v', '\f'})
        table[c] = true;
    return table;
}
constexpr std::array<bool, 256> skippedTable = makeSkippedTable();

inline bool isSkipped(char c)
{
    return skippedTable[static_cast<unsigned char>(c)];
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The first line of rsync's "--stats" block is one of these; the reader stops
// at the first of them it meets.
constexpr std::array<QByteArrayView, 12> summaryPrefixes{{
    "Total file size: ",
    "Total transferred file size: ",
    "File list size: ",
    "File list generation time: ",
    "File list transfer time: ",
    "Total bytes sent: ",
    "Total bytes received: ",
    "total size is ",
    "Literal data: ",
    "Matched data: ",
    "Number of files: ",
    "Number of files transferred: ",
}};

constexpr QByteArrayView itemMarker = "://:";
constexpr QByteArrayView itemNameMarker = "://: ";
constexpr QByteArrayView uptodateSuffix = " is uptodate";
constexpr QByteArrayView noSpaceText = "No space left on device";

// sourcePath without its last component, followed by "/" unless it already
// ends in one: "/Users/x/docs" and "/Users/x/docs/" give "/Users/x/",
// "/docs" gives "/".
QString itemPathBaseFor(const QString &sourcePath)
{
    QString path = sourcePath;
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        path.clear();
    else
        path.truncate(slash == 0 ? 1 : slash);
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

// The integer value of a text as C's atoi reads it: optional leading
// whitespace and sign, then decimal digits ("37%" gives 37, "" gives 0).
int leadingIntegerValue(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10 + (text.at(i).unicode() - u'0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

} // namespace

MFTaskDelegate::MFTaskDelegate(QObject *parent)
    : QObject(parent)
    , m_noOutputTimer(new QTimer(this))
    , m_pulse(new QVariantAnimation(this))
{
    m_itemPathBase = itemPathBaseFor(m_sourcePath);

    m_noOutputTimer->setSingleShot(true);
    m_noOutputTimer->setInterval(noOutputIntervalMs);
    connect(m_noOutputTimer, &QTimer::timeout, this, &MFTaskDelegate::noOutput);

    m_pulse->setEasingCurve(QEasingCurve::Linear);
    m_pulse->setDuration(pulseDurationMs);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant &x) {
        if (m_animatingView)
            m_animatingView->setX(x.toDouble());
    });
}

MFTaskDelegate::~MFTaskDelegate() = default;

// --- Task notifications ------------------------------------------------------

void MFTaskDelegate::taskDidRecieveData(const QByteArray &data, MFTask *)
{
    readChunk(data);
}

void MFTaskDelegate::taskDidRecieveErrorData(const QByteArray &data, MFTask *)
{
    // Standard error shares the reader and its pending partial line.
    readChunk(data);
}

void MFTaskDelegate::taskDidLaunch(MFTask *)
{
    if (m_outputView)
        m_outputView->appendPlainText(u"Task launched\n"_s);
}

void MFTaskDelegate::taskDidTerminate(MFTask *)
{
    // The end of the process starts nothing: completion follows the summary.
    if (m_outputView)
        m_outputView->appendPlainText(u"Task terminated\n"_s);
}

void MFTaskDelegate::taskDidRecieveInvalidate(MFTask *)
{}

// --- Chunk reader ------------------------------------------------------------

void MFTaskDelegate::readChunk(const QByteArray &chunk)
{
    // The out-of-space alert and "BackupComplete" observers may spin an event
    // loop that delivers the next chunk; it waits until this one is read.
    if (m_isReadingChunk) {
        m_deferredChunks.append(chunk);
        return;
    }
    struct ReadingGuard
    {
        bool &flag;
        ~ReadingGuard() { flag = false; }
    } guard{m_isReadingChunk};
    m_isReadingChunk = true;

    readOneChunk(chunk);
    while (!m_deferredChunks.isEmpty())
        readOneChunk(m_deferredChunks.takeFirst());
}

void MFTaskDelegate::readOneChunk(const QByteArray &chunk)
{
    handleNoOutputTimer();

    // Lines are cut on raw bytes (every separator is ASCII) and decoded as
    // UTF-8 only when whole, so a character split between two chunks is
    // joined again through the remainder.
    const char *data = chunk.constData();
    const qsizetype length = chunk.size();

    // rsync ends every unfinished progress update with two spaces and no line
    // break, so such a chunk is taken as complete to show the update at once.
    const bool chunkEndsInTwoSpaces = length >= 2 && data[length - 1] == ' ' && data[length - 2] == ' ';

    // Next LF and next CR at or after the scan position, found with memchr
    // (the hottest loop of the program).
    qsizetype nextLineFeed = -1;
    qsizetype nextCarriageReturn = -1;
    const auto nextBreakFrom = [&](qsizetype from) {
        const auto find = [&](char c) {
            const void *found = std::memchr(data + from, c, size_t(length - from));
            return found ? static_cast<const char *>(found) - data : length;
        };
        if (nextLineFeed < from)
            nextLineFeed = find('\n');
        if (nextCarriageReturn < from)
            nextCarriageReturn = find('\r');
        return std::min(nextLineFeed, nextCarriageReturn);
    };
    // A line that runs to the end of the chunk is unfinished, unless the chunk
    // ends in two spaces.
    const auto isUnfinished = [&](qsizetype lineEnd) { return lineEnd == length && !chunkEndsInTwoSpaces; };

    qsizetype position = 0;
    if (!m_remainder.isEmpty()) {
        // The pending line goes on with this chunk's bytes exactly as they
        // are, up to the first line break: pipe reads cut rsync's output
        // anywhere, and a cut before a space or a line feed must neither drop
        // the space nor join two lines.
        const qsizetype end = nextBreakFrom(0);
        m_remainder.append(data, end);
        position = end;
        if (isUnfinished(end)) {
            startStatusTimerIfNeeded();
            return;
        }
        const QByteArray line = std::move(m_remainder);
        m_remainder.clear();
        if (processWholeLineOfTaskOutput(line)) {
            runFinishingSequence();
            return;
        }
    }

    while (true) {
        while (position < length && isSkipped(data[position]))
            ++position;
        if (position >= length)
            break;
        const qsizetype end = nextBreakFrom(position);
        const QByteArrayView line(data + position, end - position);
        position = end;

        if (isUnfinished(end)) {
            m_remainder = line.toByteArray();
            break;
        }
        if (processWholeLineOfTaskOutput(line)) {
            runFinishingSequence();
            return;
        }
    }
    startStatusTimerIfNeeded();
}

void MFTaskDelegate::startStatusTimerIfNeeded()
{
    if (m_statusUpdateTimer || m_isFinishingUp)
        return;
    m_statusUpdateTimer = new QTimer(this);
    m_statusUpdateTimer->setInterval(statusIntervalMs);
    connect(m_statusUpdateTimer, &QTimer::timeout, this, &MFTaskDelegate::statusUpdater);
    m_statusUpdateTimer->start();
    statusUpdater();
}

void MFTaskDelegate::runFinishingSequence()
{
    if (m_progressBar)
        m_progressBar->setValue(m_progressBar->maxValue());
    qCInfo(lcProgress, "VLM Log: setting finishing to yes");
    m_isFinishingUp = true;
    m_lastFullPath = completionMarker();
    statusUpdater();
    LocalNotificationCenter::defaultCenter().post(u"BackupComplete"_s);
}

// --- Line parser -------------------------------------------------------------

bool MFTaskDelegate::processWholeLineOfTaskOutput(QByteArrayView line)
{
    // Item and up-to-date lines carry a file name, and a name may hold any
    // text: they are never read as an error or a summary line, so a file
    // named "Total file size: x" cannot end the reading of a copy.
    const bool isItem = line.startsWith(itemMarker);
    if (isItem || line.endsWith(uptodateSuffix)) {
        handleItemLine(line, isItem);
        return false;
    }

    // rsync right-aligns the byte count, so an update starts with a digit once
    // the reader has skipped the padding; a "[sender] hiding file 50%: x/y"
    // line must not pass for one.
    if (!line.isEmpty() && isDigit(line.front()) && line.contains('%') && line.contains(':') && line.contains('/')) {
        handleProgressLine(line);
    } else if (m_animatingView) {
        m_animatingView->setPartialPath(QString::fromUtf8(line));
    }

    observeErrorLine(line);

    if (isOutOfSpaceLine(line)) {
        m_sawOutOfSpace = true;
        showOutOfSpaceAlert();
        return true;
    }

    switch (line.isEmpty() ? '\0' : line.front()) {
    case 'T':
    case 'F':
    case 't':
    case 'L':
    case 'M':
    case 'N':
        for (QByteArrayView prefix : summaryPrefixes) {
            if (line.startsWith(prefix))
                return true;
        }
        break;
    default:
        break; // no summary prefix starts otherwise
    }
    return false;
}

void MFTaskDelegate::handleItemLine(QByteArrayView line, bool isItem)
{
    ++m_myIndependentCounter;
    if (m_progressBar) {
        m_progressBar->setMaxValue(double(m_totalFiles.value_or(0)));
        m_progressBar->setValue(m_progressBar->value() + 1);
    }

    // Both kinds of line name the item relative to the source's parent. The
    // markers are ASCII, so they keep their length once decoded.
    const QString text = QString::fromUtf8(line);
    QStringView name;
    if (!isItem)
        name = QStringView(text).chopped(uptodateSuffix.size());
    else if (line.startsWith(itemNameMarker))
        name = QStringView(text).sliced(itemNameMarker.size());
    // An item line of "://:" without its space counts but names nothing.

    if (!name.isNull()) {
        m_lastFullPath = m_itemPathBase + name;
        if (m_animatingView)
            m_animatingView->setFilePath(m_lastFullPath);
    }
    if (m_animatingView)
        m_animatingView->setPartialPath(text);
}

void MFTaskDelegate::handleProgressLine(QByteArrayView line)
{
    m_beatsSinceValuesUpdate = 0;

    // Fields are separated by runs of spaces (tabs are not separators); only
    // the second (percent) and third (rate) are kept.
    const char *data = line.data();
    const qsizetype length = line.size();
    qsizetype fieldStart[3] = {0, -1, -1};
    qsizetype fieldEnd[3] = {-1, -1, -1};
    int field = 0;
    for (qsizetype i = 0; i < length && field < 3; ++i) {
        if (data[i] != ' ')
            continue;
        fieldEnd[field] = i;
        while (i + 1 < length && data[i + 1] == ' ')
            ++i;
        ++field;
        if (field < 3)
            fieldStart[field] = i + 1;
    }
    if (field < 2)
        return; // fewer than three fields
    if (field == 2)
        fieldEnd[2] = length;
    // Kept as bytes (assign reuses the capacity), decoded when shown.
    m_thePercent.assign(data + fieldStart[1], size_t(fieldEnd[1] - fieldStart[1]));
    m_dataTransferRate.assign(data + fieldStart[2], size_t(fieldEnd[2] - fieldStart[2]));
}

void MFTaskDelegate::observeErrorLine(QByteArrayView line)
{
    // rsync's messages begin with "rsync: " or "rsync error: ". One printed
    // while a progress update is open is glued onto it after the update's two
    // trailing spaces, with no line break in between.
    if (line.isEmpty())
        return;
    const auto isMessage
        = [](std::string_view text) { return text.starts_with("rsync: ") || text.starts_with("rsync error: "); };
    const std::string_view text(line.data(), size_t(line.size()));
    size_t at = std::string_view::npos;
    if (text.front() == 'r') {
        if (isMessage(text))
            at = 0;
    } else if (isDigit(text.front())) {
        for (size_t glue = text.find("  rsync"); glue != std::string_view::npos;
             glue = text.find("  rsync", glue + 1)) {
            if (isMessage(text.substr(glue + 2))) {
                at = glue + 2;
                break;
            }
        }
    }
    if (at == std::string_view::npos)
        return;
    const QByteArrayView message = line.sliced(qsizetype(at));
    const QString messageText = QString::fromUtf8(message);
    if (m_errorLineCount == 0)
        m_firstErrorLine = messageText;
    m_lastErrorLine = messageText;
    if (m_errorLineCount < INT_MAX)
        ++m_errorLineCount;
    // Exhausted inodes print "mkstemp ... failed: No space left on device
    // (28)" rather than "write failed on", and rsync carries on.
    if (message.contains(noSpaceText))
        m_sawOutOfSpace = true;
}

bool MFTaskDelegate::isOutOfSpaceLine(QByteArrayView line) const
{
    // Both texts hold "write"; most lines have none and cost one search.
    const std::string_view text(line.data(), size_t(line.size()));
    if (text.find("write") == std::string_view::npos)
        return false;
    constexpr auto npos = std::string_view::npos;
    return (text.find("write failed on ") != npos && text.find("No space left on device ") != npos)
        || text.find("writefd_unbuffered failed to write") != npos;
}

void MFTaskDelegate::showOutOfSpaceAlert()
{
    const QString message = u"Out of drive space"_s;
    const QString informative = u"It looks like you're out of drive space.\n\nFree up some space on the "
                                "destination then hit Backup again and we'll automatically detect where "
                                "we were and resume the backup."_s;
    if (m_alertPresenter)
        m_alertPresenter->runModalAlert(message, informative, u"OK"_s);
    else
        qCWarning(lcProgress).noquote() << message << informative;
}

void MFTaskDelegate::resetRunObservations()
{
    m_errorLineCount = 0;
    m_firstErrorLine.clear();
    m_lastErrorLine.clear();
    m_sawOutOfSpace = false;
}

// --- Status reporting --------------------------------------------------------

void MFTaskDelegate::setJobStateLater(const QString &text)
{
    // Texts of the status field appear after the current handler returns.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (m_jobState)
                m_jobState->setText(text);
        },
        Qt::QueuedConnection);
}

void MFTaskDelegate::invalidateStatusTimer()
{
    if (!m_statusUpdateTimer)
        return;
    m_statusUpdateTimer->stop();
    // This may run inside the timer's own timeout.
    m_statusUpdateTimer->deleteLater();
    m_statusUpdateTimer = nullptr;
}

void MFTaskDelegate::statusUpdater()
{
    if (m_lastFullPath == completionMarker() || !m_statusUpdateTimer) {
        m_lastFullPath.clear();
        invalidateStatusTimer();
        if (m_progressBar)
            m_progressBar->setValue(m_progressBar->maxValue());
        setJobStateLater(u"Backup Complete."_s);
        return;
    }
    if (!m_totalFiles || m_lastFullPath.isEmpty())
        return;

    QMetaObject::invokeMethod(this, &MFTaskDelegate::animate, Qt::QueuedConnection);

    QString status = u"Copied "_s + HumanReadableBigNumbers::textForNumber(double(m_myIndependentCounter))
        + u" of about "_s + HumanReadableBigNumbers::textForNumber(double(*m_totalFiles)) + u" files"_s;
    // The dry run sets both totals together; without a size the line just
    // leaves it out.
    if (m_totalSize)
        status += u" ("_s + HumanReadableFileSize::textForNumber(double(*m_totalSize)) + u')';
    if (m_jobState)
        setJobStateLater(status);
    else
        qCInfo(lcProgress, "broken!");

    const quint64 difference = m_myIndependentCounter - m_lastMyIndependentCounter;
    QString rate = u"Files / second: "_s + QString::number(difference) + (difference == 1 ? u" file"_s : u" files"_s);
    m_lastMyIndependentCounter = m_myIndependentCounter;
    if (m_animatingView)
        m_animatingView->setPercent(std::nullopt);

    rate += u"\nData / second: "_s;
    const int beats = m_beatsSinceValuesUpdate;
    if (m_beatsSinceValuesUpdate < INT_MAX)
        ++m_beatsSinceValuesUpdate;
    if (beats <= 1 && !m_dataTransferRate.empty()) {
        QString shownRate = dataTransferRate();
        if (shownRate.endsWith(u"/s"))
            shownRate.chop(2);
        rate += shownRate;
    } else {
        rate += u'-';
    }
    if (m_displayText)
        m_displayText->setText(rate);

    if (m_thePercent != "0%" && m_animatingView)
        m_animatingView->setPercent(leadingIntegerValue(thePercent()));
}

void MFTaskDelegate::animate()
{
    // A new pulse restarts the sweep from 0 even while the last one runs.
    m_pulse->stop();
    if (m_animatingView)
        m_animatingView->setX(0);
    m_pulse->setStartValue(0.0);
    m_pulse->setEndValue(m_animatingView ? m_animatingView->frameWidth() : 0.0);
    m_pulse->start();
}

void MFTaskDelegate::handleNoOutputTimer()
{
    // start() on a running timer re-arms it: the same as replacing it, without
    // a new timer object for every chunk.
    m_noOutputTimer->stop();
    if (!m_isFinishingUp)
        m_noOutputTimer->start();
}

void MFTaskDelegate::noOutput()
{
    if (!m_animatingView)
        return;
    m_animatingView->setFilePath(QString());
    m_animatingView->setIconInstances(TransferAnimationView::IconInstances::Empty);
}

void MFTaskDelegate::resetForNew()
{
    if (m_progressBar) {
        m_progressBar->setValue(0);
        m_progressBar->setMaxValue(0);
        m_progressBar->setIndeterminate(true);
        m_progressBar->stopAnimation();
    }
    m_totalFiles.reset();
    m_totalSize.reset();
    m_myIndependentCounter = 0;
    m_lastMyIndependentCounter = 0;
    if (m_animatingView)
        m_animatingView->setIconInstances(TransferAnimationView::IconInstances::None);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_jobState)
                m_jobState->setText(QString());
            if (m_displayText)
                m_displayText->setText(QString());
            if (m_fileIcon)
                m_fileIcon->clearImage();
        },
        Qt::QueuedConnection);
    if (m_duplicateOrHardlinks)
        m_duplicateOrHardlinks->show();
    m_isFinishingUp = false;
    resetRunObservations();
}

// --- Settings ----------------------------------------------------------------

void MFTaskDelegate::setAnimatingView(TransferAnimationView *animatingView)
{
    m_animatingView = animatingView;
}

void MFTaskDelegate::setSourcePath(const QString &sourcePath)
{
    m_sourcePath = sourcePath;
    m_itemPathBase = itemPathBaseFor(sourcePath);
}

void MFTaskDelegate::setIsFinderCopy(bool isFinderCopy)
{
    m_isFinderCopy = isFinderCopy;
    if (m_animatingView)
        m_animatingView->setIsFinderCopy(isFinderCopy);
}
