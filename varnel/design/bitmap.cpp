// SPDX-License-Identifier: Apache-2.0
// The palette bitmap of TKorlen: a 24 × 24 device-independent bitmap with a
// 16-colour palette (4 bits a pixel), built from a picture drawn in text.
#include <array>
#include <cstdint>
#include <string>

#include "varnel/design/editor.h"

namespace varnel {
namespace {

// '.' background, '#' axes, 'o' data points, '/' the fitted line.
const char* const kPicture[24] = {
    "........................", "........................", "..#.....................",
    "..#..................//.", "..#................//o..", "..#..........o...//.....",
    "..#.............//......", "..#....o......//..o.....", "..#..........//.........",
    "..#........//...........", "..#..o...//...o.........", "..#.....//..............",
    "..#...//....o...........", "..#.//..................", "..#/..o.................",
    "..//....................", "..#.....................", "..#.....................",
    "..######################", "........................", "........................",
    "........................", "........................", "........................",
};

// Palette index of each picture character: white, black, blue, red.
int ColourIndex(char c) { return c == '#' ? 1 : c == 'o' ? 2 : c == '/' ? 3 : 0; }

void PutLittleEndian(std::string& Out, std::uint32_t Value, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

std::string BuildKorlenBitmap() {
  constexpr int kSide = 24, kRowBytes = 12, kPaletteBytes = 16 * 4;
  constexpr int kOffset = 14 + 40 + kPaletteBytes, kSize = kOffset + kRowBytes * kSide;
  const std::array<std::uint32_t, 16> Palette = {0xFFFFFF, 0x000000, 0x0000C0, 0xC00000};
  std::string Out = "BM";
  PutLittleEndian(Out, kSize, 4);
  PutLittleEndian(Out, 0, 4);
  PutLittleEndian(Out, kOffset, 4);
  for (std::uint32_t Field : {40u, 24u, 24u}) PutLittleEndian(Out, Field, 4);  // header size, width, height
  PutLittleEndian(Out, 1, 2);                                                   // planes
  PutLittleEndian(Out, 4, 2);                                                   // bits a pixel
  for (std::uint32_t Field : {0u, std::uint32_t(kRowBytes * kSide), 0u, 0u, 16u, 0u}) PutLittleEndian(Out, Field, 4);
  for (std::uint32_t Colour : Palette) PutLittleEndian(Out, Colour, 4);  // blue, green, red, 0
  for (int Row = kSide - 1; Row >= 0; --Row) {  // bottom row first
    for (int Column = 0; Column < kSide; Column += 2) {
      Out += static_cast<char>(ColourIndex(kPicture[Row][Column]) << 4 | ColourIndex(kPicture[Row][Column + 1]));
    }
  }
  return Out;
}

}  // namespace

std::string PaletteBitmap(const std::string& ResourceName) {
  return ResourceName == "TKORLEN" ? BuildKorlenBitmap() : std::string();
}

}  // namespace varnel
