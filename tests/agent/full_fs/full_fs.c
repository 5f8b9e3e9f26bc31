/* preloaded into a program under test: the filesystem of the file named by FULL_FS_PATH
   has no free block left, as a full disk would say */
#define _GNU_SOURCE
#include "../fd_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statvfs.h>
#include <unistd.h>

static int is_full(int fd)
{
    return fd_is_named(fd, "FULL_FS_PATH");
}

static int full(int fd, struct statvfs *buf, const char *name)
{
    int (*real)(int, struct statvfs *) = (int (*)(int, struct statvfs *))dlsym(RTLD_NEXT, name);
    const int rc = real(fd, buf);
    if (rc == 0 && is_full(fd)) {
        buf->f_bfree = 0;
        buf->f_bavail = 0;
    }
    return rc;
}

int fstatvfs(int fd, struct statvfs *buf)
{
    return full(fd, buf, "fstatvfs");
}

int fstatvfs64(int fd, struct statvfs64 *buf)
{
    /* the same layout on a 64-bit system */
    return full(fd, (struct statvfs *)buf, "fstatvfs64");
}
