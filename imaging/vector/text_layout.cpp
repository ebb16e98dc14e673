// Layout and painting of the formatted text: lines, alignment, justification, zoom, caret.
#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <cmath>
#include <cstdlib>

#include "imaging/foundation/canvas.h"
#include "imaging/vector/text_control.h"
#include "platform/base/codepage.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"

namespace {

// Measures through the canvas and remembers what each font gave, so that a text measured anew
// (after a caret move or a resize) asks the font library only about fonts it has not seen.
class TCanvasTextMeasurer : public TQxTextMeasurer {
 public:
  int32_t CharWidth(TCanvas* Canvas, char C) override {
    TFontMeasures& M = For(Canvas);
    int32_t& W = M.Widths[static_cast<uint8_t>(C)];
    if (W < 0) W = Canvas->TextWidth(CodePageToUtf8(std::string_view(&C, 1)));
    return W;
  }
  void FontMetrics(TCanvas* Canvas, int32_t& Height, int32_t& InternalLeading, int32_t& Descent) override {
    TFontMeasures& M = For(Canvas);
    if (!M.HasMetrics) {
      TTextMetric TM;
      GetTextMetrics(Canvas->Handle(), &TM);
      M.Height = TM.tmHeight;
      M.Leading = std::abs(TM.tmInternalLeading);
      M.Descent = std::abs(TM.tmDescent);
      M.HasMetrics = true;
    }
    Height = M.Height;
    InternalLeading = M.Leading;
    Descent = M.Descent;
  }

 private:
  struct TFontMeasures {
    std::array<int32_t, 256> Widths;
    bool HasMetrics = false;
    int32_t Height = 0, Leading = 0, Descent = 0;
    TFontMeasures() { Widths.fill(-1); }
  };
  static TFontMeasures& For(TCanvas* Canvas) {
    // Per thread, so that no lock is taken per character.
    thread_local std::map<std::string, TFontMeasures> Fonts;
    thread_local std::string LastKey;
    thread_local TFontMeasures* Last = nullptr;
    const TFont* F = Canvas->Font();
    std::string Key = F->Name();
    Key += '\0';
    for (int32_t V : {F->Height(), static_cast<int32_t>(QxCharFormatStyleBits(F->Style())), static_cast<int32_t>(F->Charset()),
                      F->PixelsPerInch(), static_cast<int32_t>(TestFontMode())})
      Key.append(reinterpret_cast<const char*>(&V), sizeof V);
    if (Last && Key == LastKey) return *Last;
    LastKey = Key;
    Last = &Fonts[Key];
    return *Last;
  }
};

// The glyph of one 8-bit character as the canvas draws it.
std::string GlyphText(char C) {
  const uint8_t Code = static_cast<uint8_t>(C);
  if (Code < 31 || Code == 127) return " ";
  return Code < 0x80 ? std::string(1, C) : CodePageToUtf8(std::string_view(&C, 1));
}

TColor Complement(TColor C) { return (ColorToRGB(C) ^ 0xFFFFFF) & 0xFFFFFF; }

// Heights come from stored memos and pasted blocks; the canvas is given only what a font can be.
int32_t FontHeightFor(double Height) { return static_cast<int32_t>(std::clamp(Trunc(Height), int64_t{-32767}, int64_t{32767})); }

}  // namespace

TQxTextMeasurer* QxCanvasTextMeasurer() {
  static TCanvasTextMeasurer M;
  return &M;
}

