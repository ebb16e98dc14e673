#include "controls/kv_pending.h"
#include <algorithm>
#include <vector>
bool KvFullColorDisplay = true;
TColor KvDarken(TColor C, uint8_t A) { return ColorToRGB(C); }
TColor KvLighten(TColor C, uint8_t A) { return ColorToRGB(C); }
TColor KvShiftLightness(TColor C, int32_t A) { return C; }
TColor KvMixColors(TColor A, TColor B, uint8_t W) { return ColorToRGB(A); }
bool KvColorsTooSimilar(TColor A, TColor B) { return false; }
TColor KvComplementColor(TColor C, uint8_t L) { return C; }
void KvSelectionColors(TKvGradientColorStyle, TColor& F, TColor& A, TColor& B) { F = clHighlight; A = clWindow; B = clBtnFace; }
void KvPanelGradientColors(TKvGradientColorStyle, TColor& A, TColor& B) { A = clWindow; B = clBtnFace; }
void KvBarGradientColors(TKvGradientColorStyle, TColor& S, TColor& A, TColor& F) { S = clBtnFace; A = clWindow; F = clBtnShadow; }
TColor KvXPThemeColor(uint8_t) { return clBtnFace; }
bool KvThemesActive() { return false; }
static TRect Sh(TRect R, TSides S, int n) { if (S.Contains(TSide::sdLeft)) R.Left += n; if (S.Contains(TSide::sdTop)) R.Top += n; if (S.Contains(TSide::sdRight)) R.Right -= n; if (S.Contains(TSide::sdBottom)) R.Bottom -= n; return R; }
static TSides All() { return TSides{TSide::sdLeft, TSide::sdTop, TSide::sdRight, TSide::sdBottom}; }
TRect KvPaintSideLines(TCanvas* C, TRect R, TColor UL, TColor LR, TSides S) { C->Brush()->SetColor(UL); C->FrameRect(R); return Sh(R, S, 1); }
TRect KvPaintSideBands(TCanvas* C, TRect R, TColor UL, TColor LR, int32_t n, TSides S) { for (int i = 0; i < n; ++i) R = KvPaintSideLines(C, R, UL, LR, S); return R; }
TRect KvPaintButtonFrame(TCanvas* C, TRect R, bool) { return KvPaintSideBands(C, R, clBtnShadow, clBtnShadow, 2, All()); }
TRect KvPaintColorButtonFrame(TCanvas* C, TRect R, TColor, bool) { return KvPaintSideBands(C, R, clBtnShadow, clBtnShadow, 2, All()); }
TRect KvPaintStyledFrame(TCanvas* C, TRect R, TFrameStyleEx S) { return KvPaintStyledFrameSides(C, R, S, All()); }
TRect KvPaintStyledFrameSides(TCanvas* C, TRect R, TFrameStyleEx S, TSides Sd) { if (S == TFrameStyleEx::fsNone) return R; return KvPaintSideBands(C, R, clBtnShadow, clBtnShadow, S == TFrameStyleEx::fsFlat ? 1 : 2, Sd); }
TRect KvPaintColoredFrame(TCanvas* C, TRect R, TColor, TFrameStyleEx S) { return KvPaintStyledFrame(C, R, S); }
TRect KvPaintRectOutline(TCanvas* C, TRect R, TColor Col) { return KvPaintSideLines(C, R, Col, Col, All()); }
TRect KvPaintCornerMarks(TCanvas* C, TRect R, TColor Col, int32_t) { return KvPaintRectOutline(C, R, Col); }
TRect KvPaintDottedFocusFrame(TCanvas* C, TRect R) { C->DrawFocusRect(R); return Sh(R, All(), 1); }
TRect KvPaintLayeredBorders(TCanvas* C, TRect R, TFrameStyleEx O, TFrameStyleEx I, int32_t BW, TSides S, int32_t, TColor, TColor, TColor, TColor, int32_t, TColor, TColor, bool) { R = KvPaintStyledFrameSides(C, R, O, S); R = Sh(R, All(), BW); return KvPaintStyledFrameSides(C, R, I, S); }
void KvPaintGradientRing(TCanvas*, TRect, TGradientDirection, TColor, TColor) {}
void KvPaintCheckGlyph(TCanvas* C, TRect R, TCheckBoxState St, uint8_t, bool, TKvButtonHotTrackStyle, TColor Fr, TColor Mk, TColor Fi, TColor, TColor, TColor, TColor, bool, bool, TColor) { C->Brush()->SetColor(Fi); C->FillRect(R); C->Brush()->SetColor(Fr); C->FrameRect(R); if (St != TCheckBoxState::cbUnchecked) { C->Brush()->SetColor(Mk); TRect r = R; InflateRect(r, -3, -3); C->FillRect(r);} }
void KvPaintRadioGlyph(TCanvas* C, TRect R, bool Ch, uint8_t, bool, TKvButtonHotTrackStyle, TColor Fr, TColor Dot, TColor Fi, TColor, TColor, TColor, TColor, TColor, bool, TColor, bool, bool, TColor) { C->Brush()->SetColor(Fi); C->Pen()->SetColor(Fr); C->Ellipse(R.Left, R.Top, R.Left + 13, R.Top + 13); if (Ch) { C->Brush()->SetColor(Dot); C->Ellipse(R.Left + 4, R.Top + 4, R.Left + 9, R.Top + 9);} }
bool KvFontIsTrueType(const TFont&) { return true; }
void KvDrawGradient(TCanvas* C, TRect R, TGradientDirection, TColor A, TColor, uint8_t) { C->Brush()->SetColor(A); C->FillRect(R); }
void KvBlitTransparent(TCanvas* C, TBitmap* B, TRect D, TRect S, TColor T) { TransparentBlt(C, D.Left, D.Top, D.Width(), D.Height(), B->Canvas(), S.Left, S.Top, S.Width(), S.Height(), ColorToRGB(T)); }
void KvPaintParentBackground(TControl*, TCanvas*, bool) {}
std::string KvStripAccelerators(const std::string& S) { std::string r; for (size_t i = 0; i < S.size(); ++i) { if (i + 1 < S.size() && S[i] == '&') { if (S[i+1] == '&') { r += '&'; ++i; } continue; } r += S[i]; } return r; }
TRect KvCenteredRect(TRect R, int32_t W, int32_t H) { int32_t l = (R.Left + R.Right - W) / 2, t = (R.Top + R.Bottom - H) / 2; return Rect(l, t, l + W, t + H); }
void KvInvalidateTransparentChildren(TWinControl* W) { for (int i = 0; i < W->ControlCount(); ++i) W->Controls(i)->Invalidate(); }
static std::vector<TControl*> gBl;
TKvBlinkingControlsList* KvBlinkingList = nullptr;
void TKvBlinkingControlsList::RegisterControl(TControl* C) { gBl.push_back(C); }
void TKvBlinkingControlsList::UnregisterControl(TControl* C) { gBl.erase(std::remove(gBl.begin(), gBl.end(), C), gBl.end()); }
int32_t TKvBlinkingControlsList::ControlCount() const { return int32_t(gBl.size()); }
TKvBlinkingControlsList* KvNeedBlinkingList() { if (!KvBlinkingList) KvBlinkingList = new TKvBlinkingControlsList; return KvBlinkingList; }
void KvReleaseBlinkingList() { if (KvBlinkingList && gBl.empty()) { delete KvBlinkingList; KvBlinkingList = nullptr; } }
