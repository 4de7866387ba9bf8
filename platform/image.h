#pragma once
// The pixels of one numbered image: 8-bit RGBA, alpha not premultiplied, rows
// exactly width * 4 bytes, top row first. This is the "platform image" that
// the logic hands to the desktop; the desktop converts it when it shows it.
#include <cstdint>
#include <vector>

namespace larkspur {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes
  // Display size in points, kept apart from the pixel size: a 256-pixel icon
  // may be shown at 64 points.
  double pointWidth = 0;
  double pointHeight = 0;
  int requestedDepth = 32;
  int frames = 1;
  // Bumped whenever the pixels change, so a desktop can cache its conversion.
  std::uint64_t generation = 0;
};

}  // namespace larkspur
