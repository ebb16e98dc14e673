#include "controls/kv_labels.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "controls/kv_first_cut.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

using namespace kvfirst;

extern char** environ;

std::function<bool(const std::string& Address)> KvOpenURLHook;

bool KvOpenURL(const std::string& Address) {
  std::string a = Trim(Address);
  if (a.empty()) return false;
  if (KvOpenURLHook) return KvOpenURLHook(a);
  // An argument vector, never a shell line: the address cannot inject commands.
  std::string prog = "xdg-open";
  char* argv[] = {prog.data(), a.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // Reaped in the background so no zombie stays behind and the GUI never waits for the browser.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return true;
}

// ---- Labels ------------------------------------------------------------------------------------------

TKvLabel::TKvLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  RegisterKvLabelsProperties();
  SetBounds(0, 0, 65, 13);
}

void TKvLabel::SetAlignment(uint32_t v) {
  FAlignment = v;
  Invalidate();
}

void TKvLabel::SetTransparent(bool v) {
  FTransparent = v;
  Invalidate();
}

void TKvLabel::SetText(const std::string& Value) {
  TGraphicControl::SetText(Value);
  AdjustSize();
  Invalidate();
}

void TKvLabel::AdjustSize() {
  if (!AutoSize() || FAlignment != DT_LEFT) return;
  TBitmap b;
  b.SetWidth(1);
  b.SetHeight(1);
  TCanvas c(&b);
  c.Font()->Assign(*Font());
  TSize s = c.TextExtent(Caption().empty() ? " " : Caption());
  SetBounds(Left(), Top(), s.cx, s.cy);
}

void TKvLabel::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  if (!FTransparent) Fill(C, r, Color());
  DrawCaption(C, this, Caption(), r, FAlignment | DT_SINGLELINE, Enabled() ? Font()->Color() : clGrayText);
}

TKvURLLabel::TKvURLLabel(TComponent* AOwner) : TKvLabel(AOwner) {
  SetCursor(crHandPoint);
  Font()->SetColor(clBlue);
}

void TKvURLLabel::Click() {
  TKvLabel::Click();
  KvOpenURL(FURL);
}

void TKvURLLabel::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  if (!FTransparent) Fill(C, r, Color());
  C->Font()->Assign(*Font());
  TFontStyles st = Font()->Style();
  st.Include(TFontStyle::fsUnderline);
  TFont f;
  f.Assign(*Font());
  f.SetStyle(st);
  f.SetColor(FHot ? FHighlightColor : Font()->Color());
  C->Font()->Assign(f);
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, f.Color());
  DrawText(C, Caption(), r, FAlignment | DT_SINGLELINE);
}

void TKvURLLabel::CMMouseEnter(TMessage& Message) {
  TKvLabel::CMMouseEnter(Message);
  FHot = true;
  Invalidate();
}

void TKvURLLabel::CMMouseLeave(TMessage& Message) {
  TKvLabel::CMMouseLeave(Message);
  FHot = false;
  Invalidate();
}


void RegisterKvLabelsProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterStringProperty<TKvURLLabel>("URL", [](TKvURLLabel* c, const std::string& v) { c->SetURL(v); },
                                      [](const TKvURLLabel* c) { return c->URL(); });
}
