#pragma once

#include <QString>

// Whether the display that platform plugin `plugin` shows windows on is
// known to be missing, told apart from the plugin itself: for "xcb", no
// DISPLAY or no X server listening where a local DISPLAY points; for
// "wayland...", no compositor listening where WAYLAND_DISPLAY points. False
// for a display that answers, for one on another host (Qt's own words say
// more than a check from here could), and for a plugin that needs no display
// server (offscreen, eglfs, windows, ...).
bool isDisplayMissingFor(const QString &plugin);
