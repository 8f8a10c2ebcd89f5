#include "LoginItem.h"

#include "BundleLocation.h"
#include "DetachedProgram.h"
#include "Identifiers.h"
#include "Locations.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
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

} // namespace

QString autostartEntryPath()
{
    return Locations::userConfigFolder() + QStringLiteral("/autostart/") + Vellumor::HelperBundleId
        + QStringLiteral(".desktop");
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
