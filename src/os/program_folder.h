// Where the running program lies, to find the files installed with it.
#pragma once

#include <string>

namespace pixtable {

/// The folder of the running program with a final "/", from the kernel
/// (never from argv[0], which the caller chooses); empty when unknown.
std::string ProgramFolder();

}  // namespace pixtable
