#include "desktop/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "desktop/modal.h"

namespace pixtable {
namespace {

void Close(Fl_Widget*, void* window) { static_cast<Fl_Window*>(window)->hide(); }

/// Ctrl+C copies the message, so that a path in it can be pasted elsewhere.
class MessageWindow : public Fl_Double_Window {
 public:
  MessageWindow(int w, int h, const char* title, const std::string& text)
      : Fl_Double_Window(w, h, title), text_(text) {}

  int handle(int event) override {
    if (event == FL_SHORTCUT && Fl::event_state(FL_CTRL) && Fl::event_key() == 'c') {
      Fl::copy(text_.c_str(), static_cast<int>(text_.size()), 1);
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  std::string text_;
};

}  // namespace

void ShowMessageBox(const std::string& text, const char* title) {
  constexpr int kMargin = 16, kButtonW = 80, kButtonH = 25, kMaxTextW = 560;
  // Long texts wrap at blanks rather than make a box wider than the screen.
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  int text_w = kMaxTextW, text_h = 0;
  fl_measure(text.c_str(), text_w, text_h, 0);
  text_w = std::min(text_w, std::max(kMaxTextW, Fl::w() - 4 * kMargin));
  text_w = std::max(text_w, 200);
  const int w = kMargin + text_w + kMargin;
  const int h = kMargin + text_h + kMargin + kButtonH + kMargin;

  MessageWindow window(w, h, title, text);
  Fl_Box message(kMargin, kMargin, text_w, text_h);
  message.copy_label(text.c_str());
  message.align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  Fl_Return_Button ok((w - kButtonW) / 2, h - kMargin - kButtonH, kButtonW, kButtonH, "OK");
  ok.callback(Close, &window);
  window.end();
  window.callback(Close, &window);
  window.set_modal();
  window.position((Fl::w() - w) / 2, (Fl::h() - h) / 3);
  window.show();
  ok.take_focus();
  RunModal(window);
}

}  // namespace pixtable
