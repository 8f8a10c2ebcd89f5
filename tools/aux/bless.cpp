// bless stand-in: accepts "bless -folder FOLDER" and changes nothing; making
// a copy bootable is the boot loader's business on Linux.
//
// What callers may rely on: exit status 0 for that command line when FOLDER
// is an existing folder, 1 when it is not, 64 for any other command line.
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

int main(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], "-folder") != 0) {
        std::fprintf(stderr, "usage: bless -folder FOLDER\n");
        return 64;
    }
    struct stat status;
    if (::stat(argv[2], &status) != 0 || !S_ISDIR(status.st_mode)) {
        std::fprintf(stderr, "bless: %s is not a folder\n", argv[2]);
        return 1;
    }
    return 0;
}
