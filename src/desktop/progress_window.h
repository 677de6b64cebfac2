// The progress window "進行状況" with its caption and cancel button.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>

#include <memory>

#include "core/cancel.h"

namespace pixtable {

inline constexpr const char kProgressTitle[] = "進行状況";
inline constexpr const char kCancelLabel[] = "キャンセル";

/// The progress window. `caption` shows the progress text; `cancel_button`
/// asks the run to stop.
struct ProgressWindow {
  std::unique_ptr<Fl_Double_Window> window;
  Fl_Box* caption = nullptr;    ///< Owned by `window`.
  Fl_Button* cancel_button = nullptr;  ///< Owned by `window`.
};

/// Sets the `CancelFlagToken` passed as `data`. Nothing else: the window
/// stays until the run notices the token.
void OnCancelClicked(Fl_Widget* button, void* data);

/// Builds the window (client area 234x73), not yet shown. A click on
/// `cancel_button` sets `cancel`; closing the window otherwise does nothing.
ProgressWindow MakeProgressWindow(CancelFlagToken& cancel);

/// Shows `form` without waiting for the user, and returns once it has been
/// mapped and drawn.
void MapProgressWindow(ProgressWindow& form);

/// Sets the text of `caption`. The label keeps its size; when the text would
/// not fit in the usual font, it gets the largest smaller one in which it
/// does, so that the text is always whole ("解析中・・・(134217728/134217728)"
/// included).
void SetProgressCaption(ProgressWindow& form, const char* text);

}  // namespace pixtable
