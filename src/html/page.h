// A whole HTML document around the table, for a preview in a browser or a
// page of its own.
#pragma once

#include <string>
#include <string_view>

namespace pixtable {

/// The text before and after the table.
struct PageFrame {
  std::string head, tail;
};

/// A page titled `title`: the HTML5 doctype, UTF-8 declared, the title, a
/// body without margin, the table, the end. The title's "&", "<" and ">"
/// become references; bytes that are not UTF-8 and control characters
/// become U+FFFD, so the page stays valid whatever the name holds.
PageFrame PageAround(std::string_view title);

}  // namespace pixtable