// The working values of one layout run.
struct TQxTextControl::TLayoutRun {
  TQxTextControl& T;
  TCanvas* C;
  TQxTextMeasurer* Meas;
  int32_t X, Y, W, H;
  double Zoom;
  int32_t L0 = 0, T0 = 0, Wp = 0, Hp = 0;
  TRect Clip;
  enum { Measuring, Drawing } Pass = Measuring;
  int32_t N = 0, LineStart = 0, LineTop = 0, LineHeight = 0, MaxLeading = 0, MaxDescent = 0;
  int32_t Break = -1;
  double Stretch = 1.0;
  int32_t A = 0, M = 0, E = 0;
  int32_t Measured = 0, Drawn = 0, LFsDrawn = 0;
  int32_t LastHeight = 0, LastLeading = 0, LastDescent = 0;
  int32_t Furthest = 0;  // highest index whose position this run wrote
  bool Ended = false;
  struct TGlyph {
    int32_t X, Y;
    char Ch;
    int32_t Index;
  };
  std::vector<TGlyph> Deferred;

  TLayoutRun(TQxTextControl& AT, TCanvas* AC, int32_t AX, int32_t AY, int32_t AW, int32_t AH)
      : T(AT), C(AC), Meas(AT.Measurer ? AT.Measurer : QxCanvasTextMeasurer()), X(AX), Y(AY), W(AW), H(AH), Zoom(AT.Zoom) {}

  bool Text() const { return T.TextLength > 0; }
  char CharAt(int32_t I) const { return I >= 0 && I < T.TextLength ? T.TextBuffer[I] : '\0'; }

  void FormatValues(int32_t I, std::string& Name, int32_t& Height, TFontStyles& Style, TColor& Color, TColor& Back,
                    TBrushStyle& BrushStyle) const {
    if (T.UniformFormat) {
      Name = T.DefaultFont.Name();
      Height = T.DefaultFont.Height();
      Style = T.DefaultFont.Style();
      Color = T.DefaultFont.Color();
      Back = T.DefaultBrush.Color();
      BrushStyle = T.DefaultBrush.Style();
      return;
    }
    const bool Own = I >= 0 && I < T.TextLength && !T.CharFormats.empty();
    const TQxCharFormat& F = Own ? T.CharFormats[T.CharFormatIndexes[I]] : T.TypingFormat;
    if (Own) {
      const size_t K = static_cast<size_t>(T.CharFormatIndexes[I]);
      if (Names.size() <= K) Names.resize(T.CharFormats.size());
      if (Names[K].empty()) Names[K] = QxCharFormatFontName(F);
      Name = Names[K];
    } else {
      Name = QxCharFormatFontName(F);
    }
    Height = F.FontHeight;
    Style = QxCharFormatStyles(F.FontStyle);
    Color = F.FontColor;
    Back = F.BackColor;
    BrushStyle = static_cast<TBrushStyle>(F.BrushStyle);
  }

  // The format last put on the canvas (-2 the uniform one, -1 none): runs of characters in one
  // format select it once.
  int32_t Selected = -1;
  mutable std::vector<std::string> Names;  // font names by format index, converted once per run

  void SelectFormat(int32_t I) {
    const int32_t Key = T.UniformFormat ? -2
                        : I >= 0 && I < T.TextLength && !T.CharFormats.empty() ? T.CharFormatIndexes[I]
                                                                               : -1;
    if (Key != -1 && Key == Selected) return;
    Selected = Key;
    std::string Name;
    int32_t Height;
    TFontStyles Style;
    TColor Color, Back;
    TBrushStyle BrushStyle;
    FormatValues(I, Name, Height, Style, Color, Back, BrushStyle);
    TFont* F = C->Font();
    if (F->Name() != Name) F->SetName(Name);
    Height = FontHeightFor(Height);
    if (F->Height() != Height) F->SetHeight(Height);
    if (F->Style() != Style) F->SetStyle(Style);
    if (!T.KeepColors) {
      if (F->Color() != Color) F->SetColor(Color);
      if (C->Brush()->Color() != Back) C->Brush()->SetColor(Back);
    }
    if (C->Brush()->Style() != BrushStyle) C->Brush()->SetStyle(BrushStyle);
  }

