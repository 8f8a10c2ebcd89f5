// How much of the main thread the output reader takes during a copy.
//
// 1. Generates a tree of small files (100,000 by default), copies it once with
//    rsync and the application's Sync argument list into a fresh folder, times
//    the copy and keeps its merged output.
// 2. Feeds that output through MFTaskDelegate in 64 KiB chunks with no-op
//    controls, and prints lines per second, MB/s and the ratio of reading time
//    to rsync's own time (the goal is at most 1%).
// 3. Does the same with a synthetic output of at least 1,000,000 lines in the
//    same mix (item lines, "-P" updates with carriage returns, up-to-date
//    lines), and prints what that speed means for the real run.
//
// Usage: bench_progress_reader [file count] [--keep]

#include "MFTaskDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct NoOpProgress : ProgressIndicator
{
    double current = 0;
    double maximum = 0;
    double value() const override { return current; }
    void setValue(double v) override { current = v; }
    double maxValue() const override { return maximum; }
    void setMaxValue(double m) override { maximum = m; }
    void setIndeterminate(bool) override {}
    void stopAnimation() override {}
};

struct NoOpText : TextField
{
    void setText(const QString &) override {}
};

struct NoOpView : TransferAnimationView
{
    void setFilePath(const QString &) override {}
    void setPartialPath(const QString &) override {}
    void setPercent(std::optional<int>) override {}
    void setIsFinderCopy(bool) override {}
    void setIconInstances(IconInstances) override {}
    void setX(double) override {}
    double frameWidth() const override { return 0; }
};

qsizetype countLinesAndUpdates(const QByteArray &output)
{
    qsizetype count = 0;
    bool inLine = false;
    for (char c : output) {
        if (c == '\n' || c == '\r') {
            count += inLine;
            inLine = false;
        } else {
            inLine = true;
        }
    }
    return count + inLine;
}

