#pragma once

#include "ui/X11.h"

// The connection to the X server that Qt opened for this app, as X11::connection() gives it.
inline xcb_connection_t* x11Connection() {
    return X11::connection();
}