  void MeasureChar(int32_t I) {
    SelectFormat(I);
    if (T.CacheWidth[I] == 0) {
      char Ch = CharAt(I);
      const uint8_t Code = static_cast<uint8_t>(Ch);
      if (Code < 31 || Code == 127) Ch = ' ';
      T.CacheWidth[I] = static_cast<uint16_t>(std::clamp(Meas->CharWidth(C, Ch), 0, 0xFFFF));
    }
    if (T.CacheHeight[I] == 0) {
      int32_t Hh, Lead, Desc;
      if (T.FixedCharHeight != 0) {
        Hh = T.FixedCharHeight;
        Lead = Desc = 0;
      } else {
        Meas->FontMetrics(C, Hh, Lead, Desc);
      }
      T.CacheHeight[I] = static_cast<uint16_t>(std::clamp(Hh, 0, 0xFFFF));
      T.CacheLeading[I] = static_cast<uint8_t>(std::clamp(Lead, 0, 0xFF));
      T.CacheDescent[I] = static_cast<uint8_t>(std::clamp(Desc, 0, 0xFF));
    }
    if (Pass == Measuring) {
      LastHeight = T.CacheHeight[I];
      LastLeading = T.CacheLeading[I];
      LastDescent = T.CacheDescent[I];
      LineHeight = std::max(LineHeight, LastHeight);
      MaxLeading = std::max(MaxLeading, LastLeading);
      MaxDescent = std::max(MaxDescent, LastDescent);
    }
  }

  int32_t LineOffset(int32_t End) {
    Stretch = 1.0;
    int32_t Align;
    if (T.UniformFormat)
      Align = T.Alignment;
    else if (End - 1 >= T.TextLength)
      Align = T.TypingFormat.Alignment;
    else
      Align = T.CharFormats.empty() ? T.TypingFormat.Alignment : T.CharFormats[T.CharFormatIndexes[std::max(End - 1, 0)]].Alignment;
    if (Align == 0 || Align > 3) return 0;
    int32_t K = End - 1;
    const bool EndsInLF = CharAt(K) == '\n' && K < T.TextLength;
    if (K >= T.TextLength) --K;
    if (CharAt(K) == '\n') --K;
    if (CharAt(K) == ' ') --K;
    if (K < 0) K = 0;
    const int32_t Xk = T.CacheX[K], Wk = T.CacheWidth[K];
    switch (Align) {
      case 1: return Wp - Xk - Wk - 1;
      case 2: return (Wp - Xk - Wk) / 2;
      default: {
        const bool LastLine = K + 2 >= T.TextLength;
        if (!LastLine && !EndsInLF && Xk + Wk + 1 != 0) Stretch = static_cast<double>(Wp) / (Xk + Wk + 1);
        return 0;
      }
    }
  }

  void BreakLine() {
    int32_t K = N;
    while (K > LineStart && CharAt(K) != ' ') --K;
    Break = K == LineStart ? N : K + 1;
    Pass = Drawing;
    N = LineStart;
    A = M = LineOffset(Break);
    E = 0;
  }

  void EndPass() {
    if (Pass == Measuring) {
      const int32_t Off = LineOffset(N);
      Pass = Drawing;
      N = LineStart;
      A = M = Off;
      E = 0;
      return;
    }
    if (T.CollectText) T.CollectedText += '\n';
    LineTop += LineHeight + T.LineSpacing;
    LineStart = N;
    Pass = Measuring;
    LineHeight = LastHeight;
    MaxLeading = LastLeading;
    MaxDescent = LastDescent;
    Break = -1;
    A = M = E = 0;
    Stretch = 1.0;
  }

  void SetCaret(int32_t CX, int32_t CY, int32_t CH) {
    T.CaretX = CX;
    T.CaretY = CY;
    T.CaretHeight = CH;
  }

  void EmitGlyph(int32_t GX, int32_t GY, char Ch, int32_t Index) {
    if (Zoom != 1.0) {
      Deferred.push_back({GX, GY, Ch, Index});
      return;
    }
    // A glyph wholly outside the text area leaves no pixel; long texts skip the work.
    const int32_t Top = GY - T.CacheHeight[Index];
    if (Top >= Clip.Bottom || GX >= Clip.Right || GX + T.CacheWidth[Index] < Clip.Left) return;
    C->RequiredState();
    ExtTextOut(C->Handle(), GX, GY, C->TextFlags() | ETO_CLIPPED, &Clip, GlyphText(Ch));
  }

