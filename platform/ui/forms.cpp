// TCustomForm, TApplication with the message loop, TScreen.
#include "platform/ui/forms.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/actions.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/menus_internal.h"
#include "platform/ui/timer.h"
#include "platform/ui/ui_internal.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {
struct TGlobals {
  TGlobals() {
    Application = new TApplication(nullptr);
    Screen = new TScreen(nullptr);
  }
};
TGlobals gGlobals;

std::unique_ptr<TUiBackend>& BackendSlot() {
  static auto* p = new std::unique_ptr<TUiBackend>();
  return *p;
}
}  // namespace

// ---- TCustomForm ----------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  TControl::FVisible = false;
  SetColor(clBtnFace);
  FControlStyle = TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControl::SetBounds(0, 0, 320, 240);
  if (Screen) Screen->FForms.push_back(this);
}

TCustomForm::~TCustomForm() {
  FDestroyFired = true;
  Destroying();
  if (TUiCore::MenuLoop && TUiMenuLoop::OwnsWindow(this)) TUiMenuLoop::CloseAll();
  TUiMenuLoop::FormGone(this);
  auto& pr = TUiCore::PendingRelease;
  pr.erase(std::remove(pr.begin(), pr.end(), this), pr.end());
  // Owned components go while the form is still whole.
  DestroyComponents();
  if (FActive) Deactivate();
  DropBackendWindow();
  {
    auto& v = TUiCore::Forms();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (Screen) {
    auto& v = Screen->FForms;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (Application && Application->FMainForm == this) Application->FMainForm = nullptr;
  for (TCustomForm* f : TUiCore::Forms())
    if (f != this) {
      auto& d = f->FDisabledByModal;
      d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
}

void TCustomForm::BeforeDestruction() {
  if (FDestroyFired) return;
  FDestroyFired = true;
  Destroying();
  if (OnDestroy) {
    // Nothing may leave a destructor: a failing handler is reported and dropped.
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
  }
}

void TCustomForm::DoCreate() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

void TCustomForm::CreateParams(TCreateParams& P) {
  TWinControl::CreateParams(P);
  P.Style = WS_CLIPCHILDREN | (Parent() ? WS_CHILD : 0);
  P.ExStyle = 0;
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  FBorderStyle = Value;
  if (FBackendWindow) {
    // The back end decides resizability at creation: recreate the window.
    bool vis = Visible();
    DropBackendWindow();
    if (vis) EnsureBackendWindow();
  }
}

void TCustomForm::SetWindowState(TWindowState Value) { FWindowState = Value; }

void TCustomForm::SetMenu(TMainMenu* Value) {
  if (FMenu) FMenu->RemoveFreeNotification(this);
  FMenu = Value;
  if (Value) Value->FreeNotification(this);
  Realign();
  if (!ComponentState().Contains(csLoading)) Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
  Invalidate();
}

int32_t TCustomForm::MenuBarHeight() const {
  if (!FMenu || Parent()) return 0;
  bool any = false;
  for (int32_t i = 0; i < FMenu->Items()->Count(); ++i) any = any || FMenu->Items()->Items(i)->Visible();
  return any ? GetSystemMetrics(SM_CYMENU) : 0;
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FMenu) {
    FMenu = nullptr;
    if (!ComponentState().Contains(csDestroying)) Realign();
  }
  if (AComponent == FActiveControl) FActiveControl = nullptr;
}

void TCustomForm::SetActiveControl(TWinControl* Control) { FocusControl(Control); }

void TCustomForm::FocusControl(TWinControl* Control) {
  if (Control == this) Control = nullptr;
  if (Control && GetParentForm(Control) != this) return;
  TWinControl* old = FActiveControl;
  if (Control == old && (!Showing() || !FActive || TUiCore::Focus == (Control ? Control : this))) return;
  FActiveControl = Control;
  if (!Showing() || !FActive) return;
  DoFocusChange(old, Control);
}

void TCustomForm::DoFocusChange(TWinControl* Old, TWinControl* New) {
  TWinControl* target = New ? New : this;
  TWinControl* prev = TUiCore::Focus;
  if (prev == target) return;
  TUiCore::Focus = target;
  HWND prevH = prev && prev->HandleAllocated() ? prev->Handle() : 0;
  if (prev) {
    prev->Perform(WM_KILLFOCUS, target->HandleAllocated() ? target->Handle() : 0, 0);
    if (prev == Old && prev != this) prev->Perform(CM_EXIT, 0, 0);
  }
  if (TUiCore::Focus != target) return;  // a handler moved the focus on
  target->Perform(WM_SETFOCUS, prevH, 0);
  if (New) New->Perform(CM_ENTER, 0, 0);
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<intptr_t>(New));
}

void TCustomForm::SetFocus() {
  if (!Showing()) return;
  Activate();
}

bool TCustomForm::Showing() const {
  if (Parent()) return TWinControl::Showing();
  return Visible() && FBackendWindow != 0;
}

void TCustomForm::SetVisible(bool Value) {
  if (Parent()) {
    TWinControl::SetVisible(Value);
    return;
  }
  if (Value == Visible() && (!Value || FBackendWindow)) return;
  if (Value) {
    TControl::FVisible = true;
    EnsureBackendWindow();
    auto& v = TUiCore::Forms();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.push_back(this);
    Realign();
    Perform(CM_VISIBLECHANGED, 1, 0);
    DoShow();
    Invalidate();
    if (Enabled()) Activate();
  } else {
    bool wasActive = FActive;
    if (FActive) Deactivate();
    TControl::FVisible = false;
    Perform(CM_VISIBLECHANGED, 0, 0);
    DropBackendWindow();
    auto& v = TUiCore::Forms();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    DoHide();
    if (wasActive)
      if (TCustomForm* top = TUiCore::TopForm()) top->Activate();
  }
}

void TCustomForm::EnsureBackendWindow() {
  if (FBackendWindow) return;
  TUiBackend* be = Application->Backend();
  if (!FPositioned) {
    FPositioned = true;
    TRect scr = be->ScreenRect();
    switch (FPosition) {
      case TPosition::poScreenCenter:
      case TPosition::poDesktopCenter:
        TControl::FLeft = scr.Left + (scr.Width() - Width()) / 2;
        TControl::FTop = scr.Top + (scr.Height() - Height()) / 2;
        break;
      case TPosition::poMainFormCenter:
      case TPosition::poOwnerFormCenter: {
        TCustomForm* m = Application->MainForm();
        if (FPosition == TPosition::poOwnerFormCenter)
          if (auto* o = dynamic_cast<TCustomForm*>(Owner())) m = o;
        if (m && m != this) {
          TControl::FLeft = m->Left() + (m->Width() - Width()) / 2;
          TControl::FTop = m->Top() + (m->Height() - Height()) / 2;
        } else {
          TControl::FLeft = scr.Left + (scr.Width() - Width()) / 2;
          TControl::FTop = scr.Top + (scr.Height() - Height()) / 2;
        }
        break;
      }
      default: break;
    }
  }
  HandleNeeded();
  bool popup = FBorderStyle == TFormBorderStyle::bsNone;
  bool resizable = FBorderStyle == TFormBorderStyle::bsSizeable || FBorderStyle == TFormBorderStyle::bsSizeToolWin;
  FBackendWindow = be->CreateWindow(this, BoundsRect(), popup, resizable);
  TUiCore::RegisterFormWindow(FBackendWindow, this);
  if (!popup) {
    // A modal window stays above the form it was opened over; a dialog box above its owner or the main form.
    TCustomForm* owner = FModal ? FWindowOwner : nullptr;
    if (!owner && (FBorderStyle == TFormBorderStyle::bsDialog || FBorderStyle == TFormBorderStyle::bsToolWindow)) {
      owner = dynamic_cast<TCustomForm*>(Owner());
      if (!owner || !owner->FBackendWindow) owner = Application->MainForm();
    }
    if (owner == this || (owner && !owner->FBackendWindow)) owner = nullptr;
    if (FModal || owner) be->SetWindowOwner(FBackendWindow, owner ? owner->FBackendWindow : 0, FModal);
  }
  be->SetWindowTitle(FBackendWindow, Caption());
  if (Constraints().MinWidth > 0 || Constraints().MinHeight > 0)
    be->SetMinimumSize(FBackendWindow, Constraints().MinWidth, Constraints().MinHeight);
  ResizeBackBuffer();
  be->ShowWindow(FBackendWindow, true);
  InvalidateWindowRect(Rect(0, 0, Width(), Height()));
}

void TCustomForm::DropBackendWindow() {
  if (!FBackendWindow) return;
  if (Application && Application->Backend()) Application->Backend()->DestroyWindow(FBackendWindow);
  TUiCore::UnregisterFormWindow(FBackendWindow);
  FBackendWindow = 0;
  FHasInvalid = false;
  FHasDirty = false;
  if (TUiCore::MouseControl && (TUiCore::MouseControl == this || ContainsControl(TUiCore::MouseControl)))
    TUiCore::MouseControl = nullptr;
  if (TUiCore::Capture && (TUiCore::Capture == this || ContainsControl(TUiCore::Capture))) TUiCore::Capture = nullptr;
}

void TCustomForm::ResizeBackBuffer() {
  if (!FBackendWindow) return;
  int32_t w = std::max(1, Width()), h = std::max(1, Height());
  if (!FBackBuffer) FBackBuffer = std::make_unique<TBitmap>(w, h, TPixelFormat::pf32bit);
  else if (FBackBuffer->Width() != w || FBackBuffer->Height() != h) FBackBuffer->SetSize(w, h);
}

void TCustomForm::BoundsChanged() {
  TWinControl::BoundsChanged();
  if (!Parent()) {
    ResizeBackBuffer();
    InvalidateWindowRect(Rect(0, 0, Width(), Height()));
  }
}

void TCustomForm::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FBackendWindow) Application->Backend()->SetWindowBounds(FBackendWindow, BoundsRect());
}

