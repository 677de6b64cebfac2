#include "cli/desktop_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/catalogue.h"
#include "os/program_folder.h"

namespace pixtable {
namespace {

constexpr const char kModuleName[] = "pixtable-desktop.so";

}  // namespace

std::unique_ptr<Ui> OpenDesktop() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  const std::string folder = ProgramFolder();
  std::string why = Fill(Tr("{1} is not installed"), {kModuleName});
  void* module = nullptr;
  // The build tree has the module beside the program; an installed program
  // finds it under its prefix (PIXTABLE_MODULE_DIR is relative to the
  // program's folder).
  for (const std::string& path : {folder + kModuleName, folder + PIXTABLE_MODULE_DIR "/" + kModuleName}) {
    if (access(path.c_str(), F_OK) != 0) continue;
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) why = dlerror();
    break;
  }
  OpenDesktopFunction open = nullptr;
  if (module && !(open = reinterpret_cast<OpenDesktopFunction>(dlsym(module, kDesktopEntry)))) why = dlerror();
  if (!open) {
    std::fprintf(stderr, "%s\n", Fill(Tr("pixtable: no windows ({1}); working in the terminal"), {why}).c_str());
    return nullptr;
  }
  // The module stays loaded until the process ends: the front end's code is in it.
  return std::unique_ptr<Ui>(open());
}

}  // namespace pixtable