// Best of several passes of the whole output through a fresh delegate.
double secondsToRead(const QByteArray &output, quint64 *itemsSeen)
{
    constexpr qsizetype chunkSize = 64 * 1024;
    double best = 1e9;
    for (int pass = 0; pass < 5; ++pass) {
        NoOpProgress progress;
        NoOpText jobState, displayText;
        NoOpView view;
        MFTaskDelegate delegate;
        delegate.setProgressBar(&progress);
        delegate.setJobState(&jobState);
        delegate.setDisplayText(&displayText);
        delegate.setAnimatingView(&view);
        delegate.setSourcePath(u"/home/user/Data"_s);
        delegate.setTotalFiles(100000);
        delegate.setTotalSize(100000000);

        QElapsedTimer timer;
        timer.start();
        for (qsizetype at = 0; at < output.size(); at += chunkSize)
            delegate.taskDidRecieveData(output.mid(at, chunkSize), nullptr);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
        *itemsSeen = delegate.myIndependentCounter();
        QCoreApplication::sendPostedEvents();
    }
    return best;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool generateTree(const QString &root, int fileCount)
{
    constexpr int filesPerFolder = 100;
    const QByteArray content(200, 'x');
    for (int i = 0; i < fileCount; ++i) {
        const QString folder = root + u"/folder-%1"_s.arg(i / filesPerFolder, 4, 10, QLatin1Char('0'));
        if (i % filesPerFolder == 0 && !QDir().mkpath(folder))
            return false;
        if (!writeFile(folder + u"/file-%1.txt"_s.arg(i, 6, 10, QLatin1Char('0')), content))
            return false;
    }
    return true;
}

QByteArray syntheticOutput(qsizetype minimumLines)
{
    QByteArray out = "sending incremental file list\n";
    qsizetype lines = 1;
    for (int i = 0; lines < minimumLines; ++i) {
        const QByteArray name = "Data/folder-" + QByteArray::number(i / 100).rightJustified(4, '0') + "/file-"
            + QByteArray::number(i).rightJustified(6, '0') + ".txt";
        out += "\t://: " + name + "\n";
        // Small files get an update ending in two spaces, then the last one.
        out += "\r            200 100%  195.31kB/s    0:00:00  ";
        out += "\r            200 100%  195.31kB/s    0:00:00 (xfr#" + QByteArray::number(i + 1)
            + ", ir-chk=" + QByteArray::number(1000 + i % 1000) + "/" + QByteArray::number(i + 2000) + ")\n";
        lines += 3;
        if (i % 4 == 0) {
            out += name + ".old is uptodate\n";
            ++lines;
        }
    }
    out += "\nNumber of files: 1 (reg: 1)\nTotal file size: 200 bytes\n";
    return out;
}

void report(const char *what, const QByteArray &output, double seconds)
{
    const qsizetype lines = countLinesAndUpdates(output);
    std::printf("%s: %lld lines and updates, %.1f MB, read in %.2f ms: %.2f M lines/s, %.0f MB/s\n", what,
                static_cast<long long>(lines), output.size() / 1e6, seconds * 1e3, lines / seconds / 1e6,
                output.size() / seconds / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Figures appear as they are measured, even when redirected to a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList arguments = app.arguments();
    const int fileCount = arguments.size() > 1 ? std::max(1, arguments.at(1).toInt()) : 100000;
    const bool keep = arguments.contains(u"--keep"_s);

    QTemporaryDir work;
    work.setAutoRemove(!keep);
    const QString source = work.path() + u"/Data"_s;
    std::printf("generating %d files in %s\n", fileCount, qPrintable(source));
    if (!generateTree(source, fileCount)) {
        std::fprintf(stderr, "cannot write the source tree\n");
        return 1;
    }
    const QString excludeFile = work.path() + u"/excludelist.txt"_s;
    writeFile(excludeFile, ".DS_Store\n*.tmp\nCaches/\n");
    const QString rsync = QStandardPaths::findExecutable(u"rsync"_s);
    if (rsync.isEmpty()) {
        std::fprintf(stderr, "rsync not found\n");
        return 1;
    }

    // The application's Sync argument list, into a folder never used before.
    const QString destination = work.path() + u"/dest-fresh/"_s;
    QProcess copy;
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.setWorkingDirectory(work.path());
    QElapsedTimer copyTimer;
    copyTimer.start();
    copy.start(rsync,
               {u"--exclude-from="_s + excludeFile, u"--out-format=\t://: %n"_s, u"-laxi"_s, u"-DH"_s, u"-P"_s,
                u"--numeric-ids"_s, u"--stats"_s, u"--filter=P /*"_s, u"--delete"_s, u"--exclude"_s, u"*.download"_s,
                source, destination});
    QByteArray realOutput;
    if (!copy.waitForStarted()) {
        std::fprintf(stderr, "cannot start rsync\n");
        return 1;
    }
    while (copy.state() != QProcess::NotRunning) {
        copy.waitForReadyRead(1000);
        realOutput += copy.readAll();
    }
    realOutput += copy.readAll();
    const double copySeconds = copyTimer.nsecsElapsed() / 1e9;
    if (copy.exitStatus() != QProcess::NormalExit || copy.exitCode() != 0) {
        std::fprintf(stderr, "rsync failed (%d)\n", copy.exitCode());
        return 1;
    }
    writeFile(work.path() + u"/rsync-output.txt"_s, realOutput);
    std::printf("rsync copied %d files in %.2f s (%.1f MB of output)\n", fileCount, copySeconds,
                realOutput.size() / 1e6);

    quint64 items = 0;
    const double realSeconds = secondsToRead(realOutput, &items);
    report("real output", realOutput, realSeconds);
    // The count must equal the output's item lines whatever the 64 KiB cuts.
    std::printf("  items counted: %llu of %lld item lines in the output\n", static_cast<unsigned long long>(items),
                static_cast<long long>(realOutput.count("\t://: ")));
    std::printf("  ratio: reading takes %.3f%% of rsync's time (goal: at most 1%%)\n",
                100.0 * realSeconds / copySeconds);

    const QByteArray synthetic = syntheticOutput(1000000);
    const double syntheticSeconds = secondsToRead(synthetic, &items);
    report("synthetic output", synthetic, syntheticSeconds);
    const double projected = syntheticSeconds * double(realOutput.size()) / double(synthetic.size());
    std::printf("  at this speed the real output costs %.2f ms, %.3f%% of rsync's time\n", projected * 1e3,
                100.0 * projected / copySeconds);
    return 0;
}
