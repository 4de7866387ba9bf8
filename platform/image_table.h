#pragma once
// Numbered RGBA images: the status icons (0, 1), the About icon (2), the menu
// artwork (3) and the details artwork (4).
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/image.h"

namespace larkspur {

class ImageTable {
 public:
  // background -1: transparent; otherwise 0xBBGGRR painted with alpha 255.
  const Image* create(int number, int width, int height, int depth, std::int32_t background);
  const Image* copy(int source, int number);
  // NotGiven for width or height keeps it. mode 0 smooth (Mitchell-Netravali
  // B = C = 1/3), mode bit 0 nearest pixel.
  bool resize(int number, int width, int height, int mode);
  void free(int number);  // -1 frees all
  bool exists(int number) const;
  const Image* platformImage(int number) const;
  Image* mutableImage(int number);
  // Display size in points; the pixels are not touched.
  void setSize(int number, double pointWidth, double pointHeight);

  // Drawing targets: the logic draws straight into the pixel buffer.
  bool beginDrawing(int number);
  std::uint8_t* drawingBuffer() const;
  int drawingPitch() const;
  int drawingWidth() const;
  int drawingHeight() const;
  void endDrawing();

  // Largest width or height of an image in the table.
  static constexpr int MaxDimension = 65535;

 private:
  std::map<int, std::unique_ptr<Image>> slots_;
  int drawing_ = -1;
};

// Decodes a PNG or JPEG file into image `number` at the file's pixel size,
// alpha not premultiplied. Null, and no slot, for anything unreadable, and
// for files whose declared size exceeds MaxLoadPixels.
constexpr std::int64_t MaxLoadPixels = 64LL * 1000 * 1000;
const Image* loadImageFile(ImageTable& table, int number, const std::string& path);
// Whether loadImageFile would take the file, without keeping its pixels.
bool imageFileDecodes(const std::string& path);

// The resamplers behind ImageTable::resize, on tightly packed RGBA rows.
// `dst` holds dstWidth * dstHeight * 4 bytes. resampleSmooth answers false
// only when its intermediate buffer cannot be had.
bool resampleSmooth(const std::uint8_t* src, int srcWidth, int srcHeight, std::uint8_t* dst,
                    int dstWidth, int dstHeight);
void resampleNearest(const std::uint8_t* src, int srcWidth, int srcHeight, std::uint8_t* dst,
                     int dstWidth, int dstHeight);

}  // namespace larkspur
