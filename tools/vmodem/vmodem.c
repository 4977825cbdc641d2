/*
 * Modem lines for virtual serial cables.
 *
 * A pseudo terminal has no modem lines: TIOCMGET, TIOCMSET, TIOCMBIS,
 * TIOCMBIC, TIOCSBRK and TIOCCBRK fail on it, and Wine's serial driver
 * then answers ERROR_NOT_SUPPORTED for GetCommModemStatus,
 * EscapeCommFunction and WaitCommEvent. Loaded with LD_PRELOAD into the
 * Wine processes of a test run, this library answers those requests for
 * the PTY ends of the virtual cables made by scripts/vports and wires the
 * two ends of each cable like a null-modem cable:
 *
 *     RTS  ->  CTS of the peer
 *     DTR  ->  DSR and DCD of the peer
 *     break   counted in the peer's TIOCGICOUNT (Wine turns it into EV_BREAK)
 *
 * A real serial port can be open once only, and closing it drops the lines
 * it drives (HUPCL). Wine has no sharing check for character devices, so
 * the library also does this where Wine opens ports, in the wineserver
 * (scripts/session.sh starts it with the library): a second open() of a
 * cable end fails with EACCES, which Wine reports as ERROR_ACCESS_DENIED
 * as Windows does for a port in use, and the last close() of an end sets
 * its RTS, DTR and break low.
 *
 * The line state of a cable lives in a small shared file beside its links,
 * $VORLIN_PORTS_DIR/<a>-<b>.lines, mapped by every process that touches
 * the cable, so two programs (or a program and a test) see each other's
 * lines. A descriptor that is not one end of a known cable goes to the
 * real ioctl unchanged.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#define LINES_MAGIC 0x564d4c31u /* "VML1" */

struct end_state {
    uint32_t lines;      /* TIOCM_RTS | TIOCM_DTR as this end drives them */
    uint32_t breaking;   /* 1 while this end holds a break */
    uint32_t breaks;     /* breaks this end has started */
};

struct cable_state {
    uint32_t magic;
    uint32_t reserved;
    struct end_state end[2];
};

struct cable_end {
    dev_t rdev;               /* the PTY slave this end is */
    struct cable_state *cable;
    int side;                 /* 0 or 1 */
    time_t checked;           /* when the link was last confirmed */
};

#define MAX_ENDS 64
static struct cable_end g_ends[MAX_ENDS];
static int g_end_count;
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;

typedef int (*ioctl_fn)(int, unsigned long, ...);
static ioctl_fn real_ioctl_fn;
typedef int (*open_fn)(const char *, int, ...);
static open_fn real_open_fn;
typedef int (*close_fn)(int);
static close_fn real_close_fn;
typedef int (*dup_fn)(int);
static dup_fn real_dup_fn;
typedef int (*dup2_fn)(int, int);
static dup2_fn real_dup2_fn;

/* Descriptors this process holds on cable ends (opened here, not received). */
struct held_end {
    int fd;
    dev_t rdev;
    struct cable_state *cable;
    int side;
};
#define MAX_HELD 256
static struct held_end g_held[MAX_HELD];
static int g_held_count;

static int real_ioctl(int fd, unsigned long request, void *arg)
{
    if (!real_ioctl_fn) real_ioctl_fn = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    if (!real_ioctl_fn) { errno = ENOSYS; return -1; }
    return real_ioctl_fn(fd, request, arg);
}

/* Each cable's file is mapped once per process and stays mapped. */
struct mapped_cable {
    char name[256];
    struct cable_state *cable;
};
#define MAX_CABLES 32
static struct mapped_cable g_cables[MAX_CABLES];
static int g_cable_count;
static pthread_mutex_t g_map_lock = PTHREAD_MUTEX_INITIALIZER;

static struct cable_state *map_cable(const char *dir, const char *name)
{
    struct cable_state *cable = NULL;
    pthread_mutex_lock(&g_map_lock);
    for (int i = 0; i < g_cable_count && !cable; ++i)
        if (strcmp(g_cables[i].name, name) == 0) cable = g_cables[i].cable;
    if (!cable && g_cable_count < MAX_CABLES && strlen(name) < sizeof g_cables[0].name) {
        char path[4096];
        /* Straight to the kernel: open() and close() of this library may be the callers. */
        int fd = -1;
        if (snprintf(path, sizeof path, "%s/%s", dir, name) < (int)sizeof path)
            fd = (int)syscall(SYS_openat, AT_FDCWD, path, O_RDWR | O_CLOEXEC);
        struct stat st;
        if (fd >= 0 && fstat(fd, &st) == 0 && st.st_size >= (off_t)sizeof(struct cable_state)) {
            void *p = mmap(NULL, sizeof(struct cable_state), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED) {
                cable = p;
                uint32_t zero = 0;
                __atomic_compare_exchange_n(&cable->magic, &zero, LINES_MAGIC, 0, __ATOMIC_SEQ_CST,
                                            __ATOMIC_SEQ_CST);
                strcpy(g_cables[g_cable_count].name, name);
                g_cables[g_cable_count++].cable = cable;
            }
        }
        if (fd >= 0) syscall(SYS_close, fd);
    }
    pthread_mutex_unlock(&g_map_lock);
    return cable;
}