void TCustomForm::InvalidateWindowRect(const TRect& R) {
  if (Parent()) {
    if (TCustomForm* f = GetParentForm(Parent())) {
      TRect wr;
      if (ControlWindowRect(this, wr)) {
        TRect r = R;
        OffsetRect(r, wr.Left, wr.Top);
        f->InvalidateWindowRect(r);
      }
    }
    return;
  }
  if (!FBackendWindow) return;
  TRect r;
  if (!IntersectRect(r, R, Rect(0, 0, Width(), Height()))) return;
  if (FHasInvalid) UnionRect(FInvalid, FInvalid, r);
  else FInvalid = r;
  FHasInvalid = true;
}

void TCustomForm::MarkDirty(const TRect& R) {
  if (!FBackendWindow) return;
  if (FHasDirty) UnionRect(FDirty, FDirty, R);
  else FDirty = R;
  FHasDirty = true;
}

bool TCustomForm::NeedsPaint() const { return FBackendWindow && (FHasInvalid || FHasDirty); }

void TCustomForm::PaintNow() {
  if (!FBackendWindow || !FBackBuffer) return;
  if (FHasInvalid) {
    TRect u = FInvalid;
    FHasInvalid = false;
    MarkDirty(u);
    PaintControlTree(this, u);
    if (MenuBarHeight() > 0 && u.Top < MenuBarHeight()) {
      TCanvas* dc = ControlCanvas();
      SelectClipRgn(dc, nullptr);
      SetViewportOrgEx(dc, 0, 0, nullptr);
      IntersectClipRect(dc, u.Left, u.Top, u.Right, u.Bottom);
      TUiMenuLoop::PaintBar(this, dc);
    }
  }
  if (FHasDirty) {
    FHasDirty = false;
    Application->Backend()->Present(FBackendWindow, *FBackBuffer, FDirty);
  }
}

