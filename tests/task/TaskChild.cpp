// A child program for the task runner's tests: writes known output, exits or
// dies as asked. Usage: task_child MODE [N]
//   burst N     N bytes of a counting pattern on stdout, N/16 on stderr, exit 0
//   split       a line written in three pieces with pauses between them
//   silent      nothing, exit 0
//   status N    nothing, exit N
//   killself    raise SIGKILL
//   sleep       sleep until killed
//   unguarded   sleep until killed, without the parent-death signal (as
//               after the exec of a set-user-ID program)
//   stubborn    as unguarded, and SIGTERM ignored; "ready" once it is
//   env NAME    print $NAME, a newline and the working directory; copy stdin
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

static void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0)
            _exit(3);
        data += written;
        size -= size_t(written);
    }
}

static void writePattern(int fd, long long total)
{
    char block[65536];
    long long offset = 0;
    while (offset < total) {
        const size_t size = size_t(std::min<long long>(sizeof block, total - offset));
        for (size_t i = 0; i < size; ++i)
            block[i] = char('a' + (offset + i) % 23);
        writeAll(fd, block, size);
        offset += (long long)size;
    }
}

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "burst") {
        const long long size = std::atoll(argv[2]);
        writePattern(STDOUT_FILENO, size);
        writePattern(STDERR_FILENO, size / 16);
        return 0;
    }
    if (mode == "split") {
        const char *pieces[] = {"first ha", "lf and\nsecond ", "line\n"};
        for (const char *piece : pieces) {
            writeAll(STDOUT_FILENO, piece, std::strlen(piece));
            usleep(20000);
        }
        return 0;
    }
    if (mode == "silent")
        return 0;
    if (mode == "status")
        return std::atoi(argv[2]);
    if (mode == "killself")
        raise(SIGKILL);
    if (mode == "unguarded" || mode == "stubborn") {
        prctl(PR_SET_PDEATHSIG, 0);
        if (mode == "stubborn") {
            signal(SIGTERM, SIG_IGN);
            writeAll(STDOUT_FILENO, "ready\n", 6);
        }
        for (;;)
            pause();
    }
    if (mode == "sleep") {
        for (;;)
            pause();
    }
    if (mode == "forkhelper") {
        // A helper that shares our output pipe, as rsync's receiver does;
        // both go on until they are killed, the child reporting the helper's
        // pid every 10 ms.
        const pid_t helper = fork();
        if (helper == 0) {
            for (;;)
                pause();
        }
        for (;;) {
            std::printf("%d\n", int(helper));
            std::fflush(stdout);
            usleep(10000);
        }
    }
    if (mode == "env") {
        const char *value = std::getenv(argv[2]);
        std::printf("%s\n", value ? value : "(unset)");
        char cwd[4096];
        std::printf("%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
        int c;
        while ((c = std::getchar()) != EOF)
            std::putchar(c);
        return 0;
    }
    return 2;
}
