#pragma once

// The scheduler agent as a login item: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/org.vellumor.Vellumor.Helper.desktop whose Exec
// is the bundle's agent, written at every start of the application unless a
// system-wide entry (an installed package's, in $XDG_CONFIG_DIRS) starts
// that agent for every user already; and the agent's launch when nobody owns
// its D-Bus name.
// What callers may rely on: writing replaces the entry in one step; a
// missing agent executable is a failed launch, which is not an error; only
// an entry exactly as this program writes it (for any agent path) is ever
// removed, never one a user has changed.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QDBusConnection;

namespace LoginItem {

QString autostartEntryPath();
// PREFIX/libexec/vellumor/vellumor-helper.
QString agentExecutablePath();
// The desktop entry text for the agent at `agentPath`.
QByteArray autostartEntry(const QString &agentPath);
// Writes the entry; false (with a reason) when it cannot.
bool writeAutostartEntry(const QString &entryPath, const QString &agentPath, QString *error = nullptr);

// The autostart folder below each of $XDG_CONFIG_DIRS (/etc/xdg when unset).
QStringList systemAutostartFolders();
// Whether one of `folders` holds the agent's entry, by its file name, with
// `agentPath` as its Exec.
bool hasSystemEntry(const QStringList &folders, const QString &agentPath);
// Whether `text` is an entry as autostartEntry() writes it, for any path.
bool isWrittenEntry(const QByteArray &text);
// Removes the entry at `entryPath` when isWrittenEntry(); true when it went.
bool removeWrittenEntry(const QString &entryPath);

// Starts the agent without waiting when its bus name has no owner. Returns
// whether a process was started.
bool launchAgentIfNotRunning(const QDBusConnection &bus, const QString &agentPath);

} // namespace LoginItem