void TCustomForm::PaintNowIn(const TRect& R) {
  if (!FBackendWindow || !FBackBuffer) return;
  TRect u;
  if (FHasInvalid && IntersectRect(u, FInvalid, R)) {
    if (u == FInvalid) FHasInvalid = false;
    MarkDirty(u);
    PaintControlTree(this, u);
  }
  if (FHasDirty) {
    FHasDirty = false;
    Application->Backend()->Present(FBackendWindow, *FBackBuffer, FDirty);
  }
}

void TCustomForm::PaintWindow(HDC DC) { Paint(); }

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::Resize() { TWinControl::Resize(); }

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}
void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}
void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Activate() {
  if (!Showing()) return;
  // Handlers may show or free forms: walk a copy.
  for (TCustomForm* f : std::vector<TCustomForm*>(TUiCore::Forms()))
    if (f != this && f->FActive) f->Deactivate();
  bool activating = !FActive;
  if (activating) {
    FActive = true;
    auto& v = TUiCore::Forms();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.push_back(this);
  }
  if (Application && Application->Backend()) Application->Backend()->RaiseWindow(FBackendWindow);
  if (!FActiveControl || !FActiveControl->CanFocus()) {
    TWinControl* first = FindNextControl(nullptr, true, true, false);
    FActiveControl = first;
  }
  TWinControl* target = FActiveControl ? FActiveControl : this;
  if (TUiCore::Focus != target) {
    TWinControl* prev = TUiCore::Focus;
    if (prev && GetParentForm(prev) != this) prev->Perform(WM_KILLFOCUS, 0, 0);
    TUiCore::Focus = nullptr;
    DoFocusChange(nullptr, FActiveControl);
  }
  // The handler sees the form with its focus in place.
  if (activating && OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (!FActive) return;
  FActive = false;
  if (TUiCore::Focus && (TUiCore::Focus == this || ContainsControl(TUiCore::Focus))) {
    TWinControl* f = TUiCore::Focus;
    TUiCore::Focus = nullptr;
    f->Perform(WM_KILLFOCUS, 0, 0);
  }
  if (OnDeactivate) OnDeactivate(this);
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TCustomForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = TCloseAction::caHide;
  DoClose(action);
  if (action == TCloseAction::caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case TCloseAction::caHide: Hide(); break;
    case TCloseAction::caMinimize: SetWindowState(TWindowState::wsMinimized); break;
    case TCloseAction::caFree: Release(); break;
    default: break;
  }
}

void TCustomForm::Release() {
  Hide();
  auto& pr = TUiCore::PendingRelease;
  if (std::find(pr.begin(), pr.end(), this) == pr.end()) pr.push_back(this);
  TUiCore::Post(0, WM_NULL, 0, 0);
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || FModal) throw EInvalidOperation("Cannot make a visible window modal");
  FModal = true;
  FModalResult = mrNone;
  TCustomForm* prevActive = nullptr;
  for (TCustomForm* f : TUiCore::Forms())
    if (f->FActive) prevActive = f;
  FDisabledByModal.clear();
  for (TCustomForm* f : std::vector<TCustomForm*>(TUiCore::Forms()))
    if (f != this && f->Showing() && f->Enabled()) {
      f->SetEnabled(false);
      FDisabledByModal.push_back(f);
    }
  // From now on the pointer's events go to this window: a control of a window just disabled loses its
  // hover look now, as on leaving, instead of staying lit after this window closes.
  if (TControl* m = TUiCore::MouseControl) {
    TCustomForm* mf = GetParentForm(m);
    if (mf && mf != this && !mf->Enabled()) {
      TUiCore::MouseControl = nullptr;
      m->Perform(CM_MOUSELEAVE, 0, 0);
    }
  }
  ++Application->FModalLevel;
  struct TRestore {
    TCustomForm* Self;
    TCustomForm* Prev;
    ~TRestore() {
      --Application->FModalLevel;
      Self->FModal = false;
      for (TCustomForm* f : Self->FDisabledByModal) f->SetEnabled(true);
      Self->FDisabledByModal.clear();
      if (Self->Visible()) Self->Hide();
      if (Prev && Prev->Showing()) Prev->Activate();
    }
  } restore{this, prevActive};
  FWindowOwner = prevActive;
  if (!FWindowOwner || !FWindowOwner->Showing()) {
    FWindowOwner = nullptr;
    for (TCustomForm* f : TUiCore::Forms())
      if (f != this && f->Showing() && f->FBorderStyle != TFormBorderStyle::bsNone) FWindowOwner = f;
  }
  Show();
  FWindowOwner = nullptr;
  while (true) {
    Application->HandleMessage();
    if (Application->Terminated()) {
      FModalResult = mrCancel;
      break;
    }
    if (FModalResult != mrNone) {
      // The modal result asks to close; OnCloseQuery and OnClose may refuse.
      TCloseAction action = TCloseAction::caNone;
      if (CloseQuery()) {
        action = TCloseAction::caHide;
        DoClose(action);
      }
      if (action == TCloseAction::caNone) {
        FModalResult = mrNone;
        continue;
      }
      break;
    }
  }
  return FModalResult;
}

