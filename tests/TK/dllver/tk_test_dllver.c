/* a library that reports version 5.82 the way the wizard's version check reads it */
#include <stdint.h>

struct version_info {
    uint32_t size;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t platform;
};

int32_t DllGetVersion(struct version_info* info)
{
    if (!info || info->size != sizeof *info)
        return -1;
    info->major = 5;
    info->minor = 82;
    return 0;
}
