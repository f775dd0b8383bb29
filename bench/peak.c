/* Runs a command and reports its wall time and peak resident memory, as
 * measured for it alone: started from this small process, so the memory of
 * whoever started the measurement is not counted in (a fork of a Python
 * process would count its whole image).
 *
 *     vordex_peak COMMAND [ARG ...]
 *
 * The command keeps standard input, output and error; the last line on
 * standard error is "vordex_peak: WALL_SECONDS PEAK_KIB EXIT_STATUS". */
#define _GNU_SOURCE
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: vordex_peak COMMAND [ARG ...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        perror("vordex_peak");
        return 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    fprintf(stderr, "vordex_peak: %.6f %ld %d\n", wall, usage.ru_maxrss, code);
    return 0;
}
