#include "KeyboardLocks.h"

#include <QGuiApplication>

#ifdef TONECRAFT_HAVE_XKB
#include <X11/XKBlib.h>
#endif

namespace KeyboardLocks {

State Query()
{
    State state;
#ifdef TONECRAFT_HAVE_XKB
    auto *x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    Display *display = x11 != nullptr ? x11->display() : nullptr;
    if (display != nullptr) {
        auto lit = [display](const char *name) {
            Bool on = False;
            const Atom atom = XInternAtom(display, name, False);
            return XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
        };
        state.caps = lit("Caps Lock");
        state.num = lit("Num Lock");
        state.scroll = lit("Scroll Lock");
    }
#endif
    return state;
}

} // namespace KeyboardLocks
