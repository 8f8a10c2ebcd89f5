#pragma once

// The support folder: the folder named by the main application's bundle
// identifier inside the user's data folder ($XDG_DATA_HOME). The application
// and the agent resolve the same folder, and each call creates it (with any
// missing parents) when it is absent; a failure to create it is logged and
// otherwise left to the next write, which reports its own error.
// The returned path never ends in "/".

#include <QString>

// The application's support folder.
QString getApplicationSupportFolder();

// The same folder, as the agent names it: fixed on the main application's
// identifier rather than on the running program's.
QString getApplicationSupportFolderForMainApp();

// getApplicationSupportFolder() + "/Scheduled Backups.xml".
QString scheduleFilePath();
