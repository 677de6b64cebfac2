#include "desktop/open_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>

#include <filesystem>
#include <string_view>
#include <vector>
#include <system_error>

#include "text/display_name.h"
#include "desktop/dialog_names.h"
#include "desktop/message_box.h"
#include "desktop/modal.h"

namespace pixtable {
namespace fs = std::filesystem;

namespace {

constexpr const char kMissingFile[] = "\nファイルが見つかりません。\nファイル名を確認してください。";

bool CtrlL() { return (Fl::event_state() & FL_CTRL) != 0 && Fl::event_key() == 'l'; }

/// Length of the control character (C0, DEL, or C1 in UTF-8) at `text[i]`; 0 for any other.
size_t ControlLength(std::string_view text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x20 || c == 0x7F) return 1;
  const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
  return c1 ? 2 : 0;
}

/// A one-line field that no control character enters, typed (FLTK inserts
/// Ctrl+J, Ctrl+L, Ctrl+M as characters) or pasted. Ctrl+L is left to the
/// dialog's window.
class PathField : public Fl_Input {
 public:
  using Fl_Input::Fl_Input;
  int handle(int event) override {
    if (event == FL_KEYBOARD && CtrlL()) return 0;
    const int used = Fl_Input::handle(event);
    if (event == FL_KEYBOARD || event == FL_PASTE) DropControlCharacters();
    return used;
  }

 private:
  void DropControlCharacters() {
    const std::string_view text(value(), static_cast<size_t>(size()));
    std::string kept;
    int cursor = 0;
    for (size_t i = 0, n; i < text.size(); i += n) {
      n = ControlLength(text, i);
      if (n == 0) {
        n = 1;
        kept += text[i];
        cursor += static_cast<int>(i) < position();
      }
    }
    if (kept.size() == text.size()) return;
    value(kept.data(), static_cast<int>(kept.size()));
    position(cursor);
  }
};

/// The dialog's window: Ctrl+L, wherever the focus is, goes to the name
/// field and selects the name there, so that typing replaces it.
class DialogWindow : public Fl_Double_Window {
 public:
  using Fl_Double_Window::Fl_Double_Window;
  Fl_Input* name_field = nullptr;
  int handle(int event) override {
    if (event != FL_SHORTCUT || !CtrlL() || !name_field) return Fl_Double_Window::handle(event);
    name_field->take_focus();
    name_field->position(name_field->size(), 0);
    return 1;
  }
};

/// The dialog's widgets and the folder it shows.
struct Dialog {
  Fl_Double_Window* window = nullptr;
  Fl_Input* folder_field = nullptr;
  Fl_Hold_Browser* list = nullptr;
  Fl_Input* name_field = nullptr;
  std::string folder;
  std::vector<std::string> entries;  ///< The list's names as they are; the list shows them quoted.
  std::string picked;                ///< The file last clicked in the list.
  DialogFilter filter = DialogFilter::kBitmaps;
  std::string result;
};

void ShowFolder(Dialog& d, const std::string& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    fl_beep();
    d.folder_field->value(d.folder.c_str());
    return;
  }
  d.folder = folder;
  d.folder_field->value(folder.c_str());
  d.list->clear();
  d.picked.clear();
  d.entries = ListDialogEntries(folder, d.filter);
  for (const std::string& entry : d.entries) d.list->add(DisplayName(entry).c_str());
}

/// The open button: a folder is entered, an existing file ends the dialog,
/// anything else is refused and the dialog stays.
void Accept(Dialog& d) {
  std::string typed = d.name_field->value();
  if (typed.empty()) return;
  // A clicked name with control characters is shown quoted in the field.
  if (!d.picked.empty() && typed == DisplayName(d.picked)) typed = d.picked;
  const TypedName name = ResolveTypedName(d.folder, typed);
  switch (name.kind) {
    case TypedName::kFolder:
      ShowFolder(d, name.path);
      d.name_field->value("");
      return;
    case TypedName::kFile:
      d.result = name.path;
      d.window->hide();
      return;
    case TypedName::kMissing:
      ShowMessageBox(DisplayName(typed) + kMissingFile, kAppTitle);
      d.name_field->take_focus();
      return;
  }
}

void OnOpen(Fl_Widget*, void* data) { Accept(*static_cast<Dialog*>(data)); }

void OnCancel(Fl_Widget*, void* data) { static_cast<Dialog*>(data)->window->hide(); }

