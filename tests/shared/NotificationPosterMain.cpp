// A second process for the distributed-notification tests: posts each
// (name, object) pair given on the command line, in order, then exits.
#include "DistributedNotificationCenter.h"
#include "Identifiers.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty() || arguments.size() % 2 != 0) {
        std::fprintf(stderr, "usage: notification_poster NAME OBJECT [NAME OBJECT]...\n");
        return 2;
    }
    DistributedNotificationCenter &center = DistributedNotificationCenter::defaultCenter();
    if (!center.isConnected()) {
        std::fprintf(stderr, "notification_poster: no D-Bus session bus\n");
        return 3;
    }
    for (qsizetype i = 0; i < arguments.size(); i += 2)
        center.postNotification(arguments.at(i), arguments.at(i + 1));
    // Signals are queued; a round trip makes sure they left before we exit.
    center.connection().interface()->isServiceRegistered(Vellumor::MainAppBundleId);
    return 0;
}
