#include "imaging/dialogs/open_dialog.h"

#include <algorithm>

#include "controls/kv_checks.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/foundation/helpers.h"
#include "imaging/io/file_formats.h"
#include "platform/ui/timer.h"

namespace {

std::string Lower(std::string S) {
  for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}

// The 22 options map to the chooser flags of the same names.
const uint32_t kOptionFlags[22] = {
    0x00000001, 0x00000002, 0x00000004, 0x00000008, 0x00000010, 0x00000100, 0x00000200, 0x00000400,
    0x00000800, 0x00001000, 0x00002000, 0x00004000, 0x00008000, 0x00010000, 0x00020000, 0x00040000,
    0x00080000 /* old style: the explorer flag, toggled below */, 0x00100000, 0x00400000, 0x00800000,
    0x02000000, 0x10000000};

// The text from the pattern's second character up to its first ';' (".tif" of "*.tif;*.tiff").
std::string PatternExtension(const std::string& Pattern) {
  if (Pattern.size() < 2) return {};
  std::string s = Pattern.substr(1);
  size_t semi = s.find(';');
  return semi == std::string::npos ? s : s.substr(0, semi);
}

}  // namespace

std::string QxBuildFilter(TQxFilterKind Kind, TMsgLanguage Language) {
  QxUpdateGifFormatCapability();
  const bool open = Kind == TQxFilterKind::fkOpen;
  std::string common, entries;
  for (int32_t i = 0; i < QxFileFormatCount(); ++i) {
    TQxFileFormatInfo* e = QxFileFormatAt(i);
    if (!e || e->ExtensionList.empty()) continue;
    if (open ? !e->ReadRoutine : !e->WriteRoutine) continue;
    std::string pattern;
    size_t start = 0;
    const std::string& list = e->ExtensionList;
    while (start <= list.size()) {
      size_t semi = list.find(';', start);
      if (semi == std::string::npos) semi = list.size();
      if (semi > start) pattern += (pattern.empty() ? "*." : ";*.") + Lower(list.substr(start, semi - start));
      start = semi + 1;
    }
    if (pattern.empty()) continue;
    if (e->IsBuiltIn) common += (common.empty() ? "" : ";") + pattern;
    entries += "|" + e->DisplayName + " (" + pattern + ")|" + pattern;
  }
  common += ";*.avi";
  entries += "|" + QxMessageText(125, Language) + " (*.avi)|*.avi";
  if (open) {
    common += ";*.mpg;*.wmv";
    entries += "|Mpeg (*.mpeg;*.mpg)|*.mpeg;*.mpg|Windows Media Video (*.wmv)|*.wmv";
  }
  if (!open) return entries.substr(1);
  return QxMessageText(131, Language) + " (" + common + ")|" + common + "|" + QxMessageText(132, Language) +
         " (*.*)|*.*" + entries;
}

int32_t QxFilterIndexOfName(const std::string& Filter, const std::string& FileName) {
  std::string name = Lower(FileName);
  if (!name.empty() && name[0] == '.') name.erase(0, 1);
  std::string ext = QxLowerFileExtW(name, true);
  if (ext.empty()) return 1;
  size_t at = Filter.find(ext);
  if (at == std::string::npos) return 1;
  return static_cast<int32_t>(std::count(Filter.begin(), Filter.begin() + static_cast<ptrdiff_t>(at), '|')) / 2 + 1;
}

std::string QxFilterPattern(const std::string& Filter, int32_t Index) {
  if (Index < 1) return {};
  int32_t field = 0;
  size_t start = 0;
  while (start <= Filter.size()) {
    size_t bar = Filter.find('|', start);
    if (bar == std::string::npos) bar = Filter.size();
    if (field == (Index - 1) * 2 + 1) return Filter.substr(start, bar - start);
    ++field;
    start = bar + 1;
  }
  return {};
}

// ---- properties ----

int32_t TOpenQuillotDialog::FilterIndex() const { return FHandle ? FCurrentIndex : FFilterIndex; }