  void DrawChar() {
    const int32_t Width = T.CacheWidth[N];
    const int32_t DX = X + L0 + M;
    const int32_t Base = Y + T0 + LineTop + LineHeight - MaxLeading;
    const bool Selected = N >= T.SelStart && N < T.SelEnd;
    const TColor SaveFont = C->Font()->Color(), SaveBrush = C->Brush()->Color();
    const TBrushStyle SaveStyle = C->Brush()->Style();
    if (Selected && Zoom == 1.0) {
      C->Brush()->SetColor(Complement(SaveBrush));
      C->Font()->SetColor(Complement(SaveFont));
      C->Brush()->SetStyle(TBrushStyle::bsSolid);
    }
    if (A != M && E < M)
      for (int32_t Px = X + L0 + E; Px < X + L0 + M; ++Px) EmitGlyph(Px, Base, ' ', N);
    EmitGlyph(DX, Base, CharAt(N), N);
    if (Selected && Zoom == 1.0) {
      C->Brush()->SetColor(SaveBrush);
      C->Font()->SetColor(SaveFont);
      C->Brush()->SetStyle(SaveStyle);
    }
    if (T.CollectText) {
      if (Base > Y + T0 + Hp) {
        Ended = true;
        return;
      }
      T.CollectedText += CharAt(N);
    }
    if (T.AutoHeight && T.Visible() && T.Parent() && Base + MaxDescent > Y + T0 + Hp) {
      T.SetHeight(static_cast<int32_t>(Trunc((Base + MaxDescent + LineHeight) * Zoom)));
      Ended = true;
      return;
    }
    ++Drawn;
    if (T.CaretIndex == N) SetCaret(M + L0, T0 + LineTop, LineHeight);
    if (T.CaretIndex == N + 1) SetCaret(M + L0 + Width, T0 + LineTop, LineHeight);
  }

  void Run() {
    const double Ml = T.Margins[0], Mt = T.Margins[1], Mr = T.Margins[2], Mb = T.Margins[3];
    Wp = static_cast<int32_t>(Trunc(W - W * Mr / 100 - W * Ml / 100)) - 2;
    Hp = static_cast<int32_t>(Trunc(H - H * Mb / 100 - H * Mt / 100)) - 2;
    L0 = static_cast<int32_t>(Trunc(W * Ml / 100)) + 1;
    T0 = static_cast<int32_t>(Trunc(H * Mt / 100)) + 1;
    Clip = TRect(X + L0, Y + T0, static_cast<int32_t>(Trunc(Wp * Zoom + X + L0)), static_cast<int32_t>(Trunc(Hp * Zoom + Y + T0)));
    T.GrowCaches();

    while (!Ended) {
      Furthest = std::max(Furthest, N);
      T.CacheX[N] = M + L0;
      T.CacheY[N] = T0 + LineTop;
      const char Ch = CharAt(N);
      if (N >= T.TextLength) {
        if (Pass == Drawing) break;
        EndPass();
        Break = -1;
        continue;
      }
      if (Ch == '\n') {
        MeasureChar(N);
        if (T.CaretIndex == N && N == 0) SetCaret(L0, T0, LineHeight);
        if (T.CaretIndex == N + 1) SetCaret(L0, T0 + LineTop + LineHeight, LineHeight);
        ++N;
        if (Pass == Drawing) {
          ++LFsDrawn;
          if (N >= T.TextLength) break;
        }
        EndPass();
        continue;
      }
      if (Pass == Measuring) {
        ++Measured;
      } else if (N == Break) {
        EndPass();
        continue;
      }
      MeasureChar(N);
      const int32_t Width = T.CacheWidth[N];
      if (Pass == Measuring) {
        if (M + Width + 2 >= Wp) {
          BreakLine();
          if (Break == LineStart) break;
          continue;
        }
      } else {
        DrawChar();
        if (Ended) break;
      }
      A += Width;
      E = M + Width;
      M = static_cast<int32_t>(Trunc(A * Stretch));
      ++N;
    }

    if (Measured == 0 && Drawn == 0) {
      SelectFormat(T.TextLength - 1);
      int32_t Hh, Lead, Desc;
      Meas->FontMetrics(C, Hh, Lead, Desc);
      SetCaret(L0, T0, Hh);
    }
    if (Zoom != 1.0) DrawDeferred();
    if (T.AutoHeight && T.Visible() && T.Parent() && T.CaretY + T.CaretHeight > static_cast<int32_t>(Trunc(Hp * Zoom)))
      T.SetHeight(T.CaretY + T.CaretHeight + MaxDescent);
    const size_t Ci = static_cast<size_t>(std::clamp(T.CaretIndex, 0, T.TextLength));
    T.CacheX[Ci] = T.CaretX;
    T.CacheY[Ci] = T.CaretY;
  }

