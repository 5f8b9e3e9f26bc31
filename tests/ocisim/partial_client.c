/* a client library that lacks calls: the loader must name what is missing */
int OCIEnvCreate(void) { return -1; }