void TOpenQuillotDialog::SetInitialDir(const std::string& Value) {
  std::string v = Value;
  // A bare root or drive ("/", "C:\") keeps its delimiter; any other folder loses a trailing one.
  bool afterColon = v.size() >= 2 && v[v.size() - 2] == ':';
  if (v.size() > 1 && (v.back() == '/' || v.back() == '\\') && !afterColon) v.pop_back();
  FInitialDir = v;
}

std::string TOpenQuillotDialog::FileName() const { return FHandle ? FHandle->FilePath() : FFileName; }

std::string TOpenQuillotDialog::FileSpec() const {
  return FHandle ? FHandle->Spec() : QxExtractFileNameW(FFileName);
}

void TOpenQuillotDialog::SetAlwaysAnimate(bool Value) {
  FAlwaysAnimate = Value;
  if (Value) ShowAllFrames = true;
}

// ---- running ----

bool TOpenQuillotDialog::ShowDialog() {
  if (OnCreateCustomControls) OnCreateCustomControls(this);
  struct TDone {
    TOpenQuillotDialog* D;
    ~TDone() {
      if (D->OnDestroyCustomControls) D->OnDestroyCustomControls(D);
    }
  } done{this};
  FTemplateName = "IDD_QXTEMPLATE";
  SetPaneTexts();
  PreviewCheck->SetVisible(true);
  if (AutoSetFilter) Filter = QxBuildFilter(TQxFilterKind::fkOpen, MsgLanguage);
  return RunFileDialog(false);
}

bool TOpenQuillotDialog::RunFileDialog(bool Save) {
  FSaveKind = Save;
  PlayButton->SetVisible(!FAlwaysAnimate);
  PreviewFrameIndex = 0;
  FFiles->Clear();
  FWideFiles.clear();
  if (FFilterIndex == 0) FFilterIndex = QxFilterIndexOfName(Filter, FFileName);
  FCurrentIndex = FFilterIndex;
  FCurrentPattern = QxFilterPattern(Filter, FCurrentIndex);

  TOpenFileNameData d;
  d.Save = Save;
  d.Title = Title;
  d.InitialDir = FInitialDir;
  d.Filter = Filter;
  d.FilterIndex = FFilterIndex;
  d.FileName = FFileName;
  const bool oldStyle = Options.Contains(TOpenOption::ofOldStyleDialog);
  uint32_t flags = OFN_ENABLEHOOK;
  for (int i = 0; i < 22; ++i)
    if (Options.Contains(static_cast<TOpenOption>(i))) flags |= kOptionFlags[i];
  flags ^= OFN_EXPLORER;
  d.Flags = flags;
  d.FlagsEx = ShowPlacesBar ? 0 : OFN_EX_NOPLACESBAR;
  std::string ext = DefaultExt;
  if (ext.empty() && oldStyle) ext = QxLowerFileExtW(FFileName, false);
  if (ext.empty()) ext = PatternExtension(QxFilterPattern(Filter, FCurrentIndex));
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  d.DefaultExt = ext;
  if (!FTemplateName.empty()) {
    // Room for the picture panel at the right and the information panel below.
    d.TemplateWidth = FShowPreview ? 245 : 0;
    d.TemplateHeight = 64;
  }
  d.Hook = MakeHook(!oldStyle);
  const TQxFileDialogFunction& fn = DialogFunction ? DialogFunction : QxFileDialogFunction;
  bool ok = RunModal(fn, d);
  if (!ok) return false;
  CollectNames(d.FileName);
  std::string gotExt = QxLowerFileExtW(FFileName, false);
  if (!ext.empty() && Lower(ext) != gotExt) Options.Include(TOpenOption::ofExtensionDifferent);
  else Options.Exclude(TOpenOption::ofExtensionDifferent);
  if (d.Flags & OFN_READONLY) Options.Include(TOpenOption::ofReadOnly);
  else Options.Exclude(TOpenOption::ofReadOnly);
  FFilterIndex = d.FilterIndex;
  // The entry the chooser ended on (also when no chooser window reported its changes).
  FCurrentIndex = d.FilterIndex;
  FCurrentPattern = QxFilterPattern(Filter, FCurrentIndex);
  return true;
}