bool TCustomForm::IsShortCut(uint16_t Key, TShiftState Shift) {
  if (OnShortCut) {
    TMessage m;
    m.Msg = WM_KEYDOWN;
    m.WParam = Key;
    m.LParam = Shift.Contains(ssAlt) ? KF_ALTDOWN_BIT : 0;
    bool handled = false;
    OnShortCut(m, handled);
    if (handled) return true;
  }
  return FMenu && FMenu->IsShortCut(Key, Shift);
}

void TCustomForm::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CM_TEXTCHANGED:
      if (FBackendWindow) Application->Backend()->SetWindowTitle(FBackendWindow, Caption());
      TWinControl::Dispatch(M);
      break;
    case CM_DIALOGKEY: CMDialogKey(M); break;
    case WM_CLOSE: Close(); break;
    case CM_RELEASE: Release(); break;
    case WM_SYSCOMMAND:
      // Only the bottom-right corner is sized with the mouse (the status bar's grip asks for it).
      if ((M.WParam & 0xFFF0) == SC_SIZE && (M.WParam & 0xF) == 8 && !Parent()) BeginFormSizing(this);
      break;
    default: TWinControl::Dispatch(M); break;
  }
}

void TCustomForm::CMDialogKey(TMessage& M) {
  TShiftState s = KeyDataToShiftState(M.LParam);
  if (!s.Contains(ssAlt)) {
    switch (M.WParam) {
      case VK_TAB:
        if (!s.Contains(ssCtrl)) {
          SelectNext(FActiveControl, !s.Contains(ssShift), true);
          M.Result = 1;
          return;
        }
        break;
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN:
        if (FActiveControl && FActiveControl->Parent()) {
          FActiveControl->Parent()->SelectNext(FActiveControl, M.WParam == VK_RIGHT || M.WParam == VK_DOWN, false);
          M.Result = 1;
        }
        return;
    }
  }
  TWinControl::CMDialogKey(M);
}

