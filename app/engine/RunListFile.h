#pragma once

// A private temporary file that a run hands to rsync (a list too long for
// its command line), in the temporary folder as
// "vellumor-<kind>-<process id>-XXXXXX".
//
// What callers may rely on: the file is readable and writable by its owner
// only (0600), and is removed with the object. A process that was killed
// leaves its files behind; the next RunListFile of the same kind removes
// those whose process is gone.

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

class RunListFile
{
public:
    explicit RunListFile(const QString &kind);

    // Opens the file; false when it cannot be made (errorString() says why).
    bool open();
    // Writes `contents` whole and flushes; false on any failure.
    bool write(const QByteArray &contents);
    QString fileName() const { return m_file.fileName(); }
    QString errorString() const { return m_file.errorString(); }

    // Removes the files of `kind` whose process has ended.
    static void removeFilesOfEndedRuns(const QString &kind);

private:
    QTemporaryFile m_file;
};
