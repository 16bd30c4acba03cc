// Runs a program and tells its peak resident set. A process's peak, as wait4
// reports it, starts from the resident set of the process it was forked from
// (the kernel keeps the larger of the two across exec), so a test that has
// grown would see its own size in its children's; this small process forks
// the program in its place.
//
//   peakrss <peak file> <program> [argument...]
//
// The program gets this process's standard streams. Its peak (bytes) goes to
// the peak file once it has ended; this process exits as it did (128 + the
// signal that ended it). Goes with whoever started it, and so does the program.
#include <cerrno>
#include <cstdio>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc < 3)
        return 125;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        return 125;
    if (child == 0) {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
        ::execv(argv[2], argv + 2);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t ended = -1;
    while ((ended = ::wait4(child, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (ended != child)
        return 125;
    std::FILE* peak = std::fopen(argv[1], "w");
    if (!peak || std::fprintf(peak, "%lld\n", static_cast<long long>(usage.ru_maxrss) * 1024) < 0
        || std::fclose(peak) != 0)
        return 125;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
