/* Preloaded into the program by the end-to-end tests: every file lock fails with ENOLCK,
   as on a file system without locks. Other fcntl commands pass through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/file.h>
#include <unistd.h>

static int IsLock(int Command) {
    return Command == F_SETLK || Command == F_SETLKW || Command == F_GETLK || Command == F_OFD_SETLK ||
           Command == F_OFD_SETLKW || Command == F_OFD_GETLK;
}

typedef int (*TFcntl)(int, int, ...);

static int Forward(const char* Name, int Handle, int Command, void* Argument) {
    TFcntl Real = (TFcntl)dlsym(RTLD_NEXT, Name);
    if (Real == NULL) {
        errno = ENOSYS;
        return -1;
    }
    return Real(Handle, Command, Argument);
}

int flock(int Handle, int Operation) {
    (void)Handle;
    (void)Operation;
    errno = ENOLCK;
    return -1;
}

int lockf(int Handle, int Command, off_t Length) {
    (void)Handle;
    (void)Command;
    (void)Length;
    errno = ENOLCK;
    return -1;
}

int fcntl(int Handle, int Command, ...) {
    va_list Arguments;
    va_start(Arguments, Command);
    void* Argument = va_arg(Arguments, void*);
    va_end(Arguments);
    if (IsLock(Command)) {
        errno = ENOLCK;
        return -1;
    }
    return Forward("fcntl", Handle, Command, Argument);
}

int fcntl64(int Handle, int Command, ...) {
    va_list Arguments;
    va_start(Arguments, Command);
    void* Argument = va_arg(Arguments, void*);
    va_end(Arguments);
    if (IsLock(Command)) {
        errno = ENOLCK;
        return -1;
    }
    return Forward("fcntl64", Handle, Command, Argument);
}
