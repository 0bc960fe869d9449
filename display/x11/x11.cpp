// The X11 window back-end. The image buffer is the show's frame, so presenting costs one
// XPutImage and a flush; the back-end only accepts visuals whose image layout is the Pixel
// layout (32 bits per pixel, 8-bit red/green/blue at 16/8/0, least significant byte first).
#include "display/x11/x11.h"

#include <cstdio>
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>
#include <unistd.h>

#include "display/display.h"

static constexpr int WIDTH = 320;
static constexpr int HEIGHT = 240;
static constexpr const char* WINDOW_NAME = "pim.pasu -test";
// WM_CLASS: the program, and the application's id, which names its desktop entry.
static constexpr const char* WINDOW_INSTANCE = "xdemo";
static constexpr const char* WINDOW_CLASS = "org.quab.Quab";

// 16x16 icon, one bit per pixel, least significant bit leftmost: a framed Q.
static unsigned char icon_bits[32] = {
    0xff, 0xff, 0x01, 0x80, 0xe1, 0x87, 0x31, 0x8c, 0x19, 0x98, 0x19, 0x98, 0x19, 0x98, 0x19, 0x98,
    0x19, 0x98, 0x99, 0x99, 0x31, 0x8f, 0xe1, 0x87, 0x01, 0x9c, 0x01, 0xb8, 0x01, 0x80, 0xff, 0xff};

// Visuals whose pixels carry alpha would turn every Pixel's key byte into window transparency
// under a compositing desktop (most frames have key byte 0: an invisible window).
static bool visual_has_alpha(Display* display, Visual* visual) {
    int event_base, error_base;
    if (!XRenderQueryExtension(display, &event_base, &error_base))
        return false;
    XRenderPictFormat* format = XRenderFindVisualFormat(display, visual);
    return format && format->direct.alphaMask != 0;
}

// First visual of the screen at depth 32, then 24, then 16, skipping those with alpha.
static bool find_visual(Display* display, int screen, XVisualInfo* chosen) {
    for (int depth = 32; depth >= 16; depth -= 8) {
        XVisualInfo templ{};
        templ.screen = screen;
        templ.depth = depth;
        int count = 0;
        XVisualInfo* list =
            XGetVisualInfo(display, VisualScreenMask | VisualDepthMask, &templ, &count);
        for (int i = 0; i < count; i++) {
            if (!visual_has_alpha(display, list[i].visual)) {
                *chosen = list[i];
                XFree(list);
                return true;
            }
        }
        if (list)
            XFree(list);
    }
    return false;
}

// A window destroyed by another client (xdotool windowclose, a window manager's forced close)
// makes the next XPutImage fail with BadDrawable; Xlib's default handler would end the process
// without the show's closing report. Errors about the show's own window mark it gone and count
// as a quit request; any other error goes to the handler that was there before.
static Window show_window = None;
static bool show_window_gone = false;
static XErrorHandler previous_error_handler = nullptr;

static int on_x_error(Display* display, XErrorEvent* error) {
    if (show_window != None && error->resourceid == show_window &&
        (error->error_code == BadDrawable || error->error_code == BadWindow)) {
        show_window_gone = true;
        return 0;
    }
    return previous_error_handler ? previous_error_handler(display, error) : 0;
}

static bool image_is_pixel_layout(const XImage* image) {
    return image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
           image->green_mask == 0x00FF00 && image->blue_mask == 0x0000FF &&
           image->byte_order == LSBFirst && image->bytes_per_line == WIDTH * 4;
}

