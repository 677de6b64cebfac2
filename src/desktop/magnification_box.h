// The modal box that asks for the magnification.
#pragma once

#include <string>

namespace pixtable {

/// Shows `prompt` with an edit field holding "1" (selected), OK and Cancel,
/// titled `title`; waits for the answer. Returns the edited text on OK, ""
/// on Cancel, when the box is closed or when a cancel signal arrives. Keys that are held down when the box
/// opens (the start-up keys) type nothing until they are released.
std::string AskMagnificationBox(const std::string& prompt, const char* title);

}  // namespace pixtable
