// Start-up to a shown window: the time from starting a process to its first
// shown main window, for the real application (start-up sequence, schedule,
// volume menus, window) and for a bare QMainWindow, measured in the same run
// by starting this program again in each mode. Prints the median of each,
// and the ratio. Goal: the real window shown in under a second.
//
//   bench_window_startup [rounds]
#include "CheckAndSetAuthorization.h"
#include "MainWindow.h"
#include "VellumorApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

class NoPrivileges final : public PrivilegedRunner
{
public:
    int runAsRoot(const QStringList &) override { return 0; }
};

// Child: shows the window, and exits once it has been painted.
int showAndExit(int argc, char **argv, bool full)
{
    QApplication app(argc, argv);
    std::unique_ptr<QMainWindow> bare;
    std::unique_ptr<VellumorApplication> vellumor;
    NoPrivileges noPrivileges;
    QWidget *window = nullptr;
    if (full) {
        VellumorApplicationOptions options;
        options.startup.arguments = app.arguments();
        options.startup.privilegedRunner = &noPrivileges;
        vellumor = std::make_unique<VellumorApplication>(options);
        vellumor->start();
        window = &vellumor->window();
    } else {
        bare = std::make_unique<QMainWindow>();
        bare->resize(780, 720);
        bare->show();
        window = bare.get();
    }
    // The first paint has happened once the queued events after show() ran.
    QTimer::singleShot(0, &app, [&] {
        window->repaint();
        app.exit(0);
    });
    return app.exec();
}

double medianMs(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

double timeChild(const QString &program, const QString &mode)
{
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {mode});
    child.waitForFinished(-1);
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && (qstrcmp(argv[1], "--bare") == 0 || qstrcmp(argv[1], "--full") == 0))
        return showAndExit(argc, argv, qstrcmp(argv[1], "--full") == 0);

    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The application's own files go to a fresh account.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    const QString program = QString::fromLocal8Bit(argv[0]);
    QList<double> bare, full;
    timeChild(program, QStringLiteral("--full")); // warm the caches once
    for (int round = 0; round < rounds; ++round) {
        // Alternating order: neither mode always runs on a warmer machine.
        if (round % 2 == 0) {
            bare << timeChild(program, QStringLiteral("--bare"));
            full << timeChild(program, QStringLiteral("--full"));
        } else {
            full << timeChild(program, QStringLiteral("--full"));
            bare << timeChild(program, QStringLiteral("--bare"));
        }
        std::printf("round %d: bare %.1f ms, Vellumor %.1f ms\n", round + 1, bare.last(), full.last());
        std::fflush(stdout);
    }
    const double bareMs = medianMs(bare);
    const double fullMs = medianMs(full);
    std::printf("bare QMainWindow shown: %.1f ms (median of %d)\n", bareMs, rounds);
    std::printf("Vellumor window shown: %.1f ms (median of %d)\n", fullMs, rounds);
    std::printf("ratio Vellumor / bare: %.2f\n", bareMs > 0 ? fullMs / bareMs : 0.0);
    std::printf("goal < 1000 ms: %s\n", fullMs < 1000 ? "met" : "missed");
    return 0;
}