void TOpenQuillotDialog::CollectNames(const std::string& Buffer) {
  FFiles->Clear();
  FWideFiles.clear();
  auto add = [this](const std::string& S) {
    FFiles->Add(S);
    FWideFiles.push_back(S);
  };
  if (!Options.Contains(TOpenOption::ofAllowMultiSelect)) {
    FFileName = Buffer.substr(0, Buffer.find('\0'));
    add(FFileName);
    return;
  }
  const char sep = Options.Contains(TOpenOption::ofOldStyleDialog) ? ' ' : '\0';
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= Buffer.size()) {
    size_t at = Buffer.find(sep, start);
    if (at == std::string::npos) at = Buffer.size();
    if (at > start) parts.push_back(Buffer.substr(start, at - start));
    start = at + 1;
  }
  if (parts.empty()) return;
  if (parts.size() == 1) {
    FFileName = parts[0];
    add(FFileName);
    return;
  }
  const std::string& folder = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& f = parts[i];
    bool absolute = (!f.empty() && (f[0] == '/' || f[0] == '\\')) || (f.size() >= 4 && f[1] == ':' && f[2] == '\\');
    if (absolute) add(f);
    else add(folder + (folder.empty() || folder.back() == '/' || folder.back() == '\\' ? "" : "/") + f);
  }
  FFileName = FFiles->Strings(0);
}

std::string TOpenQuillotDialog::EditTextWithFolder() const {
  if (!FHandle) return FFileName;
  return QxExtractFilePathW(FHandle->FilePath()) + FHandle->Spec();
}

std::string TOpenQuillotDialog::FirstQuotedName() const {
  if (!FHandle) return {};
  std::string spec = FHandle->Spec() + " ";
  if (spec.empty() || spec[0] != '"') return {};
  std::string name;
  bool quoted = false;
  for (char c : spec) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ' ' && !quoted) break;
    name += c;
  }
  if (name.empty()) return {};
  return QxExtractFilePathW(FHandle->FilePath()) + name;
}

// ---- notifications ----

void TOpenQuillotDialog::HandleDialogMessage(TMessage& M) {
  M.Result = 0;
  const bool explorer = !Options.Contains(TOpenOption::ofOldStyleDialog);
  if (M.Msg == WM_INITDIALOG && explorer) return;
  if (M.Msg == WM_NOTIFY && M.LParam) {
    auto* n = reinterpret_cast<TOFNotify*>(M.LParam);
    switch (n->Code) {
      case CDN_TYPECHANGE: {
        int32_t idx = FHandle ? FHandle->TypeIndex() : FCurrentIndex;
        FCurrentPattern = QxFilterPattern(Filter, idx);
        if (FHandle) {
          std::string ext = PatternExtension(FCurrentPattern);
          FHandle->Perform(CDM_SETDEFEXT, 0, reinterpret_cast<intptr_t>(&ext));
        }
        if (idx != FCurrentIndex) {
          FCurrentIndex = idx;
          DoTypeChange();
        }
        break;
      }
      case CDN_FILEOK: {
        CollectNames(FHandle ? FHandle->FilePath() : FFileName);
        bool ok = CanClose();
        FFiles->Clear();
        FWideFiles.clear();
        if (!ok) {
          M.Result = 1;
          return;
        }
        break;
      }
      case CDN_FOLDERCHANGE: DoFolderChange(); break;
      case CDN_SELCHANGE: DoSelectionChange(); break;
      case CDN_INITDONE:
        FCurrentPattern = QxFilterPattern(Filter, FCurrentIndex);
        if (FTimer) FTimer->SetEnabled(true);
        DoShow();
        break;
      default: break;
    }
  }
  TQxCommonDialog::HandleDialogMessage(M);
}

bool TOpenQuillotDialog::CanClose() {
  bool can = true;
  if (OnCanClose) OnCanClose(this, can);
  return can;
}

void TOpenQuillotDialog::DoFolderChange() {
  if (OnFolderChange) OnFolderChange(this);
}

void TOpenQuillotDialog::DoTypeChange() {
  if (OnTypeChange) OnTypeChange(this);
}
