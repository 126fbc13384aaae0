/* Preloaded into splicor-cli by the interruption tests: every write to a regular file first
 * waits SLOW_WRITES_MS milliseconds, as on a slow disk, so that a signal can reach a writing
 * command midway. Writes to terminals, pipes and the like are left alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static void waitIfFile(int fd) {
    struct stat st;
    const char* ms = getenv("SLOW_WRITES_MS");
    if (ms && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        long wait = atol(ms);
        struct timespec t = {wait / 1000, (wait % 1000) * 1000000L};
        nanosleep(&t, NULL);
    }
}

ssize_t write(int fd, const void* data, size_t n) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) {
        real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    }
    waitIfFile(fd);
    return real(fd, data, n);
}

ssize_t pwrite(int fd, const void* data, size_t n, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real) {
        real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
    }
    waitIfFile(fd);
    return real(fd, data, n, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t n, off_t offset) {
    return pwrite(fd, data, n, offset);
}
