// What the transfer strip costs the main thread.
//
// 1. One redraw with seven instances (Finder-copy mode), icons cached, onto
//    an offscreen image, against two baselines measured in the same run on
//    a widget of the same size: an empty paintEvent and one fillRect. The
//    goal is under 1 ms per redraw (a frame at 60 Hz is 16.7 ms).
// 2. Icon lookups over a long run of redraws with a new item every few
//    frames: lookups per trip of an instance, against frames drawn.
// 3. Repaints while status ticks arrive and over a quiet period after the
//    last pulse: none in the quiet period (no timer running).
//
// Usage: bench_animation_redraw [quiet seconds]   (default 3)

#include "MFTaskDelegate.h"
#include "RKAnimatingView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr QSize stripSize(760, 90);

class EmptyWidget : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override {}
};

class FillWidget : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::white); }
};

// Counts lookups on their way to the desktop's icons.
struct CountingIconSource : DesktopIconSource
{
    int *lookups;
    explicit CountingIconSource(int *counter) : lookups(counter) {}
    QIcon iconForFile(const QString &path) override
    {
        ++*lookups;
        return DesktopIconSource::iconForFile(path);
    }
    QIcon iconForFileType(const QString &extension) override
    {
        ++*lookups;
        return DesktopIconSource::iconForFileType(extension);
    }
};

// Median over batches of the time of one render of the widget.
double microsecondsPerRender(QWidget &widget, const std::function<void()> &afterEach = {})
{
    constexpr int batches = 21;
    constexpr int perBatch = 300;
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> samples;
    for (int batch = 0; batch < batches; ++batch) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < perBatch; ++i) {
            widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
            if (afterEach)
                afterEach();
        }
        samples.push_back(timer.nsecsElapsed() / 1e3 / perBatch);
    }
    std::nth_element(samples.begin(), samples.begin() + batches / 2, samples.end());
    return samples[batches / 2];
}

// Seven instances spread over the strip, each with a file of its own type.
void placeSevenInstances(RKAnimatingView &view)
{
    const QStringList names{u"notes.txt"_s, u"photo.png"_s,   u"paper.pdf"_s, u"song.mp3"_s,
                            u"main.cpp"_s,  u"archive.zip"_s, u"index.html"_s};
    view.setIsFinderCopy(true);
    view.setIconInstances(TransferAnimationView::IconInstances::Empty);
    for (int i = 0; i < 7; ++i) {
        AnimatedIconInstance &instance = view.animation().getInstance(i);
        instance.offsetX = 20 + i * 100;
        instance.iconPath = u"/home/u/Data/"_s + names[i];
        instance.partialPath = u"://: Data/"_s + names[i];
        instance.percentComplete = 10 * i + 5;
    }
}

void measureRedraw()
{
    RKAnimatingView view;
    view.resize(stripSize);
    int lookups = 0;
    view.setIconSource(std::make_unique<CountingIconSource>(&lookups));
    placeSevenInstances(view);
    // Each redraw moves the icons one step; stepping them back keeps all
    // seven in view with their icons cached, so every redraw draws seven.
    const auto stepBack = [&view] {
        for (int i = 0; i < 7; ++i)
            view.animation().getInstance(i).offsetX -= animationStepPerRedraw;
    };
    QImage first(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&first, QPoint(), QRegion(), QWidget::RenderFlags());
    stepBack();
    const int lookupsBefore = lookups;

    EmptyWidget empty;
    empty.resize(stripSize);
    FillWidget fill;
    fill.resize(stripSize);
    const double emptyUs = microsecondsPerRender(empty);
    const double fillUs = microsecondsPerRender(fill);
    const double stripUs = microsecondsPerRender(view, stepBack);
    std::printf("redraw, 7 instances, icons cached, %dx%d offscreen: %.1f us (goal < 1000 us, %.1f%% of a 60 Hz "
                "frame)\n",
                stripSize.width(), stripSize.height(), stripUs, stripUs / 16667 * 100);
    std::printf("  baseline empty paintEvent: %.1f us -> strip costs %.1fx\n", emptyUs, stripUs / emptyUs);
    std::printf("  baseline one fillRect:     %.1f us -> strip costs %.1fx\n", fillUs, stripUs / fillUs);
    std::printf("  icon lookups during the timed redraws: %d (first redraw looked up %d)\n", lookups - lookupsBefore,
                lookupsBefore);
}

void countLookups()
{
    RKAnimatingView view;
    view.resize(stripSize);
    int lookups = 0;
    view.setIconSource(std::make_unique<CountingIconSource>(&lookups));
    view.setIsFinderCopy(true);
    view.setIconInstances(TransferAnimationView::IconInstances::Empty);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    constexpr int frames = 20000;
    int wraps = 0;
    for (int frame = 0; frame < frames; ++frame) {
        if (frame % 7 == 0) {
            const QString name = u"Data/file-%1.%2"_s.arg(frame).arg(frame % 3 ? u"txt"_s : u"png"_s);
            view.setFilePath(u"/home/u/"_s + name);
            view.setPartialPath(u"://: "_s + name);
        }
        std::vector<double> before;
        for (const AnimatedIconInstance &instance : *view.animation().iconInstances())
            before.push_back(instance.offsetX);
        view.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        for (size_t i = 0; i < before.size(); ++i)
            wraps += view.animation().iconInstances()->at(qsizetype(i)).offsetX < before[i];
    }
    std::printf("icon lookups over %d redraws with a new item every 7: %d lookups, %d wraps (trips), %.4f lookups "
                "per redraw\n",
                frames, lookups, wraps, double(lookups) / frames);
}

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct NoText : TextField
{
    void setText(const QString &) override {}
};

void countQuietRepaints(int quietSeconds)
{
    RKAnimatingView view;
    view.resize(stripSize);
    view.show();
    NoText jobState, displayText;
    MFTaskDelegate delegate;
    delegate.setJobState(&jobState);
    delegate.setDisplayText(&displayText);
    delegate.setAnimatingView(&view);
    delegate.setSourcePath(u"/home/u/Data"_s);
    delegate.setTotalFiles(100);
    delegate.setTotalSize(100000);
    view.setIconInstances(TransferAnimationView::IconInstances::Empty);
    runFor(200);

    // Three seconds of copying (the first chunk starts the status timer),
    // then the summary line ends the copy and stops the status timer.
    const quint64 start = view.repaintCount();
    for (int tick = 0; tick < 3; ++tick) {
        delegate.taskDidRecieveData(u"\t://: Data/file-%1.txt\n"_s.arg(tick).toUtf8(), nullptr);
        runFor(MFTaskDelegate::statusIntervalMs);
    }
    delegate.taskDidRecieveData("Total file size: 3000 bytes\n"_ba, nullptr);
    runFor(MFTaskDelegate::pulseDurationMs + 100);
    const quint64 copying = view.repaintCount() - start;
    const bool quiet
        = delegate.pulseAnimation()->state() == QAbstractAnimation::Stopped && delegate.statusUpdateTimer() == nullptr;

    const quint64 quietStart = view.repaintCount();
    runFor(quietSeconds * 1000);
    std::printf("repaints: %llu during 3 s of copying and the last pulse; %llu over %d quiet seconds after it "
                "(pulse and status timer stopped: %s)\n",
                static_cast<unsigned long long>(copying),
                static_cast<unsigned long long>(view.repaintCount() - quietStart), quietSeconds, quiet ? "yes" : "no");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The preference is read from a private, empty suite: the strip is shown.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int quietSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    measureRedraw();
    countLookups();
    countQuietRepaints(quietSeconds);
    return 0;
}
