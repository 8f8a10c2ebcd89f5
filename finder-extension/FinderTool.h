#pragma once

// The command line of vellumor-finder, the bundle executable that file
// managers call for "Copy" and "Paste". Each call is a new process:
//
//   vellumor-finder copy URL...
//       Remembers the items in the shared suite (key "fileManagerCopiedItems")
//       for a later "paste --kept"; for file managers that keep nothing
//       between two actions.
//   vellumor-finder paste [--folder URL] [--copied URL]... [--kept] [URL...]
//       Pastes into the first URL when it is a folder, else into --folder
//       (default: the folder holding the first URL). The copied items are the
//       --copied ones, or with --kept the remembered ones.
//
// URLs may also be local paths. Exit status: 0 done, 2 bad command line.

#include "FinderSyncController.h"

#include <QStringList>

namespace FinderTool {

// The shared-suite key where "copy" keeps the items between two processes.
QString copiedItemsKey();

int run(const QStringList &arguments, ApplicationLauncher &launcher);

} // namespace FinderTool
