/* Asks the top-level window with the given title to close, the way a window
 * manager's close button does (WM_DELETE_WINDOW), so a test can check what
 * the program does when its user closes it. Exit 0 when the request was sent. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <string.h>

static Window find(Display* d, Window w, const char* title) {
  char* name = NULL;
  if (XFetchName(d, w, &name) && name) {
    int match = strcmp(name, title) == 0;
    XFree(name);
    if (match) return w;
  }
  Window root, parent, *children = NULL;
  unsigned int n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned int i = 0; i < n && !found; ++i) found = find(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: xclose TITLE\n");
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "xclose: cannot open display\n");
    return 1;
  }
  Window w = find(d, DefaultRootWindow(d), argv[1]);
  if (!w) {
    fprintf(stderr, "xclose: no window titled '%s'\n", argv[1]);
    XCloseDisplay(d);
    return 1;
  }
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
  return 0;
}
