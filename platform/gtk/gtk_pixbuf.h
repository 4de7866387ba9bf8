#pragma once
// Our RGBA images as gdk-pixbufs. Private to the GTK desktop and its tray.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "platform/image.h"

namespace larkspur {

// Pixels of an Image as a pixbuf at the image's display size (its pixel size
// when it has none). Null for an empty image. The caller owns the result.
GdkPixbuf* pixbufAtPointSize(const Image& image);

}  // namespace larkspur
