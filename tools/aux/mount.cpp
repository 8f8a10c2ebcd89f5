// mount stand-in: accepts "mount -o owners|noowners -u DEVICE" and changes
// nothing, because Linux has no per-volume switch for honouring file owners
// (a file system either stores owners or it does not).
//
// What callers may rely on: exit status 0 for that command line, 64 for any
// other; no output on success; the volume is never touched.
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    const bool wellFormed = argc == 5 && std::strcmp(argv[1], "-o") == 0
        && (std::strcmp(argv[2], "owners") == 0 || std::strcmp(argv[2], "noowners") == 0)
        && std::strcmp(argv[3], "-u") == 0 && argv[4][0] != '\0';
    if (!wellFormed) {
        std::fprintf(stderr, "usage: mount -o owners|noowners -u DEVICE\n");
        return 64;
    }
    return 0;
}
