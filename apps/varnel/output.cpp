// SPDX-License-Identifier: Apache-2.0
// Conversions of the texts the tool shows.
#include "output.h"

#include "csv_table.h"


namespace varnel::cli {
namespace {

// The code points of bytes 0x80..0x9F in Windows-1252 (0 where undefined).
const char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& Out, char32_t c) {
  if (c < 0x80) {
    Out += static_cast<char>(c);
  } else if (c < 0x800) {
    Out += static_cast<char>(0xC0 | (c >> 6));
    Out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    Out += static_cast<char>(0xE0 | (c >> 12));
    Out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (c >> 18));
    Out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendEscaped(std::string& Out, unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  Out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
}

}  // namespace

std::string ToUtf8(const std::string& Text) {
  std::string Out;
  for (unsigned char c : Text) {
    const char32_t Point = c >= 0x80 && c < 0xA0 ? kHighControls[c - 0x80] : c;
    AppendUtf8(Out, Point ? Point : 0xFFFD);
  }
  return Out;
}

namespace {

// The code point of the UTF-8 sequence at Text[i], advancing i past it;
// 0xFFFD for a byte that does not start a well-formed sequence.
char32_t NextCodePoint(const std::string& Text, std::size_t& i) {
  const auto Lead = static_cast<unsigned char>(Text[i++]);
  if (Lead < 0x80) return Lead;
  const int More = Lead >= 0xF0 ? 3 : Lead >= 0xE0 ? 2 : Lead >= 0xC2 ? 1 : -1;
  if (More < 0 || Lead > 0xF4) return 0xFFFD;
  char32_t Point = Lead & (0x3F >> More);
  for (int m = 0; m < More; ++m) {
    if (i >= Text.size() || (static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) return 0xFFFD;
    Point = (Point << 6) | (static_cast<unsigned char>(Text[i++]) & 0x3F);
  }
  return Point;
}

char ByteOf(char32_t Point) {
  if (Point < 0x80 || (Point >= 0xA0 && Point < 0x100)) return static_cast<char>(Point);
  for (int b = 0; b < 32; ++b) {
    if (kHighControls[b] != 0 && kHighControls[b] == Point) return static_cast<char>(0x80 + b);
  }
  return '?';
}

}  // namespace

std::string ToWindows1252(const std::string& Text) {
  std::string Out;
  for (std::size_t i = 0; i < Text.size();) Out += ByteOf(NextCodePoint(Text, i));
  return Out;
}

std::string ValidUtf8(const std::string& Text) {
  std::string Out;
  for (std::size_t i = 0; i < Text.size();) {
    const std::size_t Start = i;
    const char32_t Point = NextCodePoint(Text, i);
    const std::size_t Length = i - Start;
    const bool Overlong = (Length == 3 && Point < 0x800) || (Length == 4 && Point < 0x10000);
    const bool Invalid = Overlong || Point > 0x10FFFF || (Point >= 0xD800 && Point < 0xE000);
    AppendUtf8(Out, Invalid ? 0xFFFD : Point);
  }
  return Out;
}

std::string TerminalLineEnds(const std::string& Text) {
  std::string Out;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\r') {
      Out += Text[i];
    } else if (i + 1 >= Text.size() || Text[i + 1] != '\n') {
      Out += '\n';
    }
  }
  return Out;
}

std::string Quoted(const std::string& Name) { return "\"" + Printable(Name, kShownCellBytes) + "\""; }

std::string Printable(const std::string& Text, std::size_t MaxBytes) {
  const bool Cut = Text.size() > MaxBytes;
  const std::size_t End = Cut ? MaxBytes : Text.size();
  std::string Out;
  for (std::size_t i = 0; i < End; ++i) {
    const auto c = static_cast<unsigned char>(Text[i]);
    const auto Next = i + 1 < Text.size() ? static_cast<unsigned char>(Text[i + 1]) : 0u;
    if (c == 0xC2 && Next >= 0x80 && Next < 0xA0) {  // a C1 control in UTF-8
      AppendEscaped(Out, c);
      AppendEscaped(Out, static_cast<unsigned char>(Text[++i]));
    } else if (c < 0x20 || c == 0x7F) {
      AppendEscaped(Out, c);
    } else {
      Out += static_cast<char>(c);
    }
  }
  return Cut ? Out + "..." : Out;
}

std::string ShownComponentText(const std::string& Text, bool Raw) {
  std::string Shown = Raw ? Text : TerminalLineEnds(ToUtf8(Text));
  if (Shown.empty() || Shown.back() != '\n') Shown += Raw ? "\r\n" : "\n";
  return Shown;
}

}  // namespace varnel::cli
