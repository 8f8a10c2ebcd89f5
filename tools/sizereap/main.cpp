// sizereap MODE PATH...
// Prints the total size in bytes of what it could touch under the paths, as
// one line. MODE "delete" also deletes it; any other word only counts.
// Always exits 0 and prints nothing else.
#include "SizeReaper.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 0;
    SizeReaper reaper(std::strcmp(argv[1], "delete") == 0 ? SizeReaper::Mode::Delete : SizeReaper::Mode::Count);
    for (int i = 2; i < argc; ++i)
        reaper.processPath(argv[i]);
    std::printf("%lld\n", static_cast<long long>(reaper.total()));
    return 0;
}
