#pragma once

// The scheduler agent as a login item: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/org.vellumor.Vellumor.Helper.desktop whose Exec
// is the bundle's agent, written at every start of the application; and the
// agent's launch when nobody owns its D-Bus name.
// What callers may rely on: writing replaces the entry in one step; a
// missing agent executable is a failed launch, which is not an error.

#include <QByteArray>
#include <QString>

class QDBusConnection;

namespace LoginItem {

QString autostartEntryPath();
// PREFIX/libexec/vellumor/vellumor-helper.
QString agentExecutablePath();
// The desktop entry text for the agent at `agentPath`.
QByteArray autostartEntry(const QString &agentPath);
// Writes the entry; false (with a reason) when it cannot.
bool writeAutostartEntry(const QString &entryPath, const QString &agentPath, QString *error = nullptr);

// Starts the agent without waiting when its bus name has no owner. Returns
// whether a process was started.
bool launchAgentIfNotRunning(const QDBusConnection &bus, const QString &agentPath);

} // namespace LoginItem