static int link_rdev(const char *dir, const char *name, size_t len, dev_t *rdev)
{
    char path[4096];
    if (snprintf(path, sizeof path, "%s/%.*s", dir, (int)len, name) >= (int)sizeof path) return 0;
    struct stat st;
    if (stat(path, &st) < 0 || !S_ISCHR(st.st_mode)) return 0;
    *rdev = st.st_rdev;
    return 1;
}

/* Finds the cable whose link "<a>" or "<b>" of a file "<a>-<b>.lines" leads to rdev. */
static int scan_cables(dev_t rdev, struct cable_end *found)
{
    const char *dir = getenv("VORLIN_PORTS_DIR");
    if (!dir || !*dir) return 0;
    DIR *d = opendir(dir);
    if (!d) return 0;
    int ok = 0;
    struct dirent *e;
    while (!ok && (e = readdir(d)) != NULL) {
        size_t n = strlen(e->d_name);
        if (n < 7 || strcmp(e->d_name + n - 6, ".lines") != 0) continue;
        const char *dash = memchr(e->d_name, '-', n - 6);
        if (!dash) continue;
        const char *a = e->d_name, *b = dash + 1;
        size_t alen = (size_t)(dash - a), blen = (size_t)(e->d_name + n - 6 - b);
        dev_t ra, rb;
        int side = -1;
        if (link_rdev(dir, a, alen, &ra) && ra == rdev) side = 0;
        else if (link_rdev(dir, b, blen, &rb) && rb == rdev) side = 1;
        if (side < 0) continue;
        struct cable_state *cable = map_cable(dir, e->d_name);
        if (!cable) continue;
        found->rdev = rdev;
        found->cable = cable;
        found->side = side;
        found->checked = time(NULL);
        ok = 1;
    }
    closedir(d);
    return ok;
}

/* 1 with *out filled when the descriptor is one end of a cable, else 0. */
static int lookup_end(int fd, struct cable_end *out)
{
    struct stat st;
    if (fstat(fd, &st) < 0 || !S_ISCHR(st.st_mode)) return 0;
    int ok = 0;
    pthread_mutex_lock(&g_lock);
    time_t now = time(NULL);
    for (int i = 0; i < g_end_count; ++i) {
        if (g_ends[i].rdev != st.st_rdev) continue;
        /* A cable made again may reuse a PTY number: confirm now and then. */
        if (now - g_ends[i].checked <= 1) {
            *out = g_ends[i];
            ok = 1;
        } else {
            g_ends[i] = g_ends[--g_end_count];
        }
        break;
    }
    if (!ok && scan_cables(st.st_rdev, out)) {
        ok = 1;
        if (g_end_count < MAX_ENDS) g_ends[g_end_count++] = *out;
    }
    pthread_mutex_unlock(&g_lock);
    return ok;
}

static int modem_bits(const struct cable_end *e)
{
    struct end_state *own = &e->cable->end[e->side];
    struct end_state *peer = &e->cable->end[1 - e->side];
    uint32_t mine = __atomic_load_n(&own->lines, __ATOMIC_SEQ_CST);
    uint32_t theirs = __atomic_load_n(&peer->lines, __ATOMIC_SEQ_CST);
    int bits = (int)(mine & (TIOCM_RTS | TIOCM_DTR));
    if (theirs & TIOCM_RTS) bits |= TIOCM_CTS;
    if (theirs & TIOCM_DTR) bits |= TIOCM_DSR | TIOCM_CAR;
    return bits;
}

static int set_lines(const struct cable_end *e, unsigned long request, const int *arg)
{
    if (!arg) { errno = EFAULT; return -1; }
    uint32_t want = (uint32_t)*arg & (TIOCM_RTS | TIOCM_DTR);
    uint32_t *lines = &e->cable->end[e->side].lines;
    switch (request) {
    case TIOCMSET: __atomic_store_n(lines, want, __ATOMIC_SEQ_CST); break;
    case TIOCMBIS: __atomic_fetch_or(lines, want, __ATOMIC_SEQ_CST); break;
    default: __atomic_fetch_and(lines, ~want, __ATOMIC_SEQ_CST); break;
    }
    return 0;
}

static int set_break(const struct cable_end *e, int on)
{
    struct end_state *own = &e->cable->end[e->side];
    uint32_t was = __atomic_exchange_n(&own->breaking, (uint32_t)on, __ATOMIC_SEQ_CST);
    if (on && !was) __atomic_fetch_add(&own->breaks, 1, __ATOMIC_SEQ_CST);
    return 0;
}