// ---- TApplication ---------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}
TApplication::~TApplication() = default;

bool TApplication::Initialize() {
  const char* want = std::getenv("QV_BACKEND");
  std::string w = want ? want : "";
  if (w == "headless") {
    SetBackend(CreateHeadlessBackend());
    return true;
  }
  bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
  if (w == "sdl" || (w.empty() && display)) {
    std::string err;
    auto be = CreateSdlBackend(err);
    if (!be) {
      std::fprintf(stderr, "No display available for a window: %s\n", err.c_str());
      return false;
    }
    SetBackend(std::move(be));
    return true;
  }
  if (!w.empty()) {
    std::fprintf(stderr, "Unknown QV_BACKEND \"%s\" (use headless or sdl)\n", w.c_str());
    return false;
  }
  std::fprintf(stderr, "No display available: set DISPLAY, or QV_BACKEND=headless to run without a window\n");
  return false;
}

void TApplication::SetBackend(std::unique_ptr<TUiBackend> Backend) {
  // Windows of the old back end cannot move over: hide them first.
  for (TCustomForm* f : std::vector<TCustomForm*>(TUiCore::Forms())) f->DropBackendWindow();
  BackendSlot() = std::move(Backend);
}

TUiBackend* TApplication::Backend() {
  if (!BackendSlot()) BackendSlot() = CreateHeadlessBackend();
  return BackendSlot().get();
}

