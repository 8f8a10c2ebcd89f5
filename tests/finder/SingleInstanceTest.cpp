// One window instance per session, with the real application on the test's
// private bus: a later start hands itself to the running instance and exits
// 0 (a start by the agent runs no job itself), a file-manager copy runs
// beside it, and a real first instance raises its window for a second.
#include "HandOverBundle.h"

#include "Clock.h"
#include "FinderCopyHandOver.h"
#include "Identifiers.h"
#include "JobRecord.h"
#include "ScheduleFile.h"
#include "SharedDefaults.h"
#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStandardPaths>
#include <QUrl>
#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bundle.isValid());
        ASSERT_TRUE(items.isValid());
        // The application's tools and data in a throw-away bundle without an
        // agent, so no start launches one.
        const QString stage = QStringLiteral(VELLUMOR_STAGE);
        for (const char *tool : {"rsync", "mount", "bless", "dropcount", "diskutil"}) {
            const QString name = QString::fromLatin1(tool);
            ASSERT_TRUE(
                QFile::copy(stage + u"/libexec/vellumor/"_s + name, bundle.prefixPath(u"libexec/vellumor/"_s + name)));
        }
        ASSERT_TRUE(QFile::link(stage + u"/share"_s, bundle.prefixPath(u"share"_s)));
        m_oldPrefix = qgetenv("VELLUMOR_PREFIX");
        bundle.exportEnvironment();
        getUserDefaults()->clear();
        QDir(items.path()).mkpath(u"source"_s);
        QDir(items.path()).mkpath(u"target"_s);
        QFile file(item(u"source/letter.txt"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Dear reader\n");
    }
    void TearDown() override
    {
        QFile::remove(scheduleFilePath());
        qputenv("VELLUMOR_PREFIX", m_oldPrefix);
    }

    QString item(const QString &name) const { return items.filePath(name); }
    static QString scheduleFilePath()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + Vellumor::MainAppBundleId
            + u'/' + Vellumor::ScheduleFileName;
    }
    QStringList targetEntries() const
    {
        return QDir(item(u"target"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }
    void start(QProcess &process, const QStringList &arguments) const
    {
        process.setProgram(QStringLiteral(VELLUMOR_APPLICATION));
        process.setArguments(arguments);
        process.start();
    }
    // Runs the application to its end while this process's event loop
    // answers its calls; the bound only turns a hang into a failure.
    static int runApplication(QProcess &process)
    {
        if (!processEventsUntil([&] { return process.state() == QProcess::NotRunning; }, 120000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    HandOverBundle bundle{false};
    QTemporaryDir items;

private:
    QByteArray m_oldPrefix;
};

// This test process is the running instance; each start is a later one.
TEST_F(SingleInstanceTest, ALaterStartHandsItselfToTheRunningInstanceAPasteRunsBesideIt)
{
    SingleInstance running(QDBusConnection::sessionBus());
    ASSERT_EQ(running.claim({}), SingleInstance::Claim::First);
    QList<QStringList> activations;
    QObject::connect(&running, &SingleInstance::activated,
                     [&](const QStringList &arguments) { activations.append(arguments); });

    const struct
    {
        const char *name;
        QStringList arguments;
        bool dueJob;
        bool paste;
    } cases[] = {
        {"by the user", {}, false, false},
        {"by the agent with a due job", {u"daemonLaunched"_s}, true, false},
        {"for a paste", {}, false, true},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        activations.clear();
        if (test.dueJob) {
            const JobRecord job{{u"sourcePath"_s, item(u"source"_s)},
                                {u"destPath"_s, item(u"target"_s)},
                                {u"scheduledDates"_s, QStringList{u"Sat-05-12-2026 10:00"_s}}};
            ASSERT_TRUE(ScheduleFile(scheduleFilePath(), Clock::system()).write({job}));
        }
        if (test.paste) {
            ASSERT_TRUE(writeFinderCopyRequest(item(u"target"_s), {QUrl::fromLocalFile(item(u"source/letter.txt"_s))}));
        }
        QProcess later;
        start(later, test.arguments);
        EXPECT_EQ(runApplication(later), 0) << later.readAllStandardError().constData();
        if (test.paste) {
            EXPECT_TRUE(activations.isEmpty());
            EXPECT_EQ(targetEntries(), QStringList{u"letter.txt"_s});
        } else {
            EXPECT_EQ(activations, QList<QStringList>{test.arguments});
            EXPECT_TRUE(targetEntries().isEmpty()) << qPrintable(targetEntries().join(u' '));
        }
        QFile::remove(scheduleFilePath());
    }
}

TEST_F(SingleInstanceTest, TheRunningApplicationRaisesItsWindowForASecondStart)
{
    QProcess first;
    first.setProcessChannelMode(QProcess::MergedChannels);
    start(first, {});
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    ASSERT_TRUE(processEventsUntil([&] { return bus->isServiceRegistered(Vellumor::MainAppBundleId).value(); }, 120000))
        << first.readAll().constData();

    QProcess second;
    start(second, {});
    EXPECT_EQ(runApplication(second), 0) << second.readAllStandardError().constData();
    QByteArray firstOutput;
    EXPECT_TRUE(
        processEventsUntil([&] { return (firstOutput += first.readAll()).contains("its window is raised"); }, 120000))
        << firstOutput.constData();
    EXPECT_EQ(first.state(), QProcess::Running);

    ::kill(pid_t(first.processId()), SIGTERM);
    EXPECT_EQ(runApplication(first), 0);
}

} // namespace
