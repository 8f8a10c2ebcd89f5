#pragma once

// A throw-away bundle prefix for the hand-over tests: the real vellumor-finder
// in libexec/vellumor, a stand-in for bin/vellumor that records what the
// start-up found (StandInApplicationMain.cpp), and the record file. Children
// started through it see this prefix through VELLUMOR_PREFIX.

#include "EventLoopWait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

class HandOverBundle
{
public:
    explicit HandOverBundle(bool withApplication = true)
    {
        QDir prefix(m_tmp.path());
        prefix.mkpath(QStringLiteral("bin"));
        prefix.mkpath(QStringLiteral("libexec/vellumor"));
        prefix.mkpath(QStringLiteral("lib/nautilus/extensions-4"));
        QFile::link(QStringLiteral(FINDER_TOOL), prefixPath(QStringLiteral("libexec/vellumor/vellumor-finder")));
        if (withApplication)
            QFile::link(QStringLiteral(STAND_IN_APPLICATION), prefixPath(QStringLiteral("bin/vellumor")));
    }

    bool isValid() const { return m_tmp.isValid(); }
    QString prefixPath(const QString &relative) const { return m_tmp.filePath(relative); }
    QString recordPath() const { return m_tmp.filePath(QStringLiteral("record.txt")); }

    // The environment every child of the test gets.
    void exportEnvironment() const
    {
        qputenv("VELLUMOR_PREFIX", QFile::encodeName(m_tmp.path()));
        qputenv("VELLUMOR_TEST_RECORD", QFile::encodeName(recordPath()));
    }

    // Runs a program to its end; the guard only turns a hang into a failure.
    static int runToEnd(const QString &program, const QStringList &arguments, QString *errors = nullptr)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(120000))
            return -1;
        if (errors)
            *errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    int runFinderTool(const QStringList &arguments, QString *errors = nullptr) const
    {
        return runToEnd(prefixPath(QStringLiteral("libexec/vellumor/vellumor-finder")), arguments, errors);
    }

    QStringList recordedLines() const
    {
        QFile record(recordPath());
        if (!record.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(record.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    // Waits until the stand-ins started so far have written count lines.
    bool waitForLines(qsizetype count) const
    {
        return processEventsUntil([&] { return recordedLines().size() >= count; });
    }

private:
    QTemporaryDir m_tmp;
};
