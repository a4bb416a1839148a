#pragma once

struct xcb_connection_t;

// The connection to the X server that Qt opened for this app; nullptr when the app runs on
// another window system (Wayland, offscreen) or before the application object exists.
xcb_connection_t* x11Connection();
