/* preloaded into a program under test: reads of the file named by READ_FAULT_PATH
   deliver READ_FAULT_AFTER bytes, then fail with EIO, as a failing disk would */
#define _GNU_SOURCE
#include "../fd_path.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static size_t delivered;

static int is_faulty(int fd)
{
    return fd_is_named(fd, "READ_FAULT_PATH");
}

ssize_t read(int fd, void *buf, size_t count)
{
    static ssize_t (*real_read)(int, void *, size_t);
    if (!real_read)
        real_read = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
    if (!is_faulty(fd))
        return real_read(fd, buf, count);
    const char *after = getenv("READ_FAULT_AFTER");
    const size_t limit = after ? (size_t)strtoul(after, NULL, 10) : 0;
    if (delivered >= limit) {
        errno = EIO;
        return -1;
    }
    if (count > limit - delivered)
        count = limit - delivered;
    const ssize_t got = real_read(fd, buf, count);
    if (got > 0)
        delivered += (size_t)got;
    return got;
}
