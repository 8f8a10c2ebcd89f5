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

// rsync's messages that name no cause of their own: the closing
// "rsync error: ... (code N)" line and the like.
constexpr std::string_view genericPrefix = "rsync error: ";

// Error messages rsync prints without its "rsync:" prefix. They are known by
// their text, not by the stream they came on: the reader shares one pending
// line between both streams, and output captured from one merged pipe reads
// the same.
constexpr std::array<std::string_view, 8> unprefixedCausePrefixes{{
    "filename overflows max-path len",
    "cannot delete non-empty directory: ",
    "could not make way for ",
    "ERROR: ",
    "WARNING: ",
    "mkstemp \"",
    "link \"",
    "*** Skipping any contents from this failed directory ***",
}};
// A source file that disappeared while rsync worked: a note, not an error
// (exit status 24).
constexpr std::string_view vanishedPrefix = "file has vanished: ";

enum class MessageKind { None, Cause, Generic, Note };

MessageKind messageKind(std::string_view message)
{
    if (message.starts_with(vanishedPrefix) || message.starts_with("rsync warning: "))
        return MessageKind::Note;
    if (message.starts_with(genericPrefix))
        return MessageKind::Generic;
    if (message.starts_with("rsync: "))
        return MessageKind::Cause;
    for (std::string_view prefix : unprefixedCausePrefixes) {
        if (message.starts_with(prefix))
            return MessageKind::Cause;
    }
    return MessageKind::None;
}

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

void MFTaskDelegate::taskDidRecieveData(const QByteArray &data, MFTask *task)
{
    handOver(task, data, false);
}

void MFTaskDelegate::taskDidRecieveErrorData(const QByteArray &data, MFTask *task)
{
    // Standard error shares the reader and its pending partial line.
    handOver(task, data, false);
}

void MFTaskDelegate::taskDidLaunch(MFTask *)
{
    if (m_outputView)
        m_outputView->appendPlainText(u"Task launched\n"_s);
}

void MFTaskDelegate::taskDidTerminate(MFTask *task)
{
    if (m_outputView)
        m_outputView->appendPlainText(u"Task terminated\n"_s);
    // The outcome needs the exit status: the end of the bound task completes
    // the run. Without a task nothing can be decided.
    if (task)
        handOver(task, QByteArray(), true);
}

void MFTaskDelegate::taskDidRecieveInvalidate(MFTask *)
{}

// --- Chunk reader ------------------------------------------------------------

bool MFTaskDelegate::isCurrent(MFTask *task, bool hadTask) const
{
    if (!m_isBound)
        return true;
    // A task that has been deleted meanwhile is no longer current either.
    return hadTask && task && task == m_currentTask.data();
}

void MFTaskDelegate::handOver(MFTask *task, const QByteArray &chunk, bool isEnd)
{
    PendingEvent event{QPointer<MFTask>(task), task != nullptr, chunk, isEnd};
    // The out-of-space alert and "BackupComplete" observers may spin an event
    // loop that delivers the next chunk; it waits until this one is read.
    if (m_isReadingChunk) {
        m_deferredEvents.append(std::move(event));
        return;
    }
    struct ReadingGuard
    {
        bool &flag;
        ~ReadingGuard() { flag = false; }
    } guard{m_isReadingChunk};
    m_isReadingChunk = true;

    readPending(event);
    while (!m_deferredEvents.isEmpty())
        readPending(m_deferredEvents.takeFirst());
}

void MFTaskDelegate::readPending(const PendingEvent &event)
{
    // Checked when read, not when handed over: the run may have changed while
    // the event waited behind the alert.
    if (!isCurrent(event.task.data(), event.hadTask))
        return;
    if (event.isEnd) {
        MFTask *task = event.task.data();
        const TaskTermination ended = task->termination();
        programDidEnd(CopyTermination{ended.kind == TaskTermination::Kind::Signalled, ended.number});
        return;
    }
    readOneChunk(event.chunk);
}

void MFTaskDelegate::setCurrentTask(MFTask *task)
{
    ++m_generation;
    m_isBound = true;
    m_currentTask = task;
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

    // A modal alert shown for a line may let the next run start; what is left
    // of this chunk then belongs to a run that is over.
    const quint64 generation = m_generation;
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
        const bool finishing = processWholeLineOfTaskOutput(line);
        if (generation != m_generation)
            return;
        if (finishing)
            runFinishingSequence();
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
        // After the finishing sequence the remaining lines are only looked
        // at for error messages.
        const bool finishing = processWholeLineOfTaskOutput(line);
        if (generation != m_generation)
            return;
        if (finishing)
            runFinishingSequence();
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
    m_isFinishingUp = true;
    m_noOutputTimer->stop();
    invalidateStatusTimer();
    // rsync does not always end by itself once its destination is full; the
    // run ends when the program has.
    if (m_sawOutOfSpace && m_isBound && m_currentTask)
        m_currentTask->terminate();
}

