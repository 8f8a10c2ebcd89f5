#include "LoginItem.h"

#include "BundleLocation.h"
#include "DetachedProgram.h"
#include "Identifiers.h"
#include "Locations.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace LoginItem {

namespace {

// Exec values quote an argument holding blanks or reserved characters, and
// escape '"', '`', '$' and '\' inside the quotes (desktop entry rules).
QString quotedExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return argument;
    QString escaped;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    // Inside a desktop file's string value, a backslash is itself escaped.
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + escaped + u'"';
}

QString entryFileName()
{
    return Vellumor::HelperBundleId + QStringLiteral(".desktop");
}

// The entry's lines without its Exec line, which names the agent.
QList<QByteArray> linesWithoutExec(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeIf([](const QByteArray &line) { return line.startsWith("Exec="); });
    return lines;
}

} // namespace

QString autostartEntryPath()
{
    return Locations::userConfigFolder() + QStringLiteral("/autostart/") + entryFileName();
}

QString agentExecutablePath()
{
    return vellumorPrefix() + QStringLiteral("/libexec/vellumor/vellumor-helper");
}

QByteArray autostartEntry(const QString &agentPath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Vellumor Helper\n"
                                        "Comment=Runs scheduled Vellumor backups when they are due\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "NoDisplay=true\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(quotedExecArgument(agentPath));
    return text.toUtf8();
}

bool writeAutostartEntry(const QString &entryPath, const QString &agentPath, QString *error)
{
    QDir().mkpath(QFileInfo(entryPath).absolutePath());
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(autostartEntry(agentPath)) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QStringList systemAutostartFolders()
{
    QStringList folders;
    const QString configured = qEnvironmentVariable("XDG_CONFIG_DIRS");
    // The base directory rules: relative entries are ignored.
    for (const QString &folder : configured.split(u':', Qt::SkipEmptyParts)) {
        if (folder.startsWith(u'/'))
            folders << folder + QStringLiteral("/autostart");
    }
    if (folders.isEmpty())
        folders << QStringLiteral("/etc/xdg/autostart");
    return folders;
}

bool hasSystemEntry(const QStringList &folders, const QString &agentPath)
{
    const QByteArray execLine = "Exec=" + quotedExecArgument(agentPath).toUtf8();
    for (const QString &folder : folders) {
        QFile entry(folder + u'/' + entryFileName());
        if (entry.open(QIODevice::ReadOnly) && entry.size() < 65536 && entry.readAll().split('\n').contains(execLine))
            return true;
    }
    return false;
}

bool isWrittenEntry(const QByteArray &text)
{
    return linesWithoutExec(text) == linesWithoutExec(autostartEntry(QString()));
}

bool removeWrittenEntry(const QString &entryPath)
{
    QFile entry(entryPath);
    if (!entry.open(QIODevice::ReadOnly) || entry.size() >= 65536 || !isWrittenEntry(entry.readAll()))
        return false;
    entry.close();
    return entry.remove();
}

bool launchAgentIfNotRunning(const QDBusConnection &bus, const QString &agentPath)
{
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(Vellumor::HelperBundleId))
        return false;
    const QFileInfo agent(agentPath);
    if (!agent.isFile() || !agent.isExecutable())
        return false; // a failed launch is ignored
    return startDetachedProgram(agentPath, {});
}

} // namespace LoginItem