static int interrupt_counts(int fd, const struct cable_end *e, struct serial_icounter_struct *counts)
{
    if (!counts) { errno = EFAULT; return -1; }
    if (real_ioctl(fd, TIOCGICOUNT, counts) < 0) memset(counts, 0, sizeof *counts);
    counts->brk = (int)__atomic_load_n(&e->cable->end[1 - e->side].breaks, __ATOMIC_SEQ_CST);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);

    switch (request) {
    case TIOCMGET: case TIOCMSET: case TIOCMBIS: case TIOCMBIC:
    case TIOCSBRK: case TIOCCBRK: case TIOCGICOUNT: {
        struct cable_end e;
        if (!lookup_end(fd, &e)) break;
        switch (request) {
        case TIOCMGET:
            if (!arg) { errno = EFAULT; return -1; }
            *(int *)arg = modem_bits(&e);
            return 0;
        case TIOCSBRK: return set_break(&e, 1);
        case TIOCCBRK: return set_break(&e, 0);
        case TIOCGICOUNT: return interrupt_counts(fd, &e, arg);
        default: return set_lines(&e, request, arg);
        }
    }
    default: break;
    }
    return real_ioctl(fd, request, arg);
}

static int held_index(int fd)
{
    for (int i = 0; i < g_held_count; ++i)
        if (g_held[i].fd == fd) return i;
    return -1;
}

static int rdev_held(dev_t rdev)
{
    for (int i = 0; i < g_held_count; ++i)
        if (g_held[i].rdev == rdev) return 1;
    return 0;
}

static void hold(int fd, const struct held_end *like)
{
    pthread_mutex_lock(&g_lock);
    if (g_held_count < MAX_HELD) {
        g_held[g_held_count] = *like;
        g_held[g_held_count].fd = fd;
        ++g_held_count;
    }
    pthread_mutex_unlock(&g_lock);
}

static int open_cable_end(const char *path, int flags, mode_t mode)
{
    if (!real_open_fn) real_open_fn = (open_fn)dlsym(RTLD_NEXT, "open");
    if (!real_open_fn) { errno = ENOSYS; return -1; }
    struct stat st;
    struct cable_end e;
    if (!path || stat(path, &st) < 0 || !S_ISCHR(st.st_mode) || !scan_cables(st.st_rdev, &e))
        return real_open_fn(path, flags, mode);
    pthread_mutex_lock(&g_lock);
    int busy = rdev_held(st.st_rdev);
    pthread_mutex_unlock(&g_lock);
    if (busy) { errno = EACCES; return -1; }
    int fd = real_open_fn(path, flags, mode);
    if (fd >= 0) {
        struct held_end h = {fd, st.st_rdev, e.cable, e.side};
        hold(fd, &h);
    }
    return fd;
}

int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = (mode_t)va_arg(ap, int);
        va_end(ap);
    }
    return open_cable_end(path, flags, mode);
}

int open64(const char *path, int flags, ...) __attribute__((alias("open")));

int close(int fd)
{
    if (!real_close_fn) real_close_fn = (close_fn)dlsym(RTLD_NEXT, "close");
    if (!real_close_fn) { errno = ENOSYS; return -1; }
    pthread_mutex_lock(&g_lock);
    int i = held_index(fd);
    if (i >= 0) {
        struct held_end h = g_held[i];
        g_held[i] = g_held[--g_held_count];
        if (!rdev_held(h.rdev)) {
            /* The port is closed: it no longer drives its lines. */
            struct end_state *own = &h.cable->end[h.side];
            __atomic_store_n(&own->lines, 0, __ATOMIC_SEQ_CST);
            __atomic_store_n(&own->breaking, 0, __ATOMIC_SEQ_CST);
        }
    }
    pthread_mutex_unlock(&g_lock);
    return real_close_fn(fd);
}

int dup(int fd)
{
    if (!real_dup_fn) real_dup_fn = (dup_fn)dlsym(RTLD_NEXT, "dup");
    if (!real_dup_fn) { errno = ENOSYS; return -1; }
    int copy = real_dup_fn(fd);
    if (copy >= 0) {
        pthread_mutex_lock(&g_lock);
        int i = held_index(fd);
        struct held_end h = i >= 0 ? g_held[i] : (struct held_end){0};
        pthread_mutex_unlock(&g_lock);
        if (i >= 0) hold(copy, &h);
    }
    return copy;
}

int dup2(int fd, int target)
{
    if (!real_dup2_fn) real_dup2_fn = (dup2_fn)dlsym(RTLD_NEXT, "dup2");
    if (!real_dup2_fn) { errno = ENOSYS; return -1; }
    if (fd != target && held_index(target) >= 0) close(target);
    int copy = real_dup2_fn(fd, target);
    if (copy >= 0 && fd != target) {
        pthread_mutex_lock(&g_lock);
        int i = held_index(fd);
        struct held_end h = i >= 0 ? g_held[i] : (struct held_end){0};
        pthread_mutex_unlock(&g_lock);
        if (i >= 0) hold(copy, &h);
    }
    return copy;
}
