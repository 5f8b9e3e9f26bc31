/* for the libraries preloaded into a program under test: whether a descriptor is open on
   the file that the environment variable `variable` names */
#pragma once

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int fd_is_named(int fd, const char *variable)
{
    const char *path = getenv(variable);
    char link[64], target[PATH_MAX];
    if (!path)
        return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0)
        return 0;
    target[n] = '\0';
    return strcmp(target, path) == 0;
}
