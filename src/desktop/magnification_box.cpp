#include "desktop/magnification_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "desktop/modal.h"

namespace pixtable {
namespace {

/// An edit field that ignores the key repeat of the start-up keys: a key
/// that was down when the field appeared types nothing until it goes up.
class AnswerInput : public Fl_Input {
 public:
  AnswerInput(int x, int y, int w, int h) : Fl_Input(x, y, w, h) {
    for (int i = 0; i < kKeys; ++i) held_[i] = Fl::get_key(kStartKeys[i]) != 0;
  }

  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_KEYUP) {
      for (int i = 0; i < kKeys; ++i) {
        if (!held_[i] || Fl::event_key() != kStartKeys[i]) continue;
        // X may report a repeat as a release and a press; ask the server.
        if (event == FL_KEYUP && !Fl::get_key(kStartKeys[i])) held_[i] = false;
        return 1;
      }
    }
    return Fl_Input::handle(event);
  }

 private:
  static constexpr int kKeys = 2;
  static constexpr int kStartKeys[kKeys] = {'z', 'x'};
  bool held_[kKeys] = {};
};

struct Answer {
  Fl_Double_Window* window = nullptr;
  bool ok = false;
};

void OnOk(Fl_Widget*, void* data) {
  auto* answer = static_cast<Answer*>(data);
  answer->ok = true;
  answer->window->hide();
}

void OnCancel(Fl_Widget*, void* data) { static_cast<Answer*>(data)->window->hide(); }

}  // namespace

std::string AskMagnificationBox(const std::string& prompt, const char* title) {
  constexpr int kMargin = 12, kButtonW = 80, kButtonH = 25, kFieldH = 25;
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  const int text_w = std::max(240, static_cast<int>(fl_width(prompt.c_str())) + 4);
  const int w = kMargin + text_w + kMargin + kButtonW + kMargin;
  const int h = kMargin + 2 * kButtonH + 8 + 20 + kFieldH + kMargin;

  Answer answer;
  Fl_Double_Window window(w, h, title);
  answer.window = &window;
  Fl_Box text(kMargin, kMargin, text_w, 2 * kButtonH, nullptr);
  text.copy_label(prompt.c_str());
  text.align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  Fl_Return_Button ok(w - kMargin - kButtonW, kMargin, kButtonW, kButtonH, "OK");
  ok.callback(OnOk, &answer);
  Fl_Button cancel(w - kMargin - kButtonW, kMargin + kButtonH + 6, kButtonW, kButtonH, "キャンセル");
  cancel.callback(OnCancel, &answer);
  AnswerInput input(kMargin, h - kMargin - kFieldH, w - 2 * kMargin, kFieldH);
  input.value("1");
  window.end();
  window.callback(OnCancel, &answer);  // Closing or Escape: cancel.
  window.set_modal();
  window.position((Fl::w() - w) / 2, (Fl::h() - h) / 3);

  window.show();
  input.take_focus();
  input.position(1, 0);  // "1" selected, so typing replaces it.
  RunModal(window);
  return answer.ok ? std::string(input.value()) : std::string();
}

}  // namespace pixtable
