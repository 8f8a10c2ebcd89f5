// Shows the transfer strip during a real copy and saves a screenshot of it.
//
// Generates a folder of files of several types, copies it with the system's
// rsync and the application's Sync argument list (slowed with --bwlimit so
// the items can be watched), feeds rsync's output through MFTaskDelegate
// into an RKAnimatingView in a window with the status line and rates, and
// after a few seconds grabs the window from the screen into a PNG.
//
// Usage: demo_transfer_strip OUTPUT.png [seconds] [--finder]
// Run it on a display, e.g. Xvfb :99 & DISPLAY=:99 demo_transfer_strip x.png

#include "BackupArguments.h"
#include "ProcessTask.h"
#include "MFTask.h"
#include "MFTaskDelegate.h"
#include "RKAnimatingView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

struct LabelField : TextField
{
    QLabel *label;
    explicit LabelField(QLabel *l) : label(l) {}
    void setText(const QString &text) override { label->setText(text); }
};

struct BarIndicator : ProgressIndicator
{
    QProgressBar *bar;
    double current = 0;
    double maximum = 0;
    explicit BarIndicator(QProgressBar *b) : bar(b) {}
    double value() const override { return current; }
    void setValue(double v) override { bar->setValue(int(current = v)); }
    double maxValue() const override { return maximum; }
    void setMaxValue(double m) override { bar->setMaximum(int(maximum = m)); }
    void setIndeterminate(bool on) override { bar->setMaximum(on ? 0 : int(maximum)); }
    void stopAnimation() override {}
};

// Files of several types, 200 to 700 KB of random bytes each.
qint64 generateTree(const QString &root, int *files)
{
    const QStringList names{u"Holiday photo.jpg"_s, u"Quarterly report.pdf"_s,
                            u"notes.txt"_s,         u"budget.ods"_s,
                            u"theme song.mp3"_s,    u"main.cpp"_s,
                            u"index.html"_s,        u"backup.tar.gz"_s,
                            u"diagram.png"_s,       u"letter.odt"_s,
                            u"build.sh"_s,          u"clip.mp4"_s};
    qint64 bytes = 0;
    *files = 0;
    for (int round = 0; round < 8; ++round) {
        const QString folder = root + u"/Folder %1"_s.arg(round + 1);
        QDir().mkpath(folder);
        for (const QString &name : names) {
            QByteArray content(200 * 1024 + int(QRandomGenerator::global()->bounded(500 * 1024)), '\0');
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(content.data()), content.size() / 4);
            QFile file(folder + u'/' + name);
            if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
                return -1;
            bytes += content.size();
            ++*files;
        }
    }
    return bytes;
}

QStringList copyArguments(const QString &work, const QString &source, const QString &destination)
{
    QFile exclude(work + u"/excludelist.txt"_s);
    if (exclude.open(QIODevice::WriteOnly))
        exclude.write(".DS_Store\n*.tmp\n");
    BackupArgumentInput input;
    input.excludeListPath = exclude.fileName();
    input.backupSources = {source};
    input.trimmedSources = trimmedSources({source});
    input.backupDest = withTrailingSlash(destination);
    // About two items a second, so each stays in view for a while.
    return QStringList{u"--bwlimit=900"_s} + backupArgumentList(input);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: demo_transfer_strip OUTPUT.png [seconds] [--finder]\n");
        return 2;
    }
    const QString output = arguments.at(1);
    const int seconds = arguments.size() > 2 ? std::max(2, arguments.at(2).toInt()) : 8;
    const bool finderCopy = arguments.contains(u"--finder"_s);
    // A bare X server has no desktop to name an icon theme; use the one a
    // desktop would most likely name, so the icons show the file types.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == u"hicolor")
        QIcon::setThemeName(u"Adwaita"_s);
    // The preference is read from a private suite, so the strip is shown.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    QTemporaryDir work;
    const QString source = work.path() + u"/Data"_s;
    int files = 0;
    const qint64 bytes = generateTree(source, &files);
    const QString rsync = QStandardPaths::findExecutable(u"rsync"_s);
    if (bytes < 0 || rsync.isEmpty()) {
        std::fprintf(stderr, "cannot write the source tree or find rsync\n");
        return 1;
    }

    QWidget window;
    window.setWindowTitle(u"Transfer strip"_s);
    auto *layout = new QVBoxLayout(&window);
    auto *view = new RKAnimatingView(&window);
    auto *bar = new QProgressBar(&window);
    auto *status = new QLabel(&window);
    auto *rates = new QLabel(&window);
    bar->setTextVisible(false);
    layout->addWidget(view);
    layout->addWidget(bar);
    layout->addWidget(status);
    layout->addWidget(rates);
    window.resize(720, 0);
    window.show();

    LabelField jobState(status), displayText(rates);
    BarIndicator progress(bar);
    MFTaskDelegate delegate;
    delegate.setProgressBar(&progress);
    delegate.setJobState(&jobState);
    delegate.setAnimatingView(view);
    delegate.setSourcePath(source);
    delegate.setDisplayText(&displayText);
    delegate.setIsFinderCopy(finderCopy);
    delegate.setMyIndependentCounter(0);
    delegate.setTotalFiles(files + 9);
    delegate.setTotalSize(quint64(bytes));
    delegate.setRunAnimation(true);
    view->setIconInstances(TransferAnimationView::IconInstances::Empty);

    ProcessTask task;
    task.setDelegate(&delegate);
    task.setLaunchPath(rsync);
    task.setArguments(copyArguments(work.path(), source, work.path() + u"/Backup"_s));
    task.launch();

    QTimer::singleShot(seconds * 1000, &app, [&] {
        const QPixmap shot = window.screen()->grabWindow(window.winId());
        const bool saved = shot.save(output);
        std::printf("%s %s (%dx%d), %llu items copied so far\n", saved ? "saved" : "could not save", qPrintable(output),
                    shot.width(), shot.height(), static_cast<unsigned long long>(delegate.myIndependentCounter()));
        task.invalidate();
        app.quit();
    });
    return app.exec();
}
