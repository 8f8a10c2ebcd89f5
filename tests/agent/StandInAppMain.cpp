// Stands in for the main application in the agent's tests: appends one line
// to the file named by VELLUMOR_STANDIN_LOG ("<pid> <arguments>
// platform=<QT_QPA_PLATFORM>"), then exits, or with VELLUMOR_STANDIN_STAY
// set waits until it is terminated, like an application busy with a backup.
#include <QFile>
#include <QStringList>

#include <unistd.h>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QFile log(qEnvironmentVariable("VELLUMOR_STANDIN_LOG"));
    if (log.open(QIODevice::Append)) {
        log.write(QStringLiteral("%1 %2 platform=%3\n")
                      .arg(QString::number(::getpid()), arguments.join(u' '), qEnvironmentVariable("QT_QPA_PLATFORM"))
                      .toLocal8Bit());
        log.close();
    }
    if (qEnvironmentVariableIsSet("VELLUMOR_STANDIN_STAY"))
        ::pause();
    return 0;
}
