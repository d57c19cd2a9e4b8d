// portwine ARGS...: Wine with the PCI configuration ports. Grants itself
// ports 0xCF8-0xCFF and execs Wine's loader with ARGS; the grant survives
// execve and reaches every process that Wine starts, so the launcher's port
// instructions reach the machine's host bridge instead of Wine's emulation.
//
// portwine --scan: the same 65,536 mechanism #1 probes natively, for the
// cost of a scan without Wine; prints the functions found and the time.
//
// Built static: the guest runs it from a share, whatever its libraries.
#include <stdio.h>
#include <string.h>
#include <sys/io.h>
#include <time.h>
#include <unistd.h>

#define WINE_LOADER "/usr/lib/wine/wine"

static unsigned read_id(unsigned bus, unsigned dev, unsigned fn) {
    outl(0x80000000u | bus << 16 | dev << 11 | fn << 8, 0xCF8);
    return inb(0xCFC) | inb(0xCFD) << 8 | inb(0xCFE) << 16 | (unsigned)inb(0xCFF) << 24;
}

static int scan(void) {
    struct timespec t0, t1;
    unsigned found = 0;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    for (unsigned bus = 0; bus < 256; ++bus)
        for (unsigned dev = 0; dev < 32; ++dev)
            for (unsigned fn = 0; fn < 8; ++fn) {
                unsigned id = read_id(bus, dev, fn);
                if (id == 0xFFFFFFFFu) continue;
                ++found;
                printf("%02x:%02x.%u %04x:%04x\n", bus, dev, fn, id & 0xFFFF, id >> 16);
            }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    printf("native scan: 65536 probes, %u functions, %.1f ms\n", found,
           (t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6);
    return 0;
}

int main(int argc, char** argv) {
    if (ioperm(0xCF8, 8, 1) != 0) {
        perror("portwine: ioperm(0xCF8, 8, 1)");
        return 126;
    }
    if (argc == 2 && strcmp(argv[1], "--scan") == 0) return scan();
    argv[0] = WINE_LOADER;
    execv(WINE_LOADER, argv);
    perror("portwine: " WINE_LOADER);
    return 127;
}
