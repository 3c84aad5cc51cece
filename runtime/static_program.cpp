// Linked into the static program only (-Wl,--wrap=dlopen): every dlopen that
// FLTK and Xlib make comes here and is refused. A shared library loaded into a
// static program brings its own libc.so and libX11, of whatever version the
// system has, beside the ones linked in; what it offers here (screen resize
// events through libXrandr, themed cursors through libXcursor) the window does
// without, as it does on a system that lacks those libraries.
#include <dlfcn.h>

extern "C" void* __wrap_dlopen(const char*, int) {
  return nullptr;
}
