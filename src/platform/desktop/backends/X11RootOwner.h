#pragma once

#include "platform/desktop/backends/X11Connection.h"

// The root property in which Tapisto names the root pixmap it published after making the server keep
// it: that one was certainly kept by its setter.
inline constexpr char kKeptRootPixmapProperty[] = "_TAPISTO_ROOTPMAP_ID";

// Whether the pixmap that _XROOTPMAP_ID and ESETROOT_PMAP_ID both name (`published`) may be released by
// killing its client: it still is a pixmap, its client is neither this connection nor one with a
// window, and it was kept by its setter, as `keptByUs` (kKeptRootPixmapProperty) says or as the
// X-Resource extension shows (its client's process has ended, on this machine). `ours` is the pixmap
// this connection is about to publish. Call with the server grabbed.
bool MayReleaseRootPixmap(X11Connection &connection, Pixmap published, Pixmap ours, Pixmap keptByUs);
