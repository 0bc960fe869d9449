/* Drops a file on a window as a file manager does, by the XDND protocol (version 5): a source
 * window of its own owns XdndSelection, sends Enter with text/uri-list, Position, and on the
 * target's Status, Drop; it hands over the file's URI when the target asks for the selection,
 * and waits for Finished. xdotool cannot drag between clients, hence this.
 * Usage: xdnd_drop WINDOW-ID FILE (on $DISPLAY; FILE an absolute path). Exit 0 when the target
 * finished the drop and accepted it, 1 otherwise. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

static Display* display;
static Window source, target;

static void send_to_target(Atom type, long l1, long l2, long l3, long l4) {
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)source;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(display, target, False, NoEventMask, &event);
    XFlush(display);
}

/* The next event within 5 s; 0 on time-out. */
static int next_event(XEvent* event) {
    for (int waited_ms = 0; waited_ms < 5000; waited_ms += 10) {
        if (XPending(display)) {
            XNextEvent(display, event);
            return 1;
        }
        struct timeval t = {0, 10000};
        select(0, NULL, NULL, NULL, &t);
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3 || argv[2][0] != '/') {
        fprintf(stderr, "usage: xdnd_drop WINDOW-ID /ABSOLUTE/FILE\n");
        return 2;
    }
    display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "xdnd_drop: cannot open the display\n");
        return 1;
    }
    target = (Window)strtoul(argv[1], NULL, 0);
    char uri[4200];
    snprintf(uri, sizeof uri, "file://%s\r\n", argv[2]);
    Atom aware = XInternAtom(display, "XdndAware", False);
    Atom enter = XInternAtom(display, "XdndEnter", False);
    Atom position = XInternAtom(display, "XdndPosition", False);
    Atom status = XInternAtom(display, "XdndStatus", False);
    Atom drop = XInternAtom(display, "XdndDrop", False);
    Atom finished = XInternAtom(display, "XdndFinished", False);
    Atom selection = XInternAtom(display, "XdndSelection", False);
    Atom copy = XInternAtom(display, "XdndActionCopy", False);
    Atom uri_list = XInternAtom(display, "text/uri-list", False);

    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(display, target, aware, 0, 1, False, XA_ATOM, &type, &format, &count,
                           &after, &data) != Success ||
        count != 1) {
        fprintf(stderr, "xdnd_drop: the window takes no drops (no XdndAware)\n");
        return 1;
    }
    long version = *(long*)data < 5 ? *(long*)data : 5;
    XFree(data);

    source = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, selection, source, CurrentTime);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display, target, DefaultRootWindow(display), 10, 10, &x, &y, &child);

    send_to_target(enter, version << 24, (long)uri_list, None, None);
    send_to_target(position, 0, (long)x << 16 | y, CurrentTime, (long)copy);
    int accepted = 0, dropped = 0;
    XEvent event;
    while (next_event(&event)) {
        if (event.type == ClientMessage && event.xclient.message_type == status && !dropped) {
            if (!(event.xclient.data.l[1] & 1)) {
                fprintf(stderr, "xdnd_drop: the window refuses the file\n");
                return 1;
            }
            send_to_target(drop, 0, CurrentTime, None, None);
            dropped = 1;
        } else if (event.type == SelectionRequest) {
            XSelectionRequestEvent* request = &event.xselectionrequest;
            XEvent reply;
            memset(&reply, 0, sizeof reply);
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request->requestor;
            reply.xselection.selection = request->selection;
            reply.xselection.target = request->target;
            reply.xselection.time = request->time;
            reply.xselection.property = None;
            if (request->target == uri_list) {
                XChangeProperty(display, request->requestor, request->property, uri_list, 8,
                                PropModeReplace, (unsigned char*)uri, (int)strlen(uri));
                reply.xselection.property = request->property;
            }
            XSendEvent(display, request->requestor, False, NoEventMask, &reply);
            XFlush(display);
        } else if (event.type == ClientMessage && event.xclient.message_type == finished) {
            accepted = (event.xclient.data.l[1] & 1) != 0;
            break;
        }
    }
    if (!dropped || !accepted)
        fprintf(stderr, "xdnd_drop: the drop was %s\n", dropped ? "not accepted" : "never made");
    XDestroyWindow(display, source);
    XCloseDisplay(display);
    return dropped && accepted ? 0 : 1;
}