std::string TApplication::BackendName() { return Backend()->Name(); }

TUiBackend* CurrentBackend() { return BackendSlot().get(); }

namespace {
bool Step() {
  TUiCore::ProcessReleases();
  if (TUiCore::DispatchPosted()) return true;
  TUiEvent e;
  if (Application->Backend()->NextEvent(e, 0)) {
    Application->DispatchInput(e);
    return true;
  }
  if (Application->RunAfterInput()) return true;
  if (TUiCore::FireDueTimers()) return true;
  if (TUiCore::PaintAll()) return true;
  return false;
}

bool GuardedStep() {
  try {
    return Step();
  } catch (const std::exception& e) {
    Application->HandleException(Application, e);
    return true;
  }
}
}  // namespace

void TApplication::ProcessMessages() {
  // Bounded so that a zero-length timer cannot keep it here forever.
  for (int i = 0; i < 100000 && GuardedStep(); ++i) {
    if (FTerminated) break;
  }
}

void TApplication::HandleMessage() {
  if (GuardedStep()) return;
  bool done = true;
  if (OnIdle) {
    try {
      OnIdle(this, done);
    } catch (const std::exception& e) {
      HandleException(this, e);
    }
  }
  if (!done || FTerminated) return;
  if (GuardedStep()) return;
  int64_t delay = TUiCore::NextTimerDelay();
  if (delay > 0 && UiClockIsTest()) {
    // A stopped clock moves on to the next timer instead of waiting for nothing.
    AdvanceUiClock(static_cast<uint64_t>(delay));
    return;
  }
  TUiEvent e;
  bool got = false;
  try {
    got = Backend()->NextEvent(e, delay < 0 ? -1 : static_cast<int32_t>(std::min<int64_t>(delay, 1 << 30)));
  } catch (const std::exception& ex) {
    // The headless back end says so when nothing can ever arrive; a loop must not spin on it.
    FTerminated = FTerminated || FModalLevel == 0;
    throw;
  }
  if (got) {
    try {
      DispatchInput(e);
    } catch (const std::exception& ex) {
      HandleException(this, ex);
    }
  }
}

void TApplication::Run() {
  if (FMainForm && !FMainForm->Visible()) FMainForm->Show();
  while (!FTerminated) {
    HandleMessage();
    if (FMainForm == nullptr) break;
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  if (BackendSlot()) BackendSlot()->Wake();
}

void TApplication::HandleException(TObject* Sender, const std::exception& E) {
  if (dynamic_cast<const EAbort*>(&E)) return;
  if (OnException) {
    OnException(Sender, E);
    return;
  }
  ShowException(E);
}

void TApplication::ShowException(const std::exception& E) {
  std::string msg = E.what();
  if (!msg.empty() && msg.back() != '.') msg += '.';
  MessageBox(msg, FTitle.empty() ? "Error" : FTitle, MB_OK | MB_ICONSTOP);
}

int32_t TApplication::MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  return ::MessageBox(0, Text, Caption, Flags);
}