  void DrawDeferred() {
    for (size_t G = 0; G < Deferred.size(); ++G) {
      const TGlyph& Gl = Deferred[G];
      SelectFormat(Gl.Index);
      std::string Name;
      int32_t Height;
      TFontStyles Style;
      TColor Color, Back;
      TBrushStyle BrushStyle;
      FormatValues(Gl.Index, Name, Height, Style, Color, Back, BrushStyle);
      C->Font()->SetHeight(FontHeightFor(static_cast<double>(Height) * Zoom));
      Selected = -1;
      const int32_t Gx = static_cast<int32_t>(Trunc((Gl.X - X) * Zoom)), Gy = static_cast<int32_t>(Trunc((Gl.Y - Y) * Zoom));
      const bool Selected = Gl.Index >= T.SelStart && Gl.Index < T.SelEnd;
      const TColor SaveFont = C->Font()->Color(), SaveBrush = C->Brush()->Color();
      const TBrushStyle SaveStyle = C->Brush()->Style();
      if (Selected) {
        C->Brush()->SetColor(Complement(SaveBrush));
        C->Font()->SetColor(Complement(SaveFont));
        C->Brush()->SetStyle(TBrushStyle::bsSolid);
      }
      C->RequiredState();
      if (G + 1 < Deferred.size() && Deferred[G + 1].Y == Gl.Y) {
        const int32_t SpaceW = Meas->CharWidth(C, ' ');
        const int32_t Next = X + static_cast<int32_t>(Trunc((Deferred[G + 1].X - X) * Zoom));
        if (SpaceW > 0)
          for (int32_t Px = X + Gx; Px < Next; Px += SpaceW) ExtTextOut(C->Handle(), Px, Y + Gy, C->TextFlags() | ETO_CLIPPED, &Clip, " ");
      }
      if (Y + Gy - std::abs(static_cast<int64_t>(Height)) * Zoom - 4 < Clip.Bottom)
        ExtTextOut(C->Handle(), X + Gx, Y + Gy, C->TextFlags() | ETO_CLIPPED, &Clip, GlyphText(Gl.Ch));
      if (Selected) {
        C->Brush()->SetColor(SaveBrush);
        C->Font()->SetColor(SaveFont);
        C->Brush()->SetStyle(SaveStyle);
      }
    }
    const size_t Last = std::min(static_cast<size_t>(Furthest) + 1, T.CacheX.size());
    for (size_t I = 0; I < Last; ++I) {
      if (T.CacheX[I] != -1) T.CacheX[I] = static_cast<int32_t>(Trunc(T.CacheX[I] * Zoom));
      if (T.CacheY[I] != -1) T.CacheY[I] = static_cast<int32_t>(Trunc(T.CacheY[I] * Zoom));
    }
    T.CaretX = static_cast<int32_t>(Trunc(T.CaretX * Zoom));
    T.CaretY = static_cast<int32_t>(Trunc(T.CaretY * Zoom));
    T.CaretHeight = static_cast<int32_t>(Trunc(T.CaretHeight * Zoom));
  }
};

