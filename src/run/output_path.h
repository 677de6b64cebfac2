// Naming the output file.
#pragma once

#include <string>

namespace pixtable {

/// The path of the HTML file for the picture at `input`: its last extension
/// replaced by ".html", or ".html" appended when the file name has none.
/// Both "/" and "\" end a directory name, so a dot in a directory is not an
/// extension.
std::string DeriveOutputPath(const std::string& input);

/// The HTML file for the picture at `input` in the folder `dir`: the
/// derived name of its last path component ("out" and "pics/a.bmp" give
/// "out/a.html").
std::string OutputPathIn(const std::string& dir, const std::string& input);

}  // namespace pixtable
