#include "desktop/progress_window.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

namespace pixtable {
namespace {

// Where the window was laid out, in pixels from the screen's top-left.
constexpr int kLeft = 155;
constexpr int kTop = 199;

/// Below this a label is no longer readable; no progress text comes near it.
constexpr int kSmallestFontSize = 8;

/// Closing the window is not a cancel; it goes when the run ends.
void IgnoreClose(Fl_Widget*, void*) {}

}  // namespace

void OnCancelClicked(Fl_Widget*, void* data) { static_cast<CancelFlagToken*>(data)->Cancel(); }

ProgressWindow MakeProgressWindow(CancelFlagToken& cancel) {
  ProgressWindow form;
  form.window = std::make_unique<Fl_Double_Window>(kLeft, kTop, 234, 73, kProgressTitle);
  form.window->callback(IgnoreClose);
  form.caption = new Fl_Box(8, 8, 217, 25, "");  // Set before the run shows progress.
  form.caption->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  form.cancel_button = new Fl_Button(152, 40, 73, 25, kCancelLabel);
  form.cancel_button->callback(OnCancelClicked, &cancel);
  form.window->end();
  // Fixed size, so no window manager offers to resize it.
  form.window->size_range(234, 73, 234, 73);
  return form;
}

void MapProgressWindow(ProgressWindow& form) {
  form.window->show();
  form.window->wait_for_expose();
  Fl::flush();
}

void SetProgressCaption(ProgressWindow& form, const char* text) {
  Fl_Box& label = *form.caption;
  label.copy_label(text);
  // FLTK draws a left-aligned label 3 pixels in from each side.
  const int room = label.w() - 6;
  int size = FL_NORMAL_SIZE;
  for (; size > kSmallestFontSize; --size) {
    fl_font(label.labelfont(), size);
    int w = 0, h = 0;
    fl_measure(text, w, h, 0);
    if (w <= room) break;
  }
  label.labelsize(size);
}

}  // namespace pixtable
