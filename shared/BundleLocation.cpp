#include "BundleLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString vellumorPrefix()
{
    const QString fromEnvironment = qEnvironmentVariable("VELLUMOR_PREFIX");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(fromEnvironment));

    QDir directory(QCoreApplication::applicationDirPath());
    if (directory.dirName() == u"vellumor" && QFileInfo(directory.absolutePath()).dir().dirName() == u"libexec") {
        directory.cdUp();
        directory.cdUp();
    } else {
        directory.cdUp();
    }
    return QDir::cleanPath(directory.absolutePath());
}

QString auxiliaryToolPath(const QString &name)
{
    return vellumorPrefix() + QStringLiteral("/libexec/vellumor/") + name;
}

QString excludeListPath()
{
    return vellumorPrefix() + QStringLiteral("/share/vellumor/excludelist.txt");
}