void OnFolderTyped(Fl_Widget*, void* data) {
  auto& d = *static_cast<Dialog*>(data);
  ShowFolder(d, JoinClean(d.folder, d.folder_field->value()));
}

void OnUp(Fl_Widget*, void* data) {
  auto& d = *static_cast<Dialog*>(data);
  ShowFolder(d, JoinClean(d.folder, ".."));
}

void OnFilterChosen(Fl_Widget* choice, void* data) {
  auto& d = *static_cast<Dialog*>(data);
  d.filter = static_cast<Fl_Choice*>(choice)->value() == 0 ? DialogFilter::kBitmaps : DialogFilter::kAllPictures;
  ShowFolder(d, d.folder);
}

/// A click picks a file; a double click opens a folder or a file.
void OnListClick(Fl_Widget*, void* data) {
  auto& d = *static_cast<Dialog*>(data);
  const int line = d.list->value();
  if (line <= 0) return;
  const std::string entry = d.entries.at(static_cast<size_t>(line - 1));
  const bool is_folder = entry.back() == '/';
  if (!is_folder) {
    d.picked = entry;
    d.name_field->value(DisplayName(entry).c_str());
  }
  if (!Fl::event_clicks()) return;
  if (is_folder) {
    ShowFolder(d, JoinClean(d.folder, entry));
  } else {
    Accept(d);
  }
}

}  // namespace

std::string ShowOpenDialog() {
  constexpr int kW = 560, kH = 390, kM = 10, kLabelW = 130, kRowH = 25, kButtonW = 90;
  constexpr int kFieldW = kW - 3 * kM - kLabelW - kButtonW;
  constexpr int kButtonX = kW - kM - kButtonW;
  Dialog d;
  std::error_code error;
  d.folder = fs::current_path(error).string();
  if (error) d.folder.assign(1, '/');

  DialogWindow window(kW, kH, kOpenDialogTitle);
  d.window = &window;
  Fl_Box folder_label(kM, kM, kLabelW, kRowH, "ファイルの場所(I):");
  folder_label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  PathField folder_field(kM + kLabelW, kM, kFieldW, kRowH);
  folder_field.when(FL_WHEN_ENTER_KEY);
  folder_field.callback(OnFolderTyped, &d);
  d.folder_field = &folder_field;
  Fl_Button up(kButtonX, kM, kButtonW, kRowH, "上へ");
  up.callback(OnUp, &d);

  const int list_y = 2 * kM + kRowH, list_h = kH - list_y - 2 * kRowH - 3 * kM;
  Fl_Hold_Browser list(kM, list_y, kW - 2 * kM, list_h);
  list.when(FL_WHEN_RELEASE_ALWAYS);
  list.callback(OnListClick, &d);
  list.format_char(0);  // A name starting with '@' is a name, not a formatting code.
  d.list = &list;

  const int name_y = list_y + list_h + kM, type_y = name_y + kRowH + kM;
  Fl_Box name_label(kM, name_y, kLabelW, kRowH, "ファイル名(N):");
  name_label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  PathField name_field(kM + kLabelW, name_y, kFieldW, kRowH);
  d.name_field = window.name_field = &name_field;
  Fl_Return_Button open(kButtonX, name_y, kButtonW, kRowH, "開く(O)");
  open.callback(OnOpen, &d);

  Fl_Box type_label(kM, type_y, kLabelW, kRowH, "ファイルの種類(T):");
  type_label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  // Bitmaps first, then every picture pixtable reads. A menu item label is
  // shown as written; nothing parses it.
  Fl_Menu_Item types[] = {{kOpenDialogFilter, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                          {kOpenDialogAllPictures, 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                          {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}};
  Fl_Choice type(kM + kLabelW, type_y, kFieldW, kRowH);
  type.menu(types);
  type.value(0);
  type.callback(OnFilterChosen, &d);
  Fl_Button cancel(kButtonX, type_y, kButtonW, kRowH, "キャンセル");
  cancel.callback(OnCancel, &d);

  window.end();
  window.resizable(list);
  window.callback(OnCancel, &d);  // Closing or Escape: cancel.
  window.set_modal();
  window.position((Fl::w() - kW) / 2, (Fl::h() - kH) / 3);
  ShowFolder(d, d.folder);
  window.show();
  name_field.take_focus();
  RunModal(window);
  return d.result;
}

}  // namespace pixtable
