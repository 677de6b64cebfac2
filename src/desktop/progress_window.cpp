#include "desktop/progress_window.h"

#include <FL/Fl.H>

namespace pixtable {
namespace {

// Where the window was laid out, in pixels from the screen's top-left.
constexpr int kLeft = 155;
constexpr int kTop = 199;

/// Closing the window is not a cancel; it goes when the run ends.
void IgnoreClose(Fl_Widget*, void*) {}

}  // namespace

void Command1_Click(Fl_Widget*, void* data) { static_cast<RunState*>(data)->CancelFlag = true; }

Form1 MakeForm1(RunState& state) {
  Form1 form;
  form.window = std::make_unique<Fl_Double_Window>(kLeft, kTop, 234, 73, kProgressTitle);
  form.window->callback(IgnoreClose);
  form.Label1 = new Fl_Box(8, 8, 217, 25, "Label1");
  form.Label1->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  form.Command1 = new Fl_Button(152, 40, 73, 25, kCancelLabel);
  form.Command1->callback(Command1_Click, &state);
  form.window->end();
  // Fixed size, so no window manager offers to resize it.
  form.window->size_range(234, 73, 234, 73);
  return form;
}

void ShowForm1(Form1& form) {
  form.window->show();
  form.window->wait_for_expose();
  Fl::flush();
}

}  // namespace pixtable
