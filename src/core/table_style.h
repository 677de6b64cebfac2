// How a table looks apart from its cells.
#pragma once

#include <cstdint>

namespace pixtable {

/// The background of a table that has none: every cell carries its colour
/// (the user asked so, or the picture has transparent pixels).
inline constexpr int32_t kNoBackground = -1;

/// The table's size on the page and its own colour, as the writer takes them.
struct TableStyle {
  /// Scales the table's width and height: the user's 1 to 10, times the
  /// scale of a reduced picture.
  int32_t magnification = 1;
  /// The table's colour 0x00RRGGBB, which its cells of that colour leave
  /// out, or kNoBackground.
  int32_t background = kNoBackground;
};

}  // namespace pixtable
