#pragma once

// Start-up step 11 for a launch that found a file-manager "Paste" waiting
// (the request taken from the shared suite by takeFinderCopyRequest()).
//
// What callers may rely on: the controller is marked as a file-manager copy
// for the life of the process and the window switched to its compact
// layout; the copied items become the sources in selection order and the
// target folder the destination; the mode stays as the window shows it
// (Sync unless a job was loaded, and a file-manager launch loads none).
// With at least one source the start button is enabled (it reads "Stop"
// during the copy and stops it) and the run starts (without "--delete",
// which the argument list leaves out for a file-manager copy); true comes
// back. With none the line "no backup source, quitting\n" is logged, the
// view is asked to terminate the application and false comes back. A
// request with refused items (FinderCopyRequest) copies nothing: its reason
// is logged, shown in the status line and in an alert, the application
// quits once the alert is dismissed, and true comes back. A run that ends
// before copying (its target missing or refused) quits the same way
// (MFTaskAppDelegate).

struct FinderCopyRequest;
class MFTaskAppDelegate;
class MFTaskAppView;
class MainWindow;

bool startFinderCopy(const FinderCopyRequest &request, MFTaskAppDelegate &controller, MainWindow &window,
                     MFTaskAppView &view);
