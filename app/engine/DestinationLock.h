#pragma once

// One Snapshot run per destination at a time: an exclusive flock() on a
// file inside the destination folder, held for the whole run.
//
// The descriptor is close-on-exec; the run hands it to the copy program
// (MFTask::setInheritedDescriptor), so every rsync process of the run holds
// the lock until it has ended: after a stop or a killed front end, the
// helpers rsync forked may outlive the first process for a moment, and a
// new run into the same destination waits for them (acquire's grace) or
// refuses, instead of writing beside them. No other child holds it.
//
// The lock file is private to its owner (mode 0600): an account that can
// only read the destination cannot open it, so it cannot hold a lock that
// refuses every run. It is opened without following a link and without
// blocking; anything but a plain file of ours there is refused with a text
// that says why, never followed or changed; an older, wider one of ours is
// made private. Refusals name the account that holds the lock or owns the
// file.

#include <QString>

#include <sys/types.h>

#include <chrono>
#include <optional>

class DestinationLock
{
public:
    DestinationLock() = default;
    ~DestinationLock() { release(); }
    DestinationLock(const DestinationLock &) = delete;
    DestinationLock &operator=(const DestinationLock &) = delete;

    // The lock file's name inside the destination; hidden, and nothing like
    // a snapshot's name.
    static QString fileName() { return QStringLiteral(".VLM Snapshots.lock"); }

    // Takes the lock. A held lock is tried again for up to `grace` (the
    // processes of a run just stopped take a moment to go, and hold it
    // until they have). On refusal returns the text to show: another run
    // holds it, or the lock file cannot be opened.
    std::optional<QString> acquire(const QString &destination,
                                   std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
    // Closes this process's descriptor; a copy program given it keeps the
    // lock until it ends.
    void release();
    bool isHeld() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }

    // Whether a run (of any process, this one included) holds the lock of
    // `destination` now; a missing lock file is no lock. Takes nothing.
    static bool isHeld(const QString &destination);

    // The refusal for a destination another run is writing into, naming
    // the account that holds its lock (this process's account by default).
    static QString busyText(const QString &destination, uid_t holder);
    static QString busyText(const QString &destination);

private:
    int m_fd = -1;
};
