// Times a whole program run, start-up included, as a user running it once
// per document meets it: runs a command N times (removing the files it
// made in between) and prints the mean and best wall-clock time.
// usage: verbatra_spawn_bench N REMOVE-GLOB -- COMMAND ARGS...
#include <glob.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

int main(int argc, char** argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: %s N REMOVE-GLOB -- COMMAND ARGS...\n", argv[0]);
        return 2;
    }
    const int n = std::atoi(argv[1]);
    double total = 0, best = 1e9;
    for (int i = 0; i < n; ++i) {
        glob_t made;
        if (glob(argv[2], 0, nullptr, &made) == 0) {
            for (std::size_t k = 0; k < made.gl_pathc; ++k) unlink(made.gl_pathv[k]);
        }
        globfree(&made);
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp(argv[4], argv + 4);
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed\n", argv[4]);
            return 1;
        }
        total += ms;
        if (ms < best) best = ms;
    }
    std::printf("%.3f %.3f\n", total / n, best);
    return 0;
}
