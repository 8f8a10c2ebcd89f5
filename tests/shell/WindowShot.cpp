// vellumor_window_shot: runs the real window (the same application object as
// `vellumor`) with a source and a destination chosen, optionally starts a
// real backup, and saves a picture of the window once the run is under way.
// Used by scripts/screenshot.sh under Xvfb and to look at the layout.
//
//   vellumor_window_shot --source DIR --dest DIR --out FILE.png
//       [--size WIDTHxHEIGHT] [--backup [--until-ended]] [--snapshot] [--closed] [--percent N]
//       --until-ended: pictures the whole screen (with any alert) once the run ended
//   vellumor_window_shot --paste-into DIR --copied ITEM [--copied ITEM...] --out FILE.png
//       [--percent N]
//       a file-manager "Paste" waiting at start-up: the compact window, pictured
//       while it copies the items.
#include "FinderCopyHandOver.h"
#include "FolderChooser.h"
#include "MFTaskAppDelegate.h"
#include "MainWindow.h"
#include "MainWindowView.h"
#include "OptionsSheet.h"
#include "PreferencesSheet.h"
#include "DisclosureLayouts.h"
#include "SchedulingPanel.h"
#include "VellumorApplication.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QAction>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

class AnswerChooser final : public FolderChooser
{
public:
    QStringList answers;
    QString chooseFolder(QWidget *, const FolderChooserRequest &) override
    {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList exclusions;
    QStringList chooseItemsToExclude(QWidget *, const QString &) override { return exclusions; }
};

// With --screen the whole screen is pictured, alerts and other windows too.
bool g_wholeScreen = false;

bool saveWindow(QWidget &window, const QString &path)
{
    const QPixmap picture = g_wholeScreen ? window.screen()->grabWindow(0) : window.grab();
    const bool saved = picture.save(path, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("source"), QStringLiteral("Source folder."), QStringLiteral("dir")},
         {QStringLiteral("dest"), QStringLiteral("Destination folder."), QStringLiteral("dir")},
         {QStringLiteral("out"), QStringLiteral("PNG to write."), QStringLiteral("file")},
         {QStringLiteral("size"), QStringLiteral("Window size."), QStringLiteral("WxH")},
         {QStringLiteral("percent"), QStringLiteral("Progress to wait for."), QStringLiteral("n")},
         {QStringLiteral("backup"), QStringLiteral("Start a real backup first.")},
         {QStringLiteral("until-ended"), QStringLiteral("Picture the screen after the run ended.")},
         {QStringLiteral("snapshot"), QStringLiteral("Snapshot mode.")},
         {QStringLiteral("exclude"), QStringLiteral("An item to exclude."), QStringLiteral("path")},
         {QStringLiteral("sheet"), QStringLiteral("Picture a sheet instead."), QStringLiteral("name")},
         {QStringLiteral("closed"), QStringLiteral("Scheduling panel closed.")},
         {QStringLiteral("paste-into"), QStringLiteral("Paste into this folder."), QStringLiteral("dir")},
         {QStringLiteral("copied"), QStringLiteral("An item copied for the paste."), QStringLiteral("path")},
         {QStringLiteral("screen"), QStringLiteral("Picture the whole screen.")},
         {QStringLiteral("day"), QStringLiteral("Choose this weekday (0 Monday)."), QStringLiteral("n")},
         {QStringLiteral("action"), QStringLiteral("Trigger this menu action first."), QStringLiteral("text")}});
    parser.process(app);
    g_wholeScreen = parser.isSet(QStringLiteral("screen"));

    if (parser.isSet(QStringLiteral("paste-into"))) {
        QList<QUrl> copied;
        for (const QString &item : parser.values(QStringLiteral("copied")))
            copied << QUrl::fromLocalFile(item);
        if (!writeFinderCopyRequest(parser.value(QStringLiteral("paste-into")), copied))
            return 1;
    }
    AnswerChooser chooser;
    VellumorApplicationOptions options;
    options.chooser = &chooser;
    options.startup.arguments = app.arguments();
    options.startup.launchAgent = false;
    options.fitToScreen = true; // as the application itself starts
    VellumorApplication vellumor(options);
    if (!vellumor.start())
        return 1;
    MainWindow &window = vellumor.window();
    const MainWindowOutlets &outlets = window.outlets();
    const QStringList size = parser.value(QStringLiteral("size")).split(u'x');
    if (size.size() == 2)
        window.resize(size.at(0).toInt(), size.at(1).toInt());
    // A file-manager copy has started its run in the compact window already.
    const bool finderCopy = vellumor.controller().isFinderCopy;
    if (!finderCopy) {
        if (parser.isSet(QStringLiteral("closed")))
            outlets.disclosure->disclosureTriangleClicked_actuallyTheTextWasClicked();
        chooser.answers = {parser.value(QStringLiteral("source")), parser.value(QStringLiteral("dest"))};
        outlets.sourceButton->click();
        outlets.destButton->click();
        if (parser.isSet(QStringLiteral("snapshot")))
            outlets.snapshotRow->setChecked(true);
        for (const QString &day : parser.values(QStringLiteral("day")))
            vellumor.view().setScheduledDaySelected(day.toInt(), true);
        chooser.exclusions = parser.values(QStringLiteral("exclude"));
        if (!chooser.exclusions.isEmpty())
            outlets.schedulingView->addExclusionButton()->click();
    }

    const QString out = parser.value(QStringLiteral("out"));
    int status = 1;
    if (!parser.isSet(QStringLiteral("backup")) && !finderCopy) {
        const QString sheetName = parser.value(QStringLiteral("sheet"));
        if (sheetName == u"retention") {
            // The rule dialog is modal: pictured from inside its own loop.
            QTimer::singleShot(500, &app, [&] {
                QWidget *dialog = QApplication::activeModalWidget();
                status = dialog && saveWindow(*dialog, out) ? 0 : 1;
                if (dialog)
                    dialog->close();
                app.quit();
            });
            QTimer::singleShot(0, &app, [&] { outlets.schedulingView->oldSnapshotsButton()->click(); });
            app.exec();
            return status;
        }
        // A menu entry (by its text without "&"), as a user chooses it.
        if (const QString action = parser.value(QStringLiteral("action")); !action.isEmpty()) {
            for (QAction *entry : window.findChildren<QAction *>())
                if (entry->text().remove(u'&') == action)
                    QTimer::singleShot(100, entry, &QAction::trigger);
        }
        QWidget *sheet = nullptr;
        if (sheetName == u"preferences") {
            vellumor.view().preferencesSheet()->preferencesSelected();
            sheet = vellumor.view().preferencesSheet();
        } else if (sheetName == u"options") {
            vellumor.view().configSheet()->configButtonClicked();
            sheet = vellumor.view().configSheet();
        }
        QTimer::singleShot(parser.isSet(QStringLiteral("action")) ? 1500 : 300, &app, [&] {
            status = saveWindow(sheet ? *sheet : static_cast<QWidget &>(window), out) ? 0 : 1;
            app.quit();
        });
        app.exec();
        return status;
    }
    const int percent
        = parser.value(QStringLiteral("percent")).isEmpty() ? 30 : parser.value(QStringLiteral("percent")).toInt();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        const QProgressBar *bar = outlets.progressBar;
        const bool counting = bar->maximum() > 0 && bar->value() * 100 >= bar->maximum() * percent;
        if (counting && !outlets.displayText->text().trimmed().isEmpty()
            && !outlets.jobState->text().trimmed().isEmpty()) {
            poll.stop();
            status = saveWindow(window, out) ? 0 : 1;
            vellumor.controller().startButtonClicked(); // stop the copy
            app.quit();
        }
    });
    const bool untilEnded = parser.isSet(QStringLiteral("until-ended"));
    QObject::connect(&vellumor.controller(), &MFTaskAppDelegate::runFinished, &app, [&] {
        if (untilEnded) {
            poll.stop();
            // Sheets and questions are windows of their own: the screen holds them all.
            QTimer::singleShot(800, &app, [&] {
                const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(out, "PNG");
                std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
                status = saved ? 0 : 1;
                app.quit();
            });
            return;
        }
        // Also a run that ended before the poll began (refused at once).
        if (status != 0) {
            std::fprintf(stderr, "the backup ended before it could be pictured\n");
            poll.stop();
            // What the end left on screen (an alert) is pictured with it.
            QTimer::singleShot(300, &app, [&] {
                saveWindow(window, out);
                app.quit();
            });
        }
    });
    QTimer::singleShot(200, &app, [&] {
        if (!finderCopy)
            outlets.startButton->click();
        poll.start(50);
    });
    app.exec();
    return status;
}
