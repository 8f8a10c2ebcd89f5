#include "HelpLinks.h"

#include "BundleLocation.h"
#include "DetachedProgram.h"

#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace HelpLinks {

namespace {

QUrl manualUrl(const QString &root, const QString &query, const QString &fragment)
{
    QUrl url = QUrl::fromLocalFile(root + QStringLiteral("/vellumor-user-manual/index.html"));
    url.setQuery(query);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    return url;
}

// The one manual window of the process, raised again when asked twice.
QPointer<ManualWindow> g_manualWindow;

} // namespace

ManualWindow::ManualWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("manualWindow"));
    setWindowTitle(QStringLiteral("Vellumor Help"));
    setAccessibleName(QStringLiteral("Vellumor Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    m_browser = new QTextBrowser(this);
    m_browser->setAccessibleName(QStringLiteral("User manual"));
    // Links to other places leave for the desktop; the manual's own stay here.
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    resize(640, 560);
}

void ManualWindow::showPage(const QUrl &url)
{
    // The query only marks where the manual was opened from: the file and
    // its section are what the browser loads.
    QUrl page = url;
    page.setQuery(QString());
    m_browser->setSource(page);
    if (!url.fragment().isEmpty())
        m_browser->scrollToAnchor(url.fragment());
}

ManualWindow *showManualWindow(const QUrl &url, QWidget *parent)
{
    if (!g_manualWindow)
        g_manualWindow = new ManualWindow(parent);
    g_manualWindow->showPage(url);
    g_manualWindow->show();
    g_manualWindow->raise();
    g_manualWindow->activateWindow();
    return g_manualWindow;
}

QString manualRoot()
{
    return vellumorPrefix() + QStringLiteral("/share/vellumor/manual");
}

QUrl menuHelpUrl(const QString &root)
{
    return manualUrl(root, QStringLiteral("MenuHelp"), QString());
}

QUrl snapshotsHelpUrl(const QString &root)
{
    return manualUrl(root, QStringLiteral("SnapshotsHelp="), QStringLiteral("IncrementalSnapshot"));
}

void openManual(const QUrl &url, QWidget *parent, const QString &opener)
{
    // The desktop's opener reports by its exit status whether anything could
    // show the page; QDesktopServices only says whether it could start it.
    const QString program = QStandardPaths::findExecutable(opener);
    if (program.isEmpty()) {
        showManualWindow(url, parent);
        return;
    }
    auto *open = new QProcess;
    QPointer<QWidget> window(parent);
    const auto fallBack = [open, url, window] {
        open->deleteLater();
        showManualWindow(url, window);
    };
    QObject::connect(open, &QProcess::errorOccurred, open, [open, fallBack](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fallBack();
    });
    QObject::connect(open, &QProcess::finished, open, [open, fallBack](int exitCode, QProcess::ExitStatus status) {
        if (exitCode != 0 || status != QProcess::NormalExit)
            fallBack();
        else
            open->deleteLater();
    });
    open->start(program, {url.toString()});
}

void menuOpenHelp(QWidget *parent)
{
    openManual(menuHelpUrl(), parent);
}

void clickedSnapshotsHelp(QWidget *parent)
{
    openManual(snapshotsHelpUrl(), parent);
}

QStringList notificationSettingsCommand(const QString &currentDesktop)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list, e.g. "ubuntu:GNOME".
    const QStringList desktops = currentDesktop.toUpper().split(u':', Qt::SkipEmptyParts);
    if (desktops.contains(QStringLiteral("GNOME")))
        return {QStringLiteral("gnome-control-center"), QStringLiteral("notifications")};
    if (desktops.contains(QStringLiteral("KDE")))
        return {QStringLiteral("systemsettings"), QStringLiteral("kcm_notifications")};
    return {};
}

bool configureNotificationsInSystemPreferencesClicked(QWidget *parent)
{
    const QStringList command = notificationSettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    if (!command.isEmpty() && !QStandardPaths::findExecutable(command.first()).isEmpty()
        && startDetachedProgram(command.first(), command.mid(1)))
        return true;
    auto *box
        = new QMessageBox(QMessageBox::Information, QStringLiteral("Vellumor"),
                          QStringLiteral("The notification settings cannot be opened"), QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("notificationSettingsMessage"));
    box->setInformativeText(command.isEmpty()
                                ? QStringLiteral("This desktop has no settings program for notifications that "
                                                 "Vellumor knows. Its notifications are set in the desktop's own "
                                                 "settings.")
                                : QStringLiteral("The settings program \"%1\" is not installed. Its notifications are "
                                                 "set in the desktop's own settings.")
                                      .arg(command.first()));
    box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole)->setAccessibleName(QStringLiteral("OK"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
    return false;
}

} // namespace HelpLinks
