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
#include <system_error>

#include "desktop/dialog_names.h"
#include "desktop/message_box.h"
#include "desktop/modal.h"

namespace pixtable {
namespace fs = std::filesystem;

namespace {

constexpr const char kMissingFile[] = "\nファイルが見つかりません。\nファイル名を確認してください。";

/// The dialog's widgets and the folder it shows.
struct Dialog {
  Fl_Double_Window* window = nullptr;
  Fl_Input* folder_field = nullptr;
  Fl_Hold_Browser* list = nullptr;
  Fl_Input* name_field = nullptr;
  std::string folder;
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
  for (const std::string& entry : ListDialogEntries(folder)) d.list->add(entry.c_str());
}

/// The open button: a folder is entered, an existing file ends the dialog,
/// anything else is refused and the dialog stays.
void Accept(Dialog& d) {
  const std::string typed = d.name_field->value();
  if (typed.empty()) return;
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
      ShowMessageBox(typed + kMissingFile, kAppTitle);
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

/// A click picks a file; a double click opens a folder or a file.
void OnListClick(Fl_Widget*, void* data) {
  auto& d = *static_cast<Dialog*>(data);
  const int line = d.list->value();
  if (line <= 0) return;
  const std::string entry = d.list->text(line);
  const bool is_folder = entry.back() == '/';
  if (!is_folder) d.name_field->value(entry.c_str());
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

  Fl_Double_Window window(kW, kH, kOpenDialogTitle);
  d.window = &window;
  Fl_Box folder_label(kM, kM, kLabelW, kRowH, "ファイルの場所(I):");
  folder_label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  Fl_Input folder_field(kM + kLabelW, kM, kFieldW, kRowH);
  folder_field.when(FL_WHEN_ENTER_KEY);
  folder_field.callback(OnFolderTyped, &d);
  d.folder_field = &folder_field;
  Fl_Button up(kButtonX, kM, kButtonW, kRowH, "上へ");
  up.callback(OnUp, &d);

  const int list_y = 2 * kM + kRowH, list_h = kH - list_y - 2 * kRowH - 3 * kM;
  Fl_Hold_Browser list(kM, list_y, kW - 2 * kM, list_h);
  list.when(FL_WHEN_RELEASE_ALWAYS);
  list.callback(OnListClick, &d);
  d.list = &list;

  const int name_y = list_y + list_h + kM, type_y = name_y + kRowH + kM;
  Fl_Box name_label(kM, name_y, kLabelW, kRowH, "ファイル名(N):");
  name_label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  Fl_Input name_field(kM + kLabelW, name_y, kFieldW, kRowH);
  d.name_field = &name_field;
  Fl_Return_Button open(kButtonX, name_y, kButtonW, kRowH, "開く(O)");
  open.callback(OnOpen, &d);

  Fl_Box type_label(kM, type_y, kLabelW, kRowH, "ファイルの種類(T):");
  type_label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  // One filter. A menu item label is shown as written; nothing parses it.
  Fl_Menu_Item types[] = {{kOpenDialogFilter, 0, nullptr, nullptr, 0, 0, 0, 0, 0}, {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}};
  Fl_Choice type(kM + kLabelW, type_y, kFieldW, kRowH);
  type.menu(types);
  type.value(0);
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
