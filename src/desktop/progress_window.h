// Form1: the progress window with its label and cancel button.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>

#include <memory>

#include "core/run_state.h"

namespace pixtable {

inline constexpr const char kProgressTitle[] = "進行状況";
inline constexpr const char kCancelLabel[] = "キャンセル";

/// The progress window. `Label1` shows the progress text; `Command1` asks
/// the run to stop.
struct Form1 {
  std::unique_ptr<Fl_Double_Window> window;
  Fl_Box* Label1 = nullptr;    ///< Owned by `window`.
  Fl_Button* Command1 = nullptr;  ///< Owned by `window`.
};

/// Sets `CancelFlag` of the `RunState` passed as `data`. Nothing else: the
/// window stays until the run notices the flag.
void Command1_Click(Fl_Widget* button, void* data);

/// Builds Form1 (client area 234x73), not yet shown. A click on `Command1`
/// sets `state.CancelFlag`; closing the window otherwise does nothing.
Form1 MakeForm1(RunState& state);

/// Shows `form` without waiting for the user, and returns once it has been
/// mapped and drawn.
void ShowForm1(Form1& form);

/// Sets the text of `Label1`. The label keeps its size; when the text would
/// not fit in the usual font, it gets the largest smaller one in which it
/// does, so that the text is always whole ("解析中・・・(134217728/134217728)"
/// included).
void SetLabel1Text(Form1& form, const char* text);

}  // namespace pixtable
