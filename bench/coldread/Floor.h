#pragma once
/* The floor of a cold read, written in C so that nothing but the system
 * calls and zlib stands between it and the bytes. */
#ifdef __cplusplus
extern "C" {
#endif

struct floor_counts {
    long calls; /* system calls made */
    long bytes; /* bytes read */
};

/* Reads the package at `path` as cheaply as possible: answers the bytes
 * inflated (description and messages) or -1. */
long floor_read(const char* path, struct floor_counts* counts);

/* One stat() of the path: what every request must at least cost. Answers
 * the file's size or -1. */
long floor_stat(const char* path);

#ifdef __cplusplus
}
#endif
