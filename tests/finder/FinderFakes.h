#pragma once

// Fakes for the file-manager logic: a file manager with a settable selection
// and folder, and a launcher that records what the new application process
// would find in the shared suite at the moment it is started.

#include "FinderCopyHandOver.h"
#include "FinderSyncController.h"
#include "SharedDefaults.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <optional>

class FakeFinderController final : public FinderSyncController
{
public:
    QList<QUrl> selectedItemURLs() const override { return selected; }
    QUrl targetedURL() const override { return targeted; }
    void setDirectoryURLs(const QSet<QUrl> &urls) override { directorySets.append(urls); }

    QList<QUrl> selected;
    QUrl targeted;
    QList<QSet<QUrl>> directorySets;
};

// At each launch, reads the suite file as saved on disk, through a copy of it,
// so unsaved settings held by this process's QSettings cache cannot count.
class RecordingLauncher final : public ApplicationLauncher
{
public:
    bool launchNewInstance() override
    {
        QTemporaryDir tmp;
        const QString copy = tmp.filePath(QStringLiteral("saved.conf"));
        std::optional<FinderCopyRequest> request;
        if (QFile::copy(sharedDefaultsFilePath(), copy)) {
            QSettings saved(copy, QSettings::IniFormat);
            request = finderCopyRequestFrom(saved.value(DefaultsKey::selectedForPaste),
                                            saved.value(DefaultsKey::selectedForCopy));
            archives.append(saved.value(DefaultsKey::selectedForCopy).toByteArray());
        }
        launches.append(request);
        return true;
    }

    QList<std::optional<FinderCopyRequest>> launches;
    QList<QByteArray> archives;
};
