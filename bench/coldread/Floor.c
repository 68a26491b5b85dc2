/* The floor of a cold read: only the calls no reader can avoid (open, fstat,
 * the CRX header, the end record, the directory, each wanted item's local
 * header and data in one read, close), and zlib inflating the manifest (or
 * install.rdf) and the English messages. No parsing: what is left above
 * this is the price of a reader's own work. */
#include "Floor.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

static uint32_t le16(const unsigned char* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t le32(const unsigned char* p) { return le16(p) | le16(p + 2) << 16; }

/* Reads and inflates the item whose central entry is at `entry`; answers the
 * bytes it produced or -1. */
static long read_item(int fd, long base, const unsigned char* entry, struct floor_counts* counts)
{
    const uint32_t method = le16(entry + 10), csize = le32(entry + 20), usize = le32(entry + 24);
    const uint32_t name = le16(entry + 28), extra = le16(entry + 30);
    const long offset = base + (long)le32(entry + 42);
    /* The local extra field usually matches the central one; when it does
     * not, a second read fetches the data. */
    size_t want = 30 + name + extra + csize;
    unsigned char* local = malloc(want);
    unsigned char* out = malloc(usize ? usize : 1);
    long produced = -1;
    ssize_t got = pread(fd, local, want, offset);
    counts->calls++;
    if (got < 30 || le32(local) != 0x04034B50u)
        goto done;
    counts->bytes += got;
    size_t start = 30 + le16(local + 26) + le16(local + 28);
    const unsigned char* data = local + start;
    unsigned char* again = NULL;
    if (start + csize > (size_t)got) {
        again = malloc(csize);
        if (pread(fd, again, csize, offset + (long)start) != (ssize_t)csize)
            goto done;
        counts->calls++;
        counts->bytes += csize;
        data = again;
    }
    if (method == 0) {
        memcpy(out, data, csize);
        produced = csize;
    } else {
        z_stream z;
        memset(&z, 0, sizeof z);
        inflateInit2(&z, -15);
        z.next_in = (unsigned char*)data;
        z.avail_in = csize;
        z.next_out = out;
        z.avail_out = usize;
        if (inflate(&z, Z_FINISH) == Z_STREAM_END)
            produced = (long)z.total_out;
        inflateEnd(&z);
    }
    free(again);
done:
    free(local);
    free(out);
    return produced;
}

long floor_read(const char* path, struct floor_counts* counts)
{
    counts->calls = counts->bytes = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    counts->calls++;
    if (fd < 0)
        return -1;
    long produced = -1;
    unsigned char* dir = NULL;
    struct stat st;
    counts->calls++;
    if (fstat(fd, &st) != 0 || st.st_size < 22)
        goto done;
    long base = 0;
    unsigned char head[16];
    if (st.st_size > 16 && strstr(path, ".crx")) {
        counts->calls++;
        if (pread(fd, head, 16, 0) != 16)
            goto done;
        counts->bytes += 16;
        base = le32(head + 4) >= 3 ? 12 + (long)le32(head + 8) : 16 + (long)le32(head + 8) + le32(head + 12);
    }
    unsigned char end[22];
    counts->calls++;
    if (pread(fd, end, 22, st.st_size - 22) != 22 || le32(end) != 0x06054B50u)
        goto done; /* a comment would need a longer tail read */
    counts->bytes += 22;
    const uint32_t entries = le16(end + 10), dirSize = le32(end + 12);
    dir = malloc(dirSize);
    counts->calls++;
    if (pread(fd, dir, dirSize, base + (long)le32(end + 16)) != (ssize_t)dirSize)
        goto done;
    counts->bytes += dirSize;
    const unsigned char* manifest = NULL;
    const unsigned char* messages = NULL;
    size_t at = 0;
    for (uint32_t i = 0; i < entries && at + 46 <= dirSize; ++i) {
        const unsigned char* e = dir + at;
        const uint32_t n = le16(e + 28);
        const char* name = (const char*)e + 46;
        if ((n == 11 && !memcmp(name, "install.rdf", 11)) || (n == 13 && !memcmp(name, "manifest.json", 13)))
            manifest = e;
        else if (n == 25 && !memcmp(name, "_locales/en/messages.json", 25))
            messages = e;
        at += 46 + n + le16(e + 30) + le16(e + 32);
    }
    if (!manifest)
        goto done;
    produced = read_item(fd, base, manifest, counts);
    if (produced >= 0 && messages && le16(manifest + 28) == 13)
        produced += read_item(fd, base, messages, counts);
done:
    free(dir);
    close(fd);
    counts->calls++;
    return produced;
}

long floor_stat(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 ? (long)st.st_size : -1;
}
