/* A stand-in for a publication's offline.exe. It records, in a file of its own under
 * $QUILLET_TEST_RECORD_DIR, that it ran, its arguments after its own path, its working
 * directory, its own folder with that folder's mode, every file below that folder with its size,
 * every folder with its mode and modification time, and when it started and ended
 * (CLOCK_MONOTONIC milliseconds). It stays $QUILLET_TEST_SLEEP_MS milliseconds, then exits with
 * $QUILLET_TEST_EXIT (default 0) or, when $QUILLET_TEST_RAISE is set, ends by that signal. An
 * interrupt (SIGINT, SIGTERM, SIGHUP) is recorded as "signal=N" and ends it at once. */
#define _GNU_SOURCE
#include <ftw.h>
#include <signal.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static FILE* g_record;
static size_t g_rootLength;

static long long nowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static int listEntry(const char* path, const struct stat* st, int type, struct FTW* ftw) {
    if (type == FTW_F) fprintf(g_record, "file=%s %lld\n", path + g_rootLength + 1, (long long)st->st_size);
    if (type == FTW_D && ftw->level > 0)
        fprintf(g_record, "dir=%s %o %lld\n", path + g_rootLength + 1, (unsigned)(st->st_mode & 07777),
                (long long)st->st_mtime);
    return 0;
}

static void onInterrupt(int signal) {
    char line[] = "signal=00\n";
    char* p = line + 7;
    if (signal >= 10) *p++ = (char)('0' + signal / 10 % 10);
    *p++ = (char)('0' + signal % 10);
    *p++ = '\n';
    if (write(fileno(g_record), line, (size_t)(p - line)) < 0) _exit(6);
    _exit(5);
}

int main(int argc, char** argv) {
    long long start = nowMs();
    const char* dir = getenv("QUILLET_TEST_RECORD_DIR");
    if (!dir) return 3;
    char name[PATH_MAX], self[PATH_MAX], cwd[PATH_MAX];
    snprintf(name, sizeof name, "%s/viewer-%ld.txt", dir, (long)getpid());
    g_record = fopen(name, "w");
    if (!g_record) return 4;
    signal(SIGINT, onInterrupt);
    signal(SIGTERM, onInterrupt);
    signal(SIGHUP, onInterrupt);
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    char* slash = strrchr(self, '/');
    if (slash) *slash = 0;
    struct stat st;
    stat(self, &st);
    fprintf(g_record, "ran\ncwd=%s\nfolder=%s\nmode=%o\nstart_ms=%lld\n", getcwd(cwd, sizeof cwd) ? cwd : "?", self,
            (unsigned)(st.st_mode & 07777), start);
    for (int i = 1; i < argc; ++i) fprintf(g_record, "arg%d=%s\n", i, argv[i]);
    g_rootLength = strlen(self);
    nftw(self, listEntry, 16, FTW_PHYS);
    fflush(g_record);
    const char* sleepMs = getenv("QUILLET_TEST_SLEEP_MS");
    if (sleepMs) usleep((useconds_t)atoi(sleepMs) * 1000);
    fprintf(g_record, "exit_ms=%lld\n", nowMs());
    fclose(g_record);
    const char* raiseSignal = getenv("QUILLET_TEST_RAISE");
    if (raiseSignal) {
        signal(atoi(raiseSignal), SIG_DFL);
        raise(atoi(raiseSignal));
    }
    const char* status = getenv("QUILLET_TEST_EXIT");
    return status ? atoi(status) : 0;
}
