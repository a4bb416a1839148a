#pragma once

#include <cstdint>

struct xcb_connection_t;

// The connection to the X server that Qt opened for this app; nullptr when the app runs on
// another window system (Wayland, offscreen) or before the application object exists.
xcb_connection_t* x11Connection();

// The atom the X server knows by `name`, asked once per name: atoms never change while the
// connection lives, and asking is a round trip. 0 (none) without a connection.
std::uint32_t x11Atom(const char* name);
