// Text through fontconfig, FreeType and cairo: faces matched by name, glyphs rendered to a coverage
// mask and composited onto the canvas in its text colour, clipped like every other drawing.
#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/graphics/canvas.h"
#include "platform/graphics/device.h"

using qvgfx::TDevice;

namespace {

std::atomic<bool> GTestFont{false};

struct TFaceKey {
  std::string Name;
  bool Bold, Italic;
  bool operator<(const TFaceKey& O) const { return std::tie(Name, Bold, Italic) < std::tie(O.Name, O.Bold, O.Italic); }
};

// A matched face and the characters it has, so that missing ones can be drawn from another face.
struct TFaceEntry {
  cairo_font_face_t* Face = nullptr;
  FcCharSet* Chars = nullptr;  // nil: unknown, every character is taken as present
};

std::mutex GFaceLock;
std::map<TFaceKey, TFaceEntry>& FaceCache() {
  static auto* M = new std::map<TFaceKey, TFaceEntry>();
  return *M;
}
// Faces by font file, shared by every font that falls back to them.
std::map<std::string, cairo_font_face_t*>& FileFaceCache() {
  static auto* M = new std::map<std::string, cairo_font_face_t*>();
  return *M;
}
// The fallback face of (font, character); nil where no installed face has the character.
std::map<std::pair<TFaceKey, uint32_t>, cairo_font_face_t*>& FallbackCache() {
  static auto* M = new std::map<std::pair<TFaceKey, uint32_t>, cairo_font_face_t*>();
  return *M;
}

FcPattern* MatchPattern(const std::string& Name, bool Bold, bool Italic, FcCharSet* Need = nullptr) {
  FcPattern* P = FcPatternCreate();
  FcPatternAddString(P, FC_FAMILY, reinterpret_cast<const FcChar8*>(Name.c_str()));
  FcPatternAddInteger(P, FC_WEIGHT, Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(P, FC_SLANT, Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if (Need) FcPatternAddCharSet(P, FC_CHARSET, Need);
  FcConfigSubstitute(nullptr, P, FcMatchPattern);
  FcDefaultSubstitute(P);
  FcResult R;
  FcPattern* M = FcFontMatch(nullptr, P, &R);
  FcPatternDestroy(P);
  return M;
}

TFaceKey KeyOf(const TFont& F) {
  return TFaceKey{F.Name(), F.Style().Contains(TFontStyle::fsBold), F.Style().Contains(TFontStyle::fsItalic)};
}

const TFaceEntry& FaceFor(const TFont& F) {
  TFaceKey K = KeyOf(F);
  std::lock_guard<std::mutex> G(GFaceLock);
  auto It = FaceCache().find(K);
  if (It != FaceCache().end()) return It->second;
  FcPattern* M = MatchPattern(K.Name, K.Bold, K.Italic);
  TFaceEntry E;
  if (M) {
    E.Face = cairo_ft_font_face_create_for_pattern(M);
    FcCharSet* Cs = nullptr;
    if (FcPatternGetCharSet(M, FC_CHARSET, 0, &Cs) == FcResultMatch && Cs) E.Chars = FcCharSetCopy(Cs);
    FcPatternDestroy(M);
  } else {
    E.Face = cairo_toy_font_face_create("sans-serif", K.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                        K.Bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  return FaceCache()[K] = E;
}

// An installed face, as close to F as fontconfig finds, that has character Cp; nil when none has it.
cairo_font_face_t* FallbackFaceFor(const TFont& F, uint32_t Cp) {
  TFaceKey K = KeyOf(F);
  std::lock_guard<std::mutex> G(GFaceLock);
  auto Key = std::make_pair(K, Cp);
  auto It = FallbackCache().find(Key);
  if (It != FallbackCache().end()) return It->second;
  FcCharSet* Need = FcCharSetCreate();
  FcCharSetAddChar(Need, Cp);
  FcPattern* M = MatchPattern(K.Name, K.Bold, K.Italic, Need);
  FcCharSetDestroy(Need);
  cairo_font_face_t* Face = nullptr;
  FcCharSet* Has = nullptr;
  FcChar8* File = nullptr;
  if (M && FcPatternGetCharSet(M, FC_CHARSET, 0, &Has) == FcResultMatch && Has && FcCharSetHasChar(Has, Cp) &&
      FcPatternGetString(M, FC_FILE, 0, &File) == FcResultMatch && File) {
    int Index = 0;
    FcPatternGetInteger(M, FC_INDEX, 0, &Index);
    std::string Id = std::string(reinterpret_cast<const char*>(File)) + "#" + std::to_string(Index) +
                     (K.Bold ? "b" : "") + (K.Italic ? "i" : "");
    auto& Files = FileFaceCache();
    auto F2 = Files.find(Id);
    if (F2 == Files.end()) F2 = Files.emplace(Id, cairo_ft_font_face_create_for_pattern(M)).first;
    Face = F2->second;
  }
  if (M) FcPatternDestroy(M);
  FallbackCache()[Key] = Face;
  return Face;
}

// The code point of one UTF-8 character (as split by Chars); malformed input gives U+FFFD.
uint32_t CodePointOf(const std::string& Ch) {
  if (Ch.empty()) return 0xFFFD;
  auto B = [&](size_t I) { return static_cast<uint32_t>(static_cast<unsigned char>(Ch[I])); };
  uint32_t C = B(0);
  if (C < 0x80) return C;
  size_t N = C >= 0xF0 ? 4 : C >= 0xE0 ? 3 : C >= 0xC0 ? 2 : 0;
  if (N == 0 || Ch.size() < N) return 0xFFFD;
  uint32_t Cp = C & (0x7F >> N);
  for (size_t I = 1; I < N; ++I) Cp = (Cp << 6) | (B(I) & 0x3F);
  return Cp;
}

std::vector<std::string> Chars(const std::string& S);

// A font prepared for measuring and drawing; characters its face lacks come from another installed face.
class TTextFont {
 public:
  explicit TTextFont(const TFont& F) : FFont(F) {
    int32_t H = F.Height();
    FTest = GTestFont.load();
    if (FTest) {
      int32_t Cell = std::max(1, std::abs(H == 0 ? 13 : H));
      FAscent = (Cell * 8 + 5) / 10;
      FDescent = Cell - FAscent;
      FAdvance = std::max(1, (Cell * 6 + 5) / 10);
      FEm = Cell;
      return;
    }
    const TFaceEntry& Entry = FaceFor(F);
    cairo_font_face_t* Face = Entry.Face;
    FChars = Entry.Chars;
    bool NoAA = F.Quality() == TFontQuality::fqNonAntialiased || F.Quality() == TFontQuality::fqDraft;
    FNoAA = NoAA;
    double Em = 13;
    if (H < 0) {
      Em = -H;
    } else if (H > 0) {
      // A cell height: scale so that ascent plus descent fill it.
      cairo_font_extents_t E = Extents(Face, 100.0);
      double Cell = E.ascent + E.descent;
      Em = Cell > 0 ? H * 100.0 / Cell : H;
    }
    FEm = Em;
    FScaled = ScaledFont(Face, Em, NoAA);
    cairo_font_extents_t E;
    cairo_scaled_font_extents(FScaled, &E);
    FAscent = static_cast<int32_t>(std::ceil(E.ascent - 1e-6));
    FDescent = static_cast<int32_t>(std::ceil(E.descent - 1e-6));
  }
  ~TTextFont() {
    if (FScaled) cairo_scaled_font_destroy(FScaled);
    for (auto& [Face, Sf] : FFallbacks) cairo_scaled_font_destroy(Sf);
  }
  TTextFont(const TTextFont&) = delete;
  TTextFont& operator=(const TTextFont&) = delete;

  int32_t Ascent() const { return FAscent; }
  int32_t Descent() const { return FDescent; }
  int32_t Height() const { return FAscent + FDescent; }
  double Em() const { return FEm; }
  bool Test() const { return FTest; }
  cairo_scaled_font_t* Scaled() const { return FScaled; }
  const TFont& Font() const { return FFont; }

  int32_t Width(const std::string& S) const {
    if (S.empty()) return 0;
    if (FTest) return FAdvance * CountChars(S);
    if (!Covers(S)) {
      double W = 0;
      for (double A : Advances(Chars(S))) W += A;
      return static_cast<int32_t>(std::lround(W));
    }
    cairo_text_extents_t E;
    cairo_scaled_font_text_extents(FScaled, S.c_str(), &E);
    return static_cast<int32_t>(std::lround(E.x_advance));
  }
  // The advance of each character.
  std::vector<double> Advances(const std::vector<std::string>& Cs) const {
    std::vector<double> A(Cs.size(), FAdvance);
    if (FTest) return A;
    for (size_t I = 0; I < Cs.size(); ++I) {
      cairo_text_extents_t E;
      cairo_scaled_font_text_extents(ScaledFor(Cs[I]), Cs[I].c_str(), &E);
      A[I] = E.x_advance;
    }
    return A;
  }
  // The scaled font that draws one character: the font's own, or a fallback face's that has it.
  cairo_scaled_font_t* ScaledFor(const std::string& Ch) const {
    if (!FChars || Ch.empty() || static_cast<unsigned char>(Ch[0]) < 0x80) return FScaled;
    uint32_t Cp = CodePointOf(Ch);
    if (FcCharSetHasChar(FChars, Cp)) return FScaled;
    cairo_font_face_t* Face = FallbackFaceFor(FFont, Cp);
    if (!Face) return FScaled;
    auto It = FFallbacks.find(Face);
    if (It == FFallbacks.end()) It = FFallbacks.emplace(Face, ScaledFont(Face, FEm, FNoAA)).first;
    return It->second;
  }
  int32_t AveCharWidth() const { return FTest ? FAdvance : std::max(1, Width("x")); }
  int32_t TestAdvance() const { return FAdvance; }

  static int CountChars(const std::string& S) {
    int N = 0;
    for (unsigned char C : S)
      if ((C & 0xC0) != 0x80) ++N;
    return N;
  }

 private:
  static cairo_font_extents_t Extents(cairo_font_face_t* Face, double Size) {
    cairo_matrix_t FM, Id;
    cairo_matrix_init_scale(&FM, Size, Size);
    cairo_matrix_init_identity(&Id);
    cairo_font_options_t* O = cairo_font_options_create();
    cairo_scaled_font_t* SF = cairo_scaled_font_create(Face, &FM, &Id, O);
    cairo_font_extents_t E;
    cairo_scaled_font_extents(SF, &E);
    cairo_scaled_font_destroy(SF);
    cairo_font_options_destroy(O);
    return E;
  }
  // Scaled fonts are kept for reuse; the caller gets a reference of its own.
  static cairo_scaled_font_t* ScaledFont(cairo_font_face_t* Face, double Em, bool NoAA) {
    static std::mutex Lock;
    static auto* Cache = new std::map<std::tuple<cairo_font_face_t*, double, bool>, cairo_scaled_font_t*>();
    std::lock_guard<std::mutex> G(Lock);
    auto Key = std::make_tuple(Face, Em, NoAA);
    auto It = Cache->find(Key);
    if (It == Cache->end()) {
      if (Cache->size() >= 64) {
        for (auto& [K, V] : *Cache) cairo_scaled_font_destroy(V);
        Cache->clear();
      }
      cairo_font_options_t* O = cairo_font_options_create();
      cairo_font_options_set_hint_metrics(O, CAIRO_HINT_METRICS_ON);
      cairo_font_options_set_antialias(O, NoAA ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
      cairo_matrix_t FM, Id;
      cairo_matrix_init_scale(&FM, Em, Em);
      cairo_matrix_init_identity(&Id);
      It = Cache->emplace(Key, cairo_scaled_font_create(Face, &FM, &Id, O)).first;
      cairo_font_options_destroy(O);
    }
    return cairo_scaled_font_reference(It->second);
  }
  // Whether the font's own face has every character of S.
  bool Covers(const std::string& S) const {
    if (!FChars || std::all_of(S.begin(), S.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; }))
      return true;
    for (const std::string& Ch : Chars(S))
      if (static_cast<unsigned char>(Ch[0]) >= 0x80 && !FcCharSetHasChar(FChars, CodePointOf(Ch))) return false;
    return true;
  }
  const TFont& FFont;
  bool FTest = false;
  bool FNoAA = false;
  FcCharSet* FChars = nullptr;  // owned by the face cache
  cairo_scaled_font_t* FScaled = nullptr;
  mutable std::map<cairo_font_face_t*, cairo_scaled_font_t*> FFallbacks;
  int32_t FAscent = 0, FDescent = 0, FAdvance = 0;
  double FEm = 0;
};

// Splits UTF-8 text into its characters.
std::vector<std::string> Chars(const std::string& S) {
  std::vector<std::string> R;
  for (size_t I = 0; I < S.size();) {
    size_t N = 1;
    unsigned char C = static_cast<unsigned char>(S[I]);
    if (C >= 0xF0) N = 4;
    else if (C >= 0xE0) N = 3;
    else if (C >= 0xC0) N = 2;
    N = std::min(N, S.size() - I);
    R.push_back(S.substr(I, N));
    I += N;
  }
  return R;
}

// Blends coverage C (0..255) of colour Col into device pixel (X, Y).
void BlendPixel(const TDevice& D, int32_t X, int32_t Y, COLORREF Col, uint32_t Native, int C) {
  if (C <= 0 || !D.Visible(X, Y)) return;
  int Bpp = D.S.Bpp;
  if (Bpp <= 8 || C >= 255) {
    if (C >= 128) D.S.Set(X, Y, Native);
    return;
  }
  COLORREF Old = D.Color(D.S.Get(X, Y));
  auto Mix = [C](int A, int B) { return static_cast<uint8_t>((A * (255 - C) + B * C + 127) / 255); };
  COLORREF New = RGB(Mix(GetRValue(Old), GetRValue(Col)), Mix(GetGValue(Old), GetGValue(Col)), Mix(GetBValue(Old), GetBValue(Col)));
  D.S.Set(X, Y, D.Native(New));
}

}  // namespace

// fontconfig keeps a few bytes of its parsed configuration unreachable for the life of the process;
// the leak checker of sanitizer builds is told so (weak, so a program may give its own list).
extern "C" __attribute__((weak, used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

void SetTestFontMode(bool Enabled) { GTestFont = Enabled; }
bool TestFontMode() { return GTestFont; }

std::string MatchFontFile(const std::string& Name, TFontStyles Style) {
  FcPattern* M = MatchPattern(Name, Style.Contains(TFontStyle::fsBold), Style.Contains(TFontStyle::fsItalic));
  if (!M) return {};
  FcChar8* File = nullptr;
  std::string R;
  if (FcPatternGetString(M, FC_FILE, 0, &File) == FcResultMatch && File) R = reinterpret_cast<const char*>(File);
  FcPatternDestroy(M);
  return R;
}

bool GetTextExtentPoint32(HDC DC, const std::string& Text, TSize* Size) {
  if (!DC || !Size) return false;
  TTextFont F(*DC->Font());
  *Size = TSize(F.Width(Text), F.Height());
  return true;
}

bool GetTextMetrics(HDC DC, TTextMetric* TM) {
  if (!DC || !TM) return false;
  TTextFont F(*DC->Font());
  TM->tmAscent = F.Ascent();
  TM->tmDescent = F.Descent();
  TM->tmHeight = F.Height();
  TM->tmInternalLeading = std::max(0, F.Height() - static_cast<int32_t>(std::lround(F.Em())));
  TM->tmExternalLeading = 0;
  TM->tmAveCharWidth = F.AveCharWidth();
  TM->tmMaxCharWidth = F.Test() ? F.TestAdvance() : std::max(F.AveCharWidth(), F.Width("W"));
  return true;
}

bool ExtTextOut(HDC DC, int32_t X, int32_t Y, uint32_t Options, const TRect* R, const std::string& Text,
                const int32_t* Dx) {
  if (!DC) return false;
  DC->RequiredState();
  TDevice D(DC);
  if (!D.Valid()) return true;
  TCanvasState& St = D.St;
  if (St.TextAlign & TA_UPDATECP) {
    X = DC->PenPos().X;
    Y = DC->PenPos().Y;
  }
  if ((Options & ETO_OPAQUE) && R && !IsRectEmpty(*R)) {
    uint32_t BV = D.Native(St.BkColor);
    for (int32_t Yy = D.RowFrom(R->Top); Yy < D.RowTo(R->Bottom); ++Yy) D.FillSpan(D.DY(Yy), D.DX(R->Left), D.DX(R->Right), BV, R2_COPYPEN);
  }
  TTextFont F(*DC->Font());
  std::vector<std::string> Cs = Chars(Text);
  // Pen positions of every character along the line, relative to the line start.
  std::vector<double> Pos(Cs.size() + 1, 0.0);
  std::vector<double> Adv = Dx ? std::vector<double>(Dx, Dx + Cs.size()) : F.Advances(Cs);
  for (size_t I = 0; I < Cs.size(); ++I) Pos[I + 1] = Pos[I] + Adv[I];
  int32_t Width = static_cast<int32_t>(std::lround(Pos.back()));
  uint32_t HA = St.TextAlign & 6, VA = St.TextAlign & 24;
  double OX = HA == TA_CENTER ? -Width / 2.0 : HA == TA_RIGHT ? -Width : 0;
  if (HA == TA_CENTER) OX = -static_cast<double>(Width / 2);
  double Base = VA == TA_BASELINE ? 0 : VA == TA_BOTTOM ? -F.Descent() : F.Ascent();
  double Angle = DC->Font()->Orientation() / 10.0 * M_PI / 180.0;
  double Cs_ = std::cos(Angle), Sn = std::sin(Angle);
  int32_t RX = D.DX(X), RY = D.DY(Y);
  // Maps a point of the unrotated line box (relative to the reference point) to the device.
  auto Map = [&](double U, double V) { return std::pair<double, double>(RX + U * Cs_ + V * Sn, RY - U * Sn + V * Cs_); };
  double Top = Base - F.Ascent(), Bottom = Base + F.Descent();
  // Device bounding box of the line.
  double MinX = 1e300, MinY = 1e300, MaxX = -1e300, MaxY = -1e300;
  for (auto [U, V] : {std::pair<double, double>{OX, Top}, {OX + Width, Top}, {OX, Bottom}, {OX + Width, Bottom}}) {
    auto [Px, Py] = Map(U, V);
    MinX = std::min(MinX, Px);
    MinY = std::min(MinY, Py);
    MaxX = std::max(MaxX, Px);
    MaxY = std::max(MaxY, Py);
  }
  // Only the part of the line's box inside the bitmap is rendered.
  double BXd = std::max<double>(std::floor(MinX) - 2, D.Bounds.Left), BYd = std::max<double>(std::floor(MinY) - 2, D.Bounds.Top);
  double BRd = std::min<double>(std::ceil(MaxX) + 3, D.Bounds.Right), BBd = std::min<double>(std::ceil(MaxY) + 3, D.Bounds.Bottom);
  auto UpdatePosition = [&] {
    if (St.TextAlign & TA_UPDATECP) {
      auto [Ex, Ey] = Map(OX + Width, 0);
      TCanvasAccess::PenPos(DC) =
          TPoint(static_cast<int32_t>(std::lround(Ex)) - D.OrgX, static_cast<int32_t>(std::lround(Ey)) - D.OrgY);
    }
  };
  if (BRd <= BXd || BBd <= BYd) {
    UpdatePosition();
    return true;
  }
  int32_t BX = static_cast<int32_t>(BXd), BY = static_cast<int32_t>(BYd);
  int32_t BW = static_cast<int32_t>(BRd - BXd), BH = static_cast<int32_t>(BBd - BYd);
  TRect Clip(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  if ((Options & ETO_CLIPPED) && R) Clip = TRect(D.DX(R->Left), D.DY(R->Top), D.DX(R->Right), D.DY(R->Bottom));
  auto InClip = [&](int32_t Px, int32_t Py) { return PtInRect(Clip, TPoint(Px, Py)); };

  // Opaque background: the character cells.
  if (St.BkMode == OPAQUE && Width > 0) {
    uint32_t BV = D.Native(St.BkColor);
    for (int32_t Py = BY; Py < BY + BH; ++Py)
      for (int32_t Px = BX; Px < BX + BW; ++Px) {
        double Ux = Px - RX, Vy = Py - RY;
        double U = Ux * Cs_ - Vy * Sn, V = Ux * Sn + Vy * Cs_;
        if (U >= OX - 1e-9 && U < OX + Width - 1e-9 && V >= Top - 1e-9 && V < Bottom - 1e-9 && InClip(Px, Py) && D.Visible(Px, Py))
          D.S.Set(Px, Py, BV);
      }
  }

  // Coverage mask of the glyphs.
  cairo_surface_t* Mask = cairo_image_surface_create(CAIRO_FORMAT_A8, BW, BH);
  cairo_t* Cr = cairo_create(Mask);
  cairo_translate(Cr, RX - BX, RY - BY);
  cairo_rotate(Cr, -Angle);
  cairo_set_source_rgba(Cr, 0, 0, 0, 1);
  if (F.Test()) {
    cairo_set_antialias(Cr, CAIRO_ANTIALIAS_NONE);
    for (size_t I = 0; I < Cs.size(); ++I) {
      if (Cs[I] == " " || Cs[I] == "\t") continue;
      double X0 = OX + Pos[I], W = std::max(1.0, Pos[I + 1] - Pos[I] - 1);
      cairo_rectangle(Cr, X0, Top + 1, W, Base - Top - 1);
    }
    cairo_fill(Cr);
  } else {
    for (size_t I = 0; I < Cs.size(); ++I) {
      cairo_set_scaled_font(Cr, F.ScaledFor(Cs[I]));
      cairo_move_to(Cr, OX + Pos[I], Base);
      cairo_show_text(Cr, Cs[I].c_str());
    }
  }
  TFontStyles Sty = DC->Font()->Style();
  double Thick = std::max(1.0, std::round(F.Em() / 14.0));
  cairo_set_antialias(Cr, CAIRO_ANTIALIAS_NONE);
  if (Sty.Contains(TFontStyle::fsUnderline)) {
    cairo_rectangle(Cr, OX, Base + std::max(1.0, std::round(F.Descent() / 2.0)) - Thick / 2 + 0.5, Width, Thick);
    cairo_fill(Cr);
  }
  if (Sty.Contains(TFontStyle::fsStrikeOut)) {
    cairo_rectangle(Cr, OX, Base - std::round(F.Ascent() / 3.0), Width, Thick);
    cairo_fill(Cr);
  }
  cairo_destroy(Cr);
  cairo_surface_flush(Mask);
  const unsigned char* Data = cairo_image_surface_get_data(Mask);
  int Stride = cairo_image_surface_get_stride(Mask);
  uint32_t TV = D.Native(St.TextColor);
  for (int32_t J = 0; J < BH; ++J)
    for (int32_t I = 0; I < BW; ++I) {
      int C = Data[static_cast<int64_t>(J) * Stride + I];
      if (C && InClip(BX + I, BY + J)) BlendPixel(D, BX + I, BY + J, St.TextColor, TV, C);
    }
  cairo_surface_destroy(Mask);
  UpdatePosition();
  return true;
}

bool TextOut(HDC DC, int32_t X, int32_t Y, const std::string& Text) { return ExtTextOut(DC, X, Y, 0, nullptr, Text); }

void TCanvas::TextOut(int32_t X, int32_t Y, const std::string& Text) {
  Changing();
  RequiredState();
  ExtTextOut(this, X, Y, FTextFlags, nullptr, Text);
  FPenPos = TPoint(X + TextWidth(Text), Y);
  Changed();
}

void TCanvas::TextRect(const TRect& R, int32_t X, int32_t Y, const std::string& Text) {
  Changing();
  RequiredState();
  uint32_t Options = ETO_CLIPPED | FTextFlags;
  if (FBrush.Style() != TBrushStyle::bsClear) Options |= ETO_OPAQUE;
  ExtTextOut(this, X, Y, Options, &R, Text);
  Changed();
}

TSize TCanvas::TextExtent(const std::string& Text) {
  TSize S;
  GetTextExtentPoint32(this, Text, &S);
  return S;
}

// ---------------------------------------------------------------- DrawText

namespace {

struct TLine {
  std::string Text;
  int Prefix = -1;  // character index to underline
};

TLine StripPrefix(const std::string& S, uint32_t Format) {
  TLine L;
  if (Format & DT_NOPREFIX) {
    L.Text = S;
    return L;
  }
  int Index = 0;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '&' && I + 1 < S.size()) {
      ++I;
      if (S[I] != '&') L.Prefix = Index;
    }
    L.Text += S[I];
    if ((static_cast<unsigned char>(S[I]) & 0xC0) != 0x80) ++Index;
  }
  // A lone ampersand at the end stays.
  return L;
}

}  // namespace

int DrawText(HDC DC, const std::string& Text, TRect& R, uint32_t Format) {
  if (!DC) return 0;
  DC->RequiredState();
  TTextFont F(*DC->Font());
  int32_t LH = F.Height();
  std::string Src = Text;
  if (Format & DT_EXPANDTABS) {
    std::string T;
    for (char C : Src) T += C == '\t' ? std::string(8, ' ') : std::string(1, C);
    Src = T;
  }
  // Paragraphs, then word-broken lines.
  std::vector<std::string> Paras;
  if (Format & DT_SINGLELINE) {
    Paras.push_back(Src);
  } else {
    std::string Cur;
    for (size_t I = 0; I < Src.size(); ++I) {
      if (Src[I] == '\r') {
        if (I + 1 < Src.size() && Src[I + 1] == '\n') ++I;
        Paras.push_back(Cur);
        Cur.clear();
      } else if (Src[I] == '\n') {
        Paras.push_back(Cur);
        Cur.clear();
      } else {
        Cur += Src[I];
      }
    }
    Paras.push_back(Cur);
  }
  int32_t MaxW = R.Width();
  auto Measure = [&](const std::string& S) { return F.Width(StripPrefix(S, Format).Text); };
  std::vector<std::string> Lines;
  for (const std::string& P : Paras) {
    if (!(Format & DT_WORDBREAK) || (Format & DT_SINGLELINE) || Measure(P) <= MaxW) {
      Lines.push_back(P);
      continue;
    }
    std::string Cur;
    size_t I = 0;
    while (I < P.size()) {
      size_t J = P.find(' ', I);
      std::string Word = P.substr(I, J == std::string::npos ? std::string::npos : J - I);
      std::string Try = Cur.empty() ? Word : Cur + " " + Word;
      if (!Cur.empty() && Measure(Try) > MaxW) {
        Lines.push_back(Cur);
        Cur = Word;
      } else {
        Cur = Try;
      }
      if (J == std::string::npos) break;
      I = J + 1;
    }
    Lines.push_back(Cur);
  }
  // Ellipses shorten single lines that do not fit.
  if (Format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
    for (std::string& L : Lines) {
      if (Measure(L) <= MaxW) continue;
      std::vector<std::string> Cs = Chars(L);
      bool Path = Format & DT_PATH_ELLIPSIS;
      std::string Out;
      for (size_t Keep = Cs.size(); Keep-- > 0;) {
        std::string Head, Tail;
        if (Path) {
          size_t H = Keep / 2, T = Keep - H;
          for (size_t I = 0; I < H; ++I) Head += Cs[I];
          for (size_t I = Cs.size() - T; I < Cs.size(); ++I) Tail += Cs[I];
        } else {
          for (size_t I = 0; I < Keep; ++I) Head += Cs[I];
        }
        Out = Head + "..." + Tail;
        if (Measure(Out) <= MaxW || Keep == 0) break;
      }
      L = Out;
    }
  }
  int32_t Total = LH * static_cast<int32_t>(Lines.size());
  if (Format & DT_CALCRECT) {
    int32_t W = 0;
    for (const std::string& L : Lines) W = std::max(W, Measure(L));
    R.Right = R.Left + W;
    R.Bottom = R.Top + Total;
    return Total;
  }
  int32_t Y = R.Top;
  if (Format & DT_SINGLELINE) {
    if (Format & DT_VCENTER) Y = R.Top + (R.Height() - LH) / 2;
    else if (Format & DT_BOTTOM) Y = R.Bottom - LH;
  }
  uint32_t OldAlign = SetTextAlign(DC, TA_LEFT | TA_TOP);
  for (const std::string& Raw : Lines) {
    TLine L = StripPrefix(Raw, Format);
    int32_t W = F.Width(L.Text);
    int32_t X = R.Left;
    if (Format & DT_CENTER) X = R.Left + (R.Width() - W) / 2;
    else if (Format & DT_RIGHT) X = R.Right - W;
    if (!(Format & DT_PREFIXONLY))
      ExtTextOut(DC, X, Y, (Format & DT_NOCLIP) ? 0 : ETO_CLIPPED, &R, L.Text);
    if (L.Prefix >= 0 && !(Format & DT_HIDEPREFIX)) {
      std::vector<std::string> Cs = Chars(L.Text);
      std::string Before;
      for (int I = 0; I < L.Prefix && I < static_cast<int>(Cs.size()); ++I) Before += Cs[static_cast<size_t>(I)];
      int32_t X0 = X + F.Width(Before);
      int32_t X1 = X0 + (L.Prefix < static_cast<int>(Cs.size()) ? F.Width(Cs[static_cast<size_t>(L.Prefix)]) : 0);
      TDevice D(DC);
      if (D.Valid()) {
        uint32_t TV = D.Native(D.St.TextColor);
        int32_t UY = Y + F.Ascent() + 1;
        if ((Format & DT_NOCLIP) || (UY >= R.Top && UY < R.Bottom))
          D.FillSpan(D.DY(UY), D.DX(std::max(X0, (Format & DT_NOCLIP) ? X0 : R.Left)),
                     D.DX(std::min(X1, (Format & DT_NOCLIP) ? X1 : R.Right)), TV, R2_COPYPEN);
      }
    }
    Y += LH;
  }
  SetTextAlign(DC, OldAlign);
  return (Format & DT_SINGLELINE) && (Format & (DT_VCENTER | DT_BOTTOM)) ? Y - R.Top : Total;
}
