#include "RestoreChoosers.h"

#include "PromptView.h"

namespace RestoreChoosers {

QString chooseSource(PromptView &view)
{
    return view.chooseFolder(
        true, QStringLiteral("Select Restore Source"),
        QStringLiteral(
            "Select the folder or volume you want to restore *from*.\n"
            "Files will be copied from the place you select here to the Destination.\n"
            "Newer files on Destination will not be replaced by older files from the place you select here.\n"
            "\n"
            "This mode is useful for restoring backups in the following circumstances:\n"
            "\u2022 Restoring your home folder on a backup to your new home folder after doing a Clean "
            "Install of the OS\n"
            "\u2022 Restoring a backup after a disk failure"));
}

QString chooseDestination(PromptView &view)
{
    return view.chooseFolder(
        false, QStringLiteral("Select Restore Destination"),
        QStringLiteral("Select the folder or volume you want to restore *to*.\n"
                       "Files will be copied from Source to the place you select here.\n"
                       "Newer files on the place you select here will not be replaced by older files from Source."));
}

} // namespace RestoreChoosers
