// Our RGBA images as gdk-pixbufs.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gtk/gtk_desktop_impl.h"

namespace larkspur {

GdkPixbuf* pixbufAtPointSize(const Image& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() < static_cast<std::size_t>(image.width) * image.height * 4)
    return nullptr;
  GdkPixbuf* pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, image.width, image.height);
  if (!pixels) return nullptr;
  // gdk-pixbuf is non-premultiplied RGBA too; only the row stride may differ.
  int stride = gdk_pixbuf_get_rowstride(pixels);
  guchar* dst = gdk_pixbuf_get_pixels(pixels);
  for (int y = 0; y < image.height; ++y)
    std::memcpy(dst + static_cast<std::size_t>(y) * stride,
                image.rgba.data() + static_cast<std::size_t>(y) * image.width * 4,
                static_cast<std::size_t>(image.width) * 4);
  int w = image.pointWidth > 0 ? std::max(1, static_cast<int>(std::lround(image.pointWidth)))
                               : image.width;
  int h = image.pointHeight > 0 ? std::max(1, static_cast<int>(std::lround(image.pointHeight)))
                                : image.height;
  if (w == image.width && h == image.height) return pixels;
  GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pixels, w, h, GDK_INTERP_BILINEAR);
  g_object_unref(pixels);
  return scaled;
}

}  // namespace larkspur
