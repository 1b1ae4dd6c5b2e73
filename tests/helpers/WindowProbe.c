/* Looks at and pokes the windows of an X display for the dialog tests.
 *   window-probe wait TITLE MS   waits up to MS for a viewable window titled TITLE; prints
 *                                "WIDTHxHEIGHT"; exit 1 when none came
 *   window-probe gone TITLE MS   waits up to MS until no viewable window has that title
 *   window-probe keys TITLE      focuses each window so titled in turn and types Enter, then
 *                                Escape (XTest)
 *   window-probe count TITLE N MS   waits up to MS until N viewable windows have that title
 *   window-probe shot FILE       saves the whole screen as PNG; prints how many pixels are
 *                                not black (the empty screen) */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static Window findTitled(Display* d, Window w, const char* title) {
    XWindowAttributes a;
    char* name = NULL;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && XFetchName(d, w, &name) && name) {
        int same = strcmp(name, title) == 0;
        XFree(name);
        if (same) return w;
    }
    Window root, parent, *children = NULL;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count))
        for (unsigned i = 0; i < count && !found; ++i) found = findTitled(d, children[i], title);
    if (children) XFree(children);
    return found;
}

/* Collects up to max viewable windows titled title below w. */
static unsigned allTitled(Display* d, Window w, const char* title, Window* found, unsigned max) {
    unsigned n = 0;
    XWindowAttributes a;
    char* name = NULL;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && XFetchName(d, w, &name) && name) {
        if (strcmp(name, title) == 0 && n < max) found[n++] = w;
        XFree(name);
    }
    Window root, parent, *children = NULL;
    unsigned count = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count))
        for (unsigned i = 0; i < count; ++i) n += allTitled(d, children[i], title, found + n, max - n);
    if (children) XFree(children);
    return n;
}

static Window waitFor(Display* d, const char* title, int ms, int wantPresent) {
    for (int waited = 0;; waited += 50) {
        Window w = findTitled(d, DefaultRootWindow(d), title);
        if ((w != 0) == wantPresent || waited >= ms) return w;
        usleep(50000);
    }
}

static void typeKey(Display* d, KeySym key) {
    KeyCode code = XKeysymToKeycode(d, key);
    XTestFakeKeyEvent(d, code, True, 0);
    XTestFakeKeyEvent(d, code, False, 0);
    XSync(d, False);
}

static int shot(Display* d, const char* file) {
    int w = DisplayWidth(d, DefaultScreen(d)), h = DisplayHeight(d, DefaultScreen(d));
    XImage* img = XGetImage(d, DefaultRootWindow(d), 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!img) return 1;
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    guchar* px = gdk_pixbuf_get_pixels(pb);
    int stride = gdk_pixbuf_get_rowstride(pb);
    long drawn = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            guchar* o = px + y * stride + x * 3;
            o[0] = (guchar)(p >> 16), o[1] = (guchar)(p >> 8), o[2] = (guchar)p;
            drawn += (p & 0xFFFFFF) != 0;
        }
    printf("%ld\n", drawn);
    XDestroyImage(img);
    int ok = gdk_pixbuf_save(pb, file, "png", NULL, NULL);
    g_object_unref(pb);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(NULL);
    if (!d || argc < 3) return 2;
    const char* cmd = argv[1];
    if (strcmp(cmd, "shot") == 0) return shot(d, argv[2]);
    if (strcmp(cmd, "keys") == 0) {
        Window found[8];
        unsigned n = allTitled(d, DefaultRootWindow(d), argv[2], found, 8);
        for (unsigned i = 0; i < n; ++i) {
            XSetInputFocus(d, found[i], RevertToParent, CurrentTime);
            typeKey(d, XK_Return);
            typeKey(d, XK_Escape);
        }
        return n ? 0 : 1;
    }
    if (strcmp(cmd, "count") == 0 && argc > 4) {
        Window found[8];
        unsigned want = (unsigned)atoi(argv[3]);
        for (int waited = 0; allTitled(d, DefaultRootWindow(d), argv[2], found, 8) < want; waited += 50) {
            if (waited >= atoi(argv[4])) return 1;
            usleep(50000);
        }
        return 0;
    }
    int ms = argc > 3 ? atoi(argv[3]) : 0;
    if (strcmp(cmd, "gone") == 0) return waitFor(d, argv[2], ms, 0) ? 1 : 0;
    Window w = waitFor(d, argv[2], ms, 1);
    if (!w) return 1;
    XWindowAttributes a;
    XGetWindowAttributes(d, w, &a);
    printf("%dx%d\n", a.width, a.height);
    return 0;
}
