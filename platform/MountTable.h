#pragma once

// Answers whether a path is the root of a mounted volume. Callers may rely on
// "/" never counting as a volume root and on a path that does not exist never
// being one. Implementations must be safe to call from any thread.

#include <QString>

class MountTable
{
public:
    virtual ~MountTable() = default;
    virtual bool isVolumeRoot(const QString &path) const = 0;

    // The real mount table of this machine.
    static const MountTable &system();
};

// Reads the kernel's mount table through QStorageInfo on every call, so a disk
// attached a moment ago is seen at once.
class StorageInfoMountTable final : public MountTable
{
public:
    bool isVolumeRoot(const QString &path) const override;
};
