#pragma once

// Who holds a lock: the account of the process that holds an flock() on a
// file, read from the kernel's table of locks (/proc/locks), and account
// names for messages.
//
// What callers may rely on: flockHolder() answers the real user id of a
// process holding a flock() on the file (device, inode), or nothing when
// there is none or it cannot be seen (another pid namespace, a holder that
// has just ended); it never blocks and takes no lock.

#include <QString>

#include <sys/types.h>

#include <optional>

namespace FileLockHolder {

std::optional<uid_t> flockHolder(dev_t device, ino_t inode);

// The account's login name, or its number when it has none.
QString accountName(uid_t uid);

} // namespace FileLockHolder