DisplayContext* x11_open(int argc, char** argv) {
    std::printf("Initiating xlib startup sequence...\n");
    std::fflush(stdout);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf("Error: Unable to find display. Is the xserver up and running properly?\n");
        return nullptr;
    }
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);

    XVisualInfo visual_info;
    if (!find_visual(display, screen, &visual_info)) {
        std::printf("Unable to allocate visual. try: startx -- -bpp 32 or something simular\n");
        XCloseDisplay(display);
        return nullptr;
    }
    int depth = visual_info.depth;
    Visual* visual = visual_info.visual;

    XImage* image = XCreateImage(display, visual, depth, ZPixmap, 0, nullptr, WIDTH, HEIGHT, 32, 0);
    if (!image) {
        std::printf("Unable to allocate XImage\n");
        XCloseDisplay(display);
        return nullptr;
    }
    if (!image_is_pixel_layout(image)) {
        std::printf("Unable to use the %d-bit visual: the show needs 32-bit pixels with 8-bit red, "
                    "green and blue channels (bits per pixel %d, masks %06lx/%06lx/%06lx)\n",
                    depth, image->bits_per_pixel, image->red_mask, image->green_mask,
                    image->blue_mask);
        XDestroyImage(image);
        XCloseDisplay(display);
        return nullptr;
    }
    int buffer_bytes = image->bytes_per_line * HEIGHT;
    // Zero-filled: the frame starts black.
    image->data = static_cast<char*>(std::calloc(1, buffer_bytes));
    if (!image->data) {
        std::printf("Unable to allocate %d bytes of RAM\n", buffer_bytes);
        XDestroyImage(image);
        XCloseDisplay(display);
        return nullptr;
    }
    XInitImage(image);

    // A visual other than the root's needs its own colormap and border pixel, or the window
    // cannot be created.
    XSetWindowAttributes attributes{};
    unsigned long value_mask = 0;
    if (visual != DefaultVisual(display, screen)) {
        attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
        attributes.border_pixel = 0;
        value_mask = CWColormap | CWBorderPixel;
    }
    Window window = XCreateWindow(display, root, 0, 0, WIDTH, HEIGHT, 5, depth, InputOutput, visual,
                                  value_mask, &attributes);
    Pixmap icon =
        XCreateBitmapFromData(display, window, reinterpret_cast<char*>(icon_bits), 16, 16);

    XSizeHints hints{};
    hints.flags = PPosition | PSize | PMinSize | PMaxSize;
    hints.x = 0;
    hints.y = 0;
    hints.width = hints.min_width = hints.max_width = WIDTH;
    hints.height = hints.min_height = hints.max_height = HEIGHT;
    XSetStandardProperties(display, window, WINDOW_NAME, WINDOW_NAME, icon, argv, argc, &hints);
    // The class the desktop entry names (StartupWMClass), so a dock groups the show under its
    // entry and icon; the title stays the show's own.
    XClassHint class_hint{const_cast<char*>(WINDOW_INSTANCE), const_cast<char*>(WINDOW_CLASS)};
    XSetClassHint(display, window, &class_hint);
    // The process behind the window, for a manager that offers to end one that stops answering.
    long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    XSelectInput(display, window, KeyPressMask | ButtonPressMask);
    // The window manager's close button sends WM_DELETE_WINDOW to a window that asks for it
    // (it arrives without being selected); without it, the manager cuts the connection.
    Atom wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &wm_delete_window, 1);
    show_window = window;
    show_window_gone = false;
    previous_error_handler = XSetErrorHandler(on_x_error);
    GC gc = XCreateGC(display, window, 0, nullptr);
    XMapWindow(display, window);

    DisplayContext* context = static_cast<DisplayContext*>(std::malloc(sizeof(DisplayContext)));
    if (!context) {
        std::printf("Unable to allocate a %d bytes buffer\n",
                    static_cast<int>(sizeof(DisplayContext)));
        XDestroyImage(image); // frees its buffer too
        XCloseDisplay(display);
        XSetErrorHandler(previous_error_handler);
        show_window = None;
        return nullptr;
    }
    context->display = display;
    context->window = window;
    context->gc = gc;
    context->image = image;
    context->event = XEvent{};
    context->byte_order = image->byte_order;
    context->bytes_per_line = image->bytes_per_line;
    context->depth = static_cast<std::uint8_t>(depth);
    context->frame = reinterpret_cast<Pixel*>(image->data);
    context->wm_delete_window = wm_delete_window;
    return context;
}

void x11_present(DisplayContext* context) {
    XPutImage(context->display, context->window, context->gc, context->image, 0, 0, 0, 0, WIDTH,
              HEIGHT);
    XFlush(context->display);
}

static bool is_close_request(const DisplayContext* context, const XEvent& event) {
    return event.type == ClientMessage && event.xclient.format == 32 &&
           static_cast<Atom>(event.xclient.data.l[0]) == context->wm_delete_window;
}

bool x11_poll_quit(DisplayContext* context) {
    if (XCheckMaskEvent(context->display, KeyPressMask | ButtonPressMask, &context->event) == True)
        return true;
    // Client messages cannot be selected by mask; any other one is taken and ignored.
    if (XCheckTypedWindowEvent(context->display, context->window, ClientMessage, &context->event) ==
            True &&
        is_close_request(context, context->event))
        return true;
    return show_window_gone;
}

void x11_close(DisplayContext* context) {
    // XDestroyImage frees the pixel buffer (the frame) with the image record. XCloseDisplay
    // ends the GC on the server but not Xlib's own record of it.
    XDestroyImage(context->image);
    XFreeGC(context->display, context->gc);
    XCloseDisplay(context->display);
    XSetErrorHandler(previous_error_handler);
    show_window = None;
    std::free(context);
}

bool display_wants_offscreen_frame() { return false; }
DisplayContext* display_open(int argc, char** argv) { return x11_open(argc, argv); }
int display_status(const DisplayContext*) { return 1; }
void display_discard(DisplayContext* context) { x11_close(context); }
Pixel* display_frame(DisplayContext* context) { return context->frame; }
void display_present(DisplayContext* context, const Pixel*) { x11_present(context); }
bool display_poll_quit(DisplayContext* context) { return x11_poll_quit(context); }
void display_close(DisplayContext* context) { x11_close(context); }
