// Stands in for the main application in the hand-over tests: does what the
// real start-up does with the shared keys and appends one line to the file
// named by VELLUMOR_TEST_RECORD: "job", the destination and the sources,
// tab-separated, or "normal".
#include "FinderCopyHandOver.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::optional<FinderCopyRequest> request = takeFinderCopyRequest();
    QStringList fields{QStringLiteral("normal")};
    if (request) {
        fields = QStringList{QStringLiteral("job"), request->destination};
        fields.append(request->sources);
    }
    QFile record(qEnvironmentVariable("VELLUMOR_TEST_RECORD"));
    if (!record.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    // One write per line: concurrent stand-ins never mix their lines.
    record.write((fields.join(u'\t') + u'\n').toUtf8());
    return 0;
}
