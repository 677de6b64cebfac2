// the progress window's caption on a real X server (ctest runs this under xvfb-run): the
// longest progress texts must show whole in the label's fixed 217 x 25.
#include <gtest/gtest.h>  // Before Xlib, whose macros (None, Bool) break it.

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <unistd.h>

#include <memory>

#include "desktop/desktop_ui.h"

namespace pixtable {
namespace {

/// How many columns lie between the first and the last one with dark pixels
/// in the w x h area at (x, y) of `window`, as the X server shows it.
int InkWidth(Fl_Window& window, int x, int y, int w, int h) {
  Fl::flush();
  window.make_current();
  const std::unique_ptr<uchar[]> rgb(fl_read_image(nullptr, x, y, w, h));
  int first = -1, last = -1;
  for (int column = 0; column < w; ++column) {
    for (int row = 0; row < h; ++row) {
      if (rgb[(row * w + column) * 3] >= 128) continue;
      if (first < 0) first = column;
      last = column;
    }
  }
  return first < 0 ? 0 : last - first + 1;
}

TEST(ProgressLabel, TextsStayWholeInTheLabel) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) GTEST_SKIP() << "no X display";
  DesktopUi ui(display);
  ui.ShowProgressWindow();
  Fl_Window& form = *Fl::first_window();
  Fl_Widget& label = *form.child(0);
  for (const char* text : {"解析中・・・(16358593/32000000)",
                           "解析中・・・(134217728/134217728)",
                           "出力中...(16777216/16777216)"}) {
    usleep(50'000);  // The label is redrawn at most every 40 ms.
    ui.ShowCaption(text);
    EXPECT_EQ(std::vector<int>({label.x(), label.y(), label.w(), label.h()}),
              std::vector<int>({8, 8, 217, 25}));
    // The same text in the same font in a box wide enough for anything.
    Fl_Window wide(0, 0, 600, 25);
    Fl_Box whole(0, 0, 600, 25, text);
    whole.labelfont(label.labelfont());
    whole.labelsize(label.labelsize());
    whole.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    wide.end();
    wide.show();
    wide.wait_for_expose();
    EXPECT_EQ(InkWidth(form, 8, 8, 217, 25), InkWidth(wide, 0, 0, 600, 25)) << text;
  }
  ui.UnloadProgressWindow();
}

}  // namespace
}  // namespace pixtable
