// The published-property registry.
#include "platform/ui/published.h"

#include <cctype>

#include "platform/base/strings.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/timer.h"

namespace {
std::vector<TPropInfo>& Registry() {
  static auto* v = new std::vector<TPropInfo>();
  return *v;
}

bool SameNameCI(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

void RegisterBuiltIns() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterStringProperty<TComponent>("Name", [](TComponent* c, const std::string& v) { c->SetName(v); },
                                     [](const TComponent* c) { return c->Name(); });
  RegisterIntegerProperty<TComponent>("Tag", [](TComponent* c, int64_t v) { c->SetTag(static_cast<int32_t>(v)); },
                                      [](const TComponent* c) { return int64_t(c->Tag()); });
  RegisterStringProperty<TControl>("Caption", [](TControl* c, const std::string& v) { c->SetCaption(v); },
                                   [](const TControl* c) { return c->Caption(); });
  RegisterStringProperty<TControl>("Text", [](TControl* c, const std::string& v) { c->SetText(v); },
                                   [](const TControl* c) { return c->Text(); });
  RegisterStringProperty<TControl>("Hint", [](TControl* c, const std::string& v) { c->SetHint(v); },
                                   [](const TControl* c) { return c->Hint(); });
  RegisterIntegerProperty<TControl>("Left", [](TControl* c, int64_t v) { c->SetLeft(static_cast<int32_t>(v)); },
                                    [](const TControl* c) { return int64_t(c->Left()); });
  RegisterIntegerProperty<TControl>("Top", [](TControl* c, int64_t v) { c->SetTop(static_cast<int32_t>(v)); },
                                    [](const TControl* c) { return int64_t(c->Top()); });
  RegisterIntegerProperty<TControl>("Width", [](TControl* c, int64_t v) { c->SetWidth(static_cast<int32_t>(v)); },
                                    [](const TControl* c) { return int64_t(c->Width()); });
  RegisterIntegerProperty<TControl>("Height", [](TControl* c, int64_t v) { c->SetHeight(static_cast<int32_t>(v)); },
                                    [](const TControl* c) { return int64_t(c->Height()); });
  RegisterIntegerProperty<TControl>("HelpContext",
                                    [](TControl* c, int64_t v) { c->SetHelpContext(static_cast<int32_t>(v)); },
                                    [](const TControl* c) { return int64_t(c->HelpContext()); });
  // Colours and cursors are integer types of the class library.
  RegisterIntegerProperty<TControl>("Color", [](TControl* c, int64_t v) { c->SetColor(static_cast<TColor>(v)); },
                                    [](const TControl* c) { return int64_t(c->Color()); });
  RegisterIntegerProperty<TControl>("Cursor", [](TControl* c, int64_t v) { c->SetCursor(static_cast<TCursor>(v)); },
                                    [](const TControl* c) { return int64_t(c->Cursor()); });
  for (const char* n : {"Visible", "Enabled", "ShowHint", "ParentShowHint", "ParentColor", "ParentFont", "AutoSize"})
    RegisterOtherProperty<TControl>(n, TTypeKind::tkEnumeration);
  for (const char* n : {"Font", "PopupMenu", "Constraints"}) RegisterOtherProperty<TControl>(n, TTypeKind::tkClass);
  RegisterOtherProperty<TControl>("Align", TTypeKind::tkEnumeration);
  RegisterOtherProperty<TControl>("Anchors", TTypeKind::tkSet);
  for (const char* n : {"OnClick", "OnDblClick", "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnResize"})
    RegisterOtherProperty<TControl>(n, TTypeKind::tkMethod);
  RegisterIntegerProperty<TWinControl>("TabOrder",
                                       [](TWinControl* c, int64_t v) { c->SetTabOrder(static_cast<int32_t>(v)); },
                                       [](const TWinControl* c) { return int64_t(c->TabOrder()); });
  RegisterOtherProperty<TWinControl>("TabStop", TTypeKind::tkEnumeration);

  RegisterStringProperty<TMenuItem>("Caption", [](TMenuItem* c, const std::string& v) { c->SetCaption(v); },
                                    [](const TMenuItem* c) { return c->Caption(); });
  RegisterStringProperty<TMenuItem>("Hint", [](TMenuItem* c, const std::string& v) { c->SetHint(v); },
                                    [](const TMenuItem* c) { return c->Hint(); });
  RegisterIntegerProperty<TMenuItem>("ImageIndex",
                                     [](TMenuItem* c, int64_t v) { c->SetImageIndex(static_cast<int32_t>(v)); },
                                     [](const TMenuItem* c) { return int64_t(c->ImageIndex()); });
  RegisterIntegerProperty<TMenuItem>("ShortCut",
                                     [](TMenuItem* c, int64_t v) { c->SetShortCut(static_cast<TShortCut>(v)); },
                                     [](const TMenuItem* c) { return int64_t(c->ShortCut()); });
  RegisterIntegerProperty<TMenuItem>("GroupIndex",
                                     [](TMenuItem* c, int64_t v) { c->SetGroupIndex(static_cast<uint8_t>(v)); },
                                     [](const TMenuItem* c) { return int64_t(c->GroupIndex()); });
  for (const char* n : {"Checked", "RadioItem", "Visible", "Enabled", "AutoCheck", "Default", "Break"})
    RegisterOtherProperty<TMenuItem>(n, TTypeKind::tkEnumeration);
  RegisterIntegerProperty<TTimer>("Interval", [](TTimer* c, int64_t v) { c->SetInterval(static_cast<uint32_t>(v)); },
                                  [](const TTimer* c) { return int64_t(c->Interval()); });
  RegisterIntegerProperty<TColorDialog>("Color", [](TColorDialog* c, int64_t v) { c->SetColor(static_cast<TColor>(v)); },
                                        [](const TColorDialog* c) { return int64_t(c->Color()); });
  RegisterStringsProperty<TColorDialog>("CustomColors", [](TColorDialog* c, const std::vector<std::string>& v) {
    c->CustomColors() = v;
  });
}
}  // namespace

void RegisterPropInfo(TPropInfo Info) {
  RegisterBuiltIns();
  Registry().push_back(std::move(Info));
}

const TPropInfo* GetPropInfo(const TComponent* Component, const std::string& Name) {
  if (!Component || Name.empty()) return nullptr;
  RegisterBuiltIns();
  auto& r = Registry();
  // Later registrations are more specific: search from the end.
  for (auto it = r.rbegin(); it != r.rend(); ++it)
    if (SameNameCI(it->Name, Name) && it->AppliesTo && it->AppliesTo(Component)) return &*it;
  return nullptr;
}

bool SetPropertyFromText(TComponent* Component, const std::string& Name, const std::string& Value) {
  const TPropInfo* p = GetPropInfo(Component, Name);
  if (!p) return false;
  switch (p->Kind) {
    case TTypeKind::tkInteger:
      if (!p->SetOrd) return false;
      p->SetOrd(Component, StrToInt(Value));
      return true;
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
      if (!p->SetStr) return false;
      p->SetStr(Component, Value);
      return true;
    case TTypeKind::tkClass:
      if (p->IsStrings && p->SetStrings) {
        p->SetStrings(Component, std::vector<std::string>{Value});
        return true;
      }
      return false;
    default: return false;
  }
}

bool SetStringsProperty(TComponent* Component, const std::string& Name, const std::vector<std::string>& Lines) {
  const TPropInfo* p = GetPropInfo(Component, Name);
  if (!p || !p->IsStrings || !p->SetStrings) return false;
  p->SetStrings(Component, Lines);
  return true;
}