void TQxTextControl::LayoutAndDraw(TQxCanvas* QC, int32_t X, int32_t Y, int32_t W, int32_t H) {
  if (W <= 1 || H <= 1) return;
  CollectedText.clear();
  TCanvas* C = QC->Canvas();
  QC->Pen()->SetWidth(1);
  C->Font()->SetColor(DefaultFont.Color());
  QC->Pen()->SetColor(DefaultFont.Color());
  QC->Pen()->SetStyle(FramePen.Style());
  if (!KeepColors) QC->Pen()->SetColor(FramePen.Color());
  QC->Pen()->SetMode(TPenMode::pmCopy);
  QC->Brush()->SetColor(FillBrush.Color());
  QC->Brush()->SetStyle(FillBrush.Style());
  QC->Rectangle(X, Y, X + static_cast<int32_t>(Round(W * Zoom)), Y + static_cast<int32_t>(Round(H * Zoom)));
  QC->Pen()->SetStyle(TPenStyle::psSolid);
  const uint32_t SavedAlign = SetTextAlign(C->Handle(), TA_BASELINE);
  TLayoutRun R(*this, C, X, Y, W, H);
  R.Run();
  SetTextAlign(C->Handle(), SavedAlign);
}

void TQxTextControl::LayoutAndDraw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H) {
  TQxCanvas QC(Canvas, false, true);
  LayoutAndDraw(&QC, X, Y, W, H);
}

void TQxTextControl::PaintBackground() {
  TCanvas* C = OffscreenBitmap->Canvas();
  const TRect All(0, 0, OffscreenBitmap->Width(), OffscreenBitmap->Height());
  if (FillBrush.Style() != TBrushStyle::bsSolid && BackgroundBitmap)
    C->CopyRect(All, BackgroundBitmap->Canvas(), Bounds(Left(), Top(), All.Right, All.Bottom));
  if (FillBrush.Style() != TBrushStyle::bsClear) {
    C->Brush()->Assign(FillBrush);
    SetBkMode(C->Handle(), TRANSPARENT);
    C->FillRect(All);
  }
}

void TQxTextControl::PaintView() {
  if (!Visible() || !Parent()) return;
  const int32_t CW = std::max(ClientWidth(), 1), CH = std::max(ClientHeight(), 1);
  if (OffscreenBitmap->Width() != CW || OffscreenBitmap->Height() != CH) OffscreenBitmap->SetSize(CW, CH);
  PaintBackground();
  {
    TQxCanvas QC(OffscreenBitmap->Canvas(), false, true);
    LayoutAndDraw(&QC, 0, 0, static_cast<int32_t>(Trunc(ClientWidth() / Zoom)), static_cast<int32_t>(Trunc(ClientHeight() / Zoom)));
  }
  Canvas()->Draw(0, 0, OffscreenBitmap.get());
  // The window layer repaints on every caret change, so the caret is only touched when it moves.
  if (!Focused()) {
    if (FCaretShown) DestroyCaret();
    FCaretShown = false;
  } else if (!FCaretShown || FCaretH != CaretHeight) {
    if (CreateCaret(Handle(), 0, CaretHeight)) {
      SetCaretPos(CaretX, CaretY);
      ShowCaret(Handle());
      FCaretShown = true;
      FCaretX = CaretX;
      FCaretY = CaretY;
      FCaretH = CaretHeight;
    }
  } else if (FCaretX != CaretX || FCaretY != CaretY) {
    SetCaretPos(CaretX, CaretY);
    FCaretX = CaretX;
    FCaretY = CaretY;
  }
}

void TQxTextControl::Paint() { PaintView(); }
