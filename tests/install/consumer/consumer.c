// SPDX-License-Identifier: MIT
/* A program that uses an installed kolvane: prints the version and the em133 point count. */
#include <kolvane.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    static char out[1 << 16];
    char err[256];
    const char* start = "{\"meter\":\"em133\",\"points\":[{\"pid\":";
    int n = kolvane_list_points("em133", out, (int)sizeof out, err, (int)sizeof err);
    if (n < 0) {
        fprintf(stderr, "consumer: %s\n", err);
        return 1;
    }
    if (strncmp(out, start, strlen(start)) != 0) {
        fprintf(stderr, "consumer: unexpected document %.80s\n", out);
        return 1;
    }
    printf("kolvane %s: %d em133 points\n", kolvane_version(), n);
    return 0;
}