void MFTaskDelegate::programDidEnd(const CopyTermination &termination)
{
    // The last tick may be a second old: the final count comes before the
    // completion text.
    if (m_totalFiles && !m_lastFullPath.isEmpty() && m_lastFullPath != completionMarker() && m_jobState)
        setJobStateLater(statusLine());
    m_copyOutcome = CopyOutcomes::decide(observations(), termination, false);
    m_isFinishingUp = true;
    m_noOutputTimer->stop();
    m_completionText = CopyOutcomes::statusText(*m_copyOutcome);
    if (m_copyOutcome->succeeded()) {
        // Fills the bar, shows the completion text and stops the timer.
        m_lastFullPath = completionMarker();
        statusUpdater();
    } else {
        invalidateStatusTimer();
        m_lastFullPath.clear();
        setJobStateLater(m_completionText);
    }
    LocalNotificationCenter::defaultCenter().post(u"BackupComplete"_s);
}

CopyObservations MFTaskDelegate::observations() const
{
    CopyObservations observations;
    observations.causeLineCount = m_causeLineCount;
    observations.firstCauseLine = m_firstCauseLine;
    observations.firstErrorLine = m_firstErrorLine;
    observations.firstNoteLine = m_firstNoteLine;
    observations.sawSummary = m_sawSummary;
    observations.sawOutOfSpace = m_sawOutOfSpace;
    return observations;
}

// --- Line parser -------------------------------------------------------------

bool MFTaskDelegate::processWholeLineOfTaskOutput(QByteArrayView line)
{
    // Once finishing, only error messages count (the summary is printed).
    if (m_isFinishingUp) {
        observeErrorLine(line);
        return false;
    }
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
            if (line.startsWith(prefix)) {
                m_sawSummary = true;
                return true;
            }
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
    ++m_itemsOfRun;
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
    if (!isDigit(text.front())) {
        at = 0;
    } else {
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
    const MessageKind kind = messageKind(text.substr(at));
    if (kind == MessageKind::None)
        return;
    const QString messageText = QString::fromUtf8(message);
    if (kind == MessageKind::Note) {
        if (m_firstNoteLine.isEmpty())
            m_firstNoteLine = messageText;
        return;
    }
    if (kind == MessageKind::Cause) {
        if (m_causeLineCount == 0)
            m_firstCauseLine = messageText;
        if (m_causeLineCount < INT_MAX)
            ++m_causeLineCount;
    }
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
    m_causeLineCount = 0;
    m_firstCauseLine.clear();
    m_firstNoteLine.clear();
    m_sawOutOfSpace = false;
    m_sawSummary = false;
    m_copyOutcome.reset();
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
        setJobStateLater(m_completionText.isEmpty() ? u"Backup Complete."_s : m_completionText);
        return;
    }
    if (!m_totalFiles || m_lastFullPath.isEmpty())
        return;

    QMetaObject::invokeMethod(this, &MFTaskDelegate::animate, Qt::QueuedConnection);

    if (m_jobState)
        setJobStateLater(statusLine());

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

QString MFTaskDelegate::statusLine() const
{
    QString status = u"Copied "_s + HumanReadableBigNumbers::textForNumber(double(m_myIndependentCounter))
        + u" of about "_s + HumanReadableBigNumbers::textForNumber(double(m_totalFiles.value_or(0))) + u" files"_s;
    // The dry run sets both totals together; without a size the line just
    // leaves it out.
    if (m_totalSize)
        status += u" ("_s + HumanReadableFileSize::textForNumber(double(*m_totalSize)) + u')';
    return status;
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

void MFTaskDelegate::resetForNewRun()
{
    resetForNew();
    // A stopped or finished run leaves its partial line, last path, rates and
    // held-back chunks behind; none of them belongs to the next run.
    m_remainder.clear();
    m_itemsOfRun = 0;
    m_lastFullPath.clear();
    m_thePercent.clear();
    m_dataTransferRate.clear();
    m_beatsSinceValuesUpdate = 0;
    m_deferredEvents.clear();
    m_completionText.clear();
    m_noOutputTimer->stop();
    invalidateStatusTimer();
    m_isBound = true;
    m_currentTask = nullptr;
    ++m_generation;
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