std::string TApplication::ExeName() const {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

void TApplication::BringToFront() {
  if (TCustomForm* f = TUiCore::TopForm()) f->Activate();
}

void TApplication::SetHint(const std::string& v) {
  if (v == FHint) return;
  FHint = v;
  // Without a handler the hint goes as a hint action to whatever shows it (a status bar).
  if (OnHint)
    OnHint(this);
  else
    DispatchHint(v);
}

void TApplication::CancelHint() {
  if (TUiCore::HintShowing) HideHintWindow();
  TUiCore::HintShowing = false;
  TUiCore::HintText.clear();
  TUiCore::HintDue = UINT64_MAX;
}

std::string TApplication::ShownHint() const { return TUiCore::HintShowing ? TUiCore::HintText : std::string(); }

void TApplication::Queue(std::function<void()> Fn) { TUiCore::QueueFn(std::move(Fn)); }

void TApplication::QueueAfterInput(std::function<void()> Fn) { FAfterInput.push_back(std::move(Fn)); }

void TApplication::DispatchInput(const TUiEvent& Event) {
  struct TDepth {
    int32_t& D;
    explicit TDepth(int32_t& d) : D(d) { ++D; }
    ~TDepth() { --D; }
  } Depth(FInputDepth);
  TUiCore::HandleEvent(Event);
}

bool TApplication::RunAfterInput() {
  if (FAfterInput.empty()) return false;
  // One at a time: input that arrives meanwhile is handled before the next.
  std::function<void()> Fn = std::move(FAfterInput.front());
  FAfterInput.erase(FAfterInput.begin());
  Fn();
  return true;
}

void DoneApplication() {
  if (!Application) return;
  while (Application->ComponentCount() > 0) {
    TComponent* c = Application->Components(Application->ComponentCount() - 1);
    c->BeforeDestruction();
    Application->RemoveComponent(c);
    delete c;
  }
  Application->SetMainForm(nullptr);
}

// ---- TScreen --------------------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner)
    : TComponent(AOwner),
      FHintFont(std::make_unique<TFont>()),
      FMenuFont(std::make_unique<TFont>()),
      FIconFont(std::make_unique<TFont>()) {
  FHintFont->SetColor(clInfoText);
  FMenuFont->SetName(kMenuFontName);
  FMenuFont->SetHeight(kMenuFontHeight);
  FMenuFont->SetColor(clMenuText);
}

TScreen::~TScreen() = default;

int32_t TScreen::Width() const { return Application->Backend()->ScreenRect().Width(); }
int32_t TScreen::Height() const { return Application->Backend()->ScreenRect().Height(); }

void TScreen::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  TUiCore::UpdateCursor(TUiCore::MouseControl ? TUiCore::MouseControl : TUiCore::TopForm());
  if (!TUiCore::MouseControl && !TUiCore::TopForm()) FShownCursor = Value == crDefault ? crArrow : Value;
}

HCURSOR TScreen::Cursors(TCursor Index) const {
  auto it = FCursors.find(Index);
  return it == FCursors.end() ? nullptr : it->second;
}

void TScreen::SetCursors(TCursor Index, HCURSOR Cursor) {
  if (Cursor) FCursors[Index] = std::move(Cursor);
  else FCursors.erase(Index);
}

bool TScreen::HasCursor(TCursor Index) const { return (Index <= 0 && Index >= crSizeAll) || FCursors.count(Index) != 0; }

TCustomForm* TScreen::ActiveForm() const {
  for (TCustomForm* f : TUiCore::Forms())
    if (f->Active()) return f;
  return nullptr;
}

TWinControl* TScreen::ActiveControl() const { return TUiCore::Focus; }
