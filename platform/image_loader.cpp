// PNG and JPEG decoding through gdk-pixbuf into the image table.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/image_table.h"

namespace larkspur {

namespace {

struct PixbufUnref {
  void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

// The size the file declares, read from its header without decoding, so a
// hostile file cannot make us allocate gigabytes. Empty name for anything
// other than PNG or JPEG.
struct Declared {
  std::string format;
  int width = 0;
  int height = 0;
};

Declared declaredSize(const std::string& path) {
  Declared d;
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(path.c_str(), &d.width, &d.height);
  if (!format) return d;
  gchar* name = gdk_pixbuf_format_get_name(format);
  if (name && (std::strcmp(name, "png") == 0 || std::strcmp(name, "jpeg") == 0)) d.format = name;
  g_free(name);
  return d;
}

bool acceptableSize(const Declared& d) {
  return d.width > 0 && d.height > 0 && d.width <= ImageTable::MaxDimension &&
         d.height <= ImageTable::MaxDimension &&
         static_cast<std::int64_t>(d.width) * d.height <= MaxLoadPixels;
}

// The JPEG decoder pads a truncated file with grey and reports success, so
// we look for the end-of-image marker ourselves: walk the marker segments to
// the first start-of-scan (skipping thumbnails inside APPn segments), then
// require an EOI after it. Entropy-coded data escapes 0xFF, so 0xFF 0xD9
// there can only be a real marker.
bool jpegComplete(const std::string& bytes) {
  std::size_t at = 2;
  if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xD8) {
    return false;
  }
  while (at + 4 <= bytes.size()) {
    if (static_cast<unsigned char>(bytes[at]) != 0xFF) return false;
    const auto marker = static_cast<unsigned char>(bytes[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const std::size_t length = (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                               static_cast<unsigned char>(bytes[at + 3]);
    if (marker == 0xDA) return bytes.find("\xFF\xD9", at + 2 + length) != std::string::npos;
    at += 2 + length;
  }
  return false;
}

bool readFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

PixbufPtr decode(const std::string& path) {
  GError* error = nullptr;
  PixbufPtr pixbuf(gdk_pixbuf_new_from_file(path.c_str(), &error));
  if (error) g_error_free(error);
  if (!pixbuf) return nullptr;
  const int channels = gdk_pixbuf_get_n_channels(pixbuf.get());
  const bool usable = gdk_pixbuf_get_colorspace(pixbuf.get()) == GDK_COLORSPACE_RGB &&
                      gdk_pixbuf_get_bits_per_sample(pixbuf.get()) == 8 &&
                      (channels == 3 || channels == 4) &&
                      (channels == 4) == (gdk_pixbuf_get_has_alpha(pixbuf.get()) != FALSE);
  return usable ? std::move(pixbuf) : nullptr;
}

// gdk-pixbuf's alpha is already straight, which is what the table keeps;
// RGB pixbufs get alpha 255.
void copyPixels(GdkPixbuf* pixbuf, Image& image) {
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y) {
    const guchar* in = pixels + static_cast<std::size_t>(y) * stride;
    std::uint8_t* out = image.rgba.data() + static_cast<std::size_t>(y) * image.width * 4;
    if (channels == 4) {
      std::memcpy(out, in, static_cast<std::size_t>(image.width) * 4);
      continue;
    }
    for (int x = 0; x < image.width; ++x, in += 3, out += 4) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = 255;
    }
  }
}

PixbufPtr decodeWhole(const std::string& path, Declared& declared) {
  declared = declaredSize(path);
  if (declared.format.empty() || !acceptableSize(declared)) return nullptr;
  if (declared.format == "jpeg") {
    std::string bytes;
    if (!readFile(path, bytes) || !jpegComplete(bytes)) return nullptr;
  }
  PixbufPtr pixbuf = decode(path);
  if (!pixbuf || gdk_pixbuf_get_width(pixbuf.get()) != declared.width ||
      gdk_pixbuf_get_height(pixbuf.get()) != declared.height) {
    return nullptr;
  }
  return pixbuf;
}

}  // namespace

bool imageFileDecodes(const std::string& path) {
  Declared declared;
  return decodeWhole(path, declared) != nullptr;
}

const Image* loadImageFile(ImageTable& table, int number, const std::string& path) {
  Declared declared;
  const PixbufPtr pixbuf = decodeWhole(path, declared);
  if (!pixbuf) return nullptr;
  if (!table.create(number, declared.width, declared.height, 32, -1)) return nullptr;
  Image* image = table.mutableImage(number);
  copyPixels(pixbuf.get(), *image);
  return image;
}

}  // namespace larkspur
