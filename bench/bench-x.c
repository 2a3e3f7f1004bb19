// The X side of the bench, as a small Xlib client of its own so that what it measures does not
// wait on a script's start-up.
//
//   bench-x launch TIMEOUT_MS PROGRAM [ARG...]
//       Selects SubstructureNotify on the root window, then starts PROGRAM and prints
//         pid PID START_NS           at once (START_NS: CLOCK_MONOTONIC just before fork)
//         mapped MS WINDOW CPU_MS    when a MapNotify arrives for a top-level window whose
//                                    _NET_WM_PID is PROGRAM's (MS: from START_NS to the event;
//                                    CPU_MS: PROGRAM's threads' time on a CPU until then)
//       or "timeout" / "exited", then stays until PROGRAM ends and exits with its status.
//       PROGRAM gets SIGTERM should this client die first.
//   bench-x owner SELECTION TIMEOUT_MS
//       Waits until SELECTION has an owner; exit status 1 if none came in time.
//   bench-x windows PID
//       One line per window of PID anywhere in the tree:
//         WINDOW top|embedded viewable|unmapped|unviewable normal|override
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <dirent.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long NowNs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// A window can go between the event that names it and the question about it.
static int IgnoreErrors(Display* display, XErrorEvent* error) {
    (void)display;
    (void)error;
    return 0;
}

static Display* OpenDisplay(void) {
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        const char* name = getenv("DISPLAY");
        fprintf(stderr, "bench-x: cannot open display %s\n", name ? name : "(unset)");
        exit(2);
    }
    XSetErrorHandler(IgnoreErrors);
    return display;
}

static long WindowPid(Display* display, Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = NULL;
    long pid = -1;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 1)
            pid = *(const long*)data; // format 32 comes as longs
        XFree(data);
    }
    return pid;
}

// Time on a CPU of all threads of `pid`, from the scheduler's own accounting (ns resolution).
static double CpuMs(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    if (!tasks)
        return -1;
    unsigned long long total = 0;
    for (struct dirent* task; (task = readdir(tasks));) {
        if (task->d_name[0] == '.')
            continue;
        char file[sizeof path + sizeof task->d_name + 16];
        snprintf(file, sizeof file, "%s/%s/schedstat", path, task->d_name);
        FILE* stat = fopen(file, "r");
        unsigned long long ns = 0;
        if (stat && fscanf(stat, "%llu", &ns) == 1)
            total += ns;
        if (stat)
            fclose(stat);
    }
    closedir(tasks);
    return total / 1e6;
}

// Prints "mapped ..." at the first MapNotify of a top-level window of `child`, or "timeout"
// or "exited"; false when the child has ended.
static bool WaitForMap(Display* display, Window root, pid_t child, long long start,
                       long long deadline) {
    struct pollfd connection = {.fd = ConnectionNumber(display), .events = POLLIN};
    while (NowNs() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            const long long arrived = NowNs();
            if (event.type != MapNotify || event.xmap.event != root || event.xmap.override_redirect)
                continue;
            if (WindowPid(display, event.xmap.window) != child)
                continue;
            printf("mapped %.3f 0x%lx %.3f\n", (arrived - start) / 1e6, event.xmap.window,
                   CpuMs(child));
            return true;
        }
        int status;
        if (waitpid(child, &status, WNOHANG) == child) {
            puts("exited");
            return false;
        }
        poll(&connection, 1, 20);
    }
    puts("timeout");
    return true;
}

static int Launch(long timeoutMs, char** argv) {
    Display* display = OpenDisplay();
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False); // selected for certain before the program starts
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);

    const pid_t parent = getpid();
    const long long start = NowNs();
    const pid_t child = fork();
    if (child < 0) {
        perror("bench-x: fork");
        return 2;
    }
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        execvp(argv[0], argv);
        perror("bench-x: exec");
        _exit(127);
    }
    printf("pid %d %lld\n", (int)child, start);
    fflush(stdout);

    const long long deadline = start + timeoutMs * 1000000LL;
    if (!WaitForMap(display, root, child, start, deadline))
        return 1;
    fflush(stdout);
    XCloseDisplay(display);

    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

static int Owner(const char* selection, long timeoutMs) {
    Display* display = OpenDisplay();
    const Atom atom = XInternAtom(display, selection, False);
    const long long deadline = NowNs() + timeoutMs * 1000000LL;
    do {
        if (XGetSelectionOwner(display, atom) != None)
            return 0;
        usleep(50 * 1000);
    } while (NowNs() < deadline);
    return 1;
}

static void ListWindows(Display* display, Window window, Window root, long pid) {
    Window rootReturn, parent, *children = NULL;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count))
        return;
    if (window != root && WindowPid(display, window) == pid) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, window, &attributes)) {
            const char* state = attributes.map_state == IsViewable     ? "viewable"
                                : attributes.map_state == IsUnviewable ? "unviewable"
                                                                       : "unmapped";
            printf("0x%lx %s %s %s\n", window, parent == root ? "top" : "embedded", state,
                   attributes.override_redirect ? "override" : "normal");
        }
    }
    for (unsigned int i = 0; i < count; ++i)
        ListWindows(display, children[i], root, pid);
    if (children)
        XFree(children);
}

static int Windows(long pid) {
    Display* display = OpenDisplay();
    const Window root = DefaultRootWindow(display);
    XGrabServer(display); // one consistent tree
    ListWindows(display, root, root, pid);
    XUngrabServer(display);
    XCloseDisplay(display);
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 4 && strcmp(argv[1], "launch") == 0)
        return Launch(atol(argv[2]), argv + 3);
    if (argc == 4 && strcmp(argv[1], "owner") == 0)
        return Owner(argv[2], atol(argv[3]));
    if (argc == 3 && strcmp(argv[1], "windows") == 0)
        return Windows(atol(argv[2]));
    fputs("usage: bench-x launch TIMEOUT_MS PROGRAM [ARG...] | owner SELECTION TIMEOUT_MS | "
          "windows PID\n",
          stderr);
    return 2;
}
