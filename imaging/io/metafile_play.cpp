// Playback of WMF and EMF records. Geometry is mapped to device pixels here (window and viewport,
// map modes, world transform, and the fit of the picture's frame into the destination); the canvas
// then fills and strokes in device pixels with the platform's rules. Every record is checked against
// its own size and the file before any of its fields is read.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>

#include "imaging/io/metafile.h"
#include "platform/base/codepage.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/region.h"
#include "platform/graphics/shapes.h"

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
int32_t S32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }
float F32(const uint8_t* p) {
  uint32_t u = U32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return std::isfinite(f) ? f : 0.0f;
}

struct TPt {
  double X = 0, Y = 0;
};

// A count from a measure that may be huge or not a number.
int ClampCount(double V, int Lo, int Hi) {
  if (!(V >= Lo)) return Lo;
  return V >= Hi ? Hi : static_cast<int>(V);
}
struct TFigure {
  std::vector<TPt> P;
  bool Closed = false;
};

// x' = x M11 + y M21 + Dx, y' = x M12 + y M22 + Dy
struct TXform {
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
  TPt Apply(TPt p) const { return {p.X * M11 + p.Y * M21 + Dx, p.X * M12 + p.Y * M22 + Dy}; }
  // this, then B
  TXform Then(const TXform& B) const {
    return {M11 * B.M11 + M12 * B.M21, M11 * B.M12 + M12 * B.M22, M21 * B.M11 + M22 * B.M21,
            M21 * B.M12 + M22 * B.M22, Dx * B.M11 + Dy * B.M21 + B.Dx, Dx * B.M12 + Dy * B.M22 + B.Dy};
  }
};

// GDI objects as the records describe them (sizes in logical units).
struct TObj {
  enum TKind : uint8_t { None, Pen, Brush, Font, Other } Kind = None;
  uint32_t Style = 0;  // pen or brush style
  double Width = 0;    // pen
  COLORREF Color = 0;
  uint32_t Hatch = 0;  // brush
  int32_t Height = 0, Escapement = 0, Weight = 400;  // font
  bool Italic = false, Underline = false, StrikeOut = false;
  std::string Face;
  std::vector<double> Dashes;  // a pen's own dash and gap lengths
};

constexpr uint32_t PS_NULL = 5, PS_USERSTYLE = 7, PS_STYLE_MASK = 0xF, PS_GEOMETRIC = 0x10000,
                   PS_ENDCAP_MASK = 0xF00, PS_ENDCAP_FLAT = 0x200;
constexpr uint32_t BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2;
constexpr int MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5, MM_TWIPS = 6,
              MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8;

TObj StockObject(uint32_t I) {
  TObj o;
  switch (I) {
    case 0: o.Kind = TObj::Brush; o.Color = RGB(255, 255, 255); break;
    case 1: o.Kind = TObj::Brush; o.Color = RGB(192, 192, 192); break;
    case 2: o.Kind = TObj::Brush; o.Color = RGB(128, 128, 128); break;
    case 3: o.Kind = TObj::Brush; o.Color = RGB(64, 64, 64); break;
    case 4: o.Kind = TObj::Brush; o.Color = 0; break;
    case 5: o.Kind = TObj::Brush; o.Style = BS_NULL; break;
    case 6: o.Kind = TObj::Pen; o.Color = RGB(255, 255, 255); break;
    case 7: o.Kind = TObj::Pen; o.Color = 0; break;
    case 8: o.Kind = TObj::Pen; o.Style = PS_NULL; break;
    case 10: case 11: case 12: case 13: case 14: case 16: case 17:
      o.Kind = TObj::Font;
      o.Height = -12;
      break;
    case 18: o.Kind = TObj::Brush; o.Color = RGB(255, 255, 255); break;
    case 19: o.Kind = TObj::Pen; o.Color = 0; break;
    default: break;
  }
  return o;
}

struct TDC {
  int MapMode = MM_TEXT;
  TPt WOrg{0, 0}, WExt{1, 1}, VOrg{0, 0}, VExt{1, 1};
  TXform World;
  TObj Pen = StockObject(7), Brush = StockObject(0), Font = StockObject(13);
  int PolyFill = ALTERNATE, BkMode = OPAQUE, Rop2 = R2_COPYPEN;
  COLORREF BkColor = RGB(255, 255, 255), TextColor = 0;
  uint32_t TextAlign = 0;
  TPt Cur;
  bool Clockwise = false;
  // Shared between saved states: a deep save stack costs no copies of a large clip.
  std::shared_ptr<const TRegion> Clip;
};

// A decoded device-independent bitmap: rows top-down, 0xAARRGGBB.
struct TDib {
  int32_t W = 0, H = 0;
  std::vector<uint32_t> Px;
  bool HasAlpha = false;
};

constexpr int64_t MaxDibPixels = int64_t(64) << 20;

// Decodes a packed DIB (header, colour table, bits). False for what is damaged or not supported.
bool DecodeDib(const uint8_t* Bmi, uint64_t BmiLen, const uint8_t* Bits, uint64_t BitsLen, TDib& Out) {
  if (!Bmi || BmiLen < 12) return false;
  const uint32_t hs = U32(Bmi);
  int32_t w, h;
  uint32_t bpp, comp = 0, used = 0;
  bool core = false;
  if (hs == 12) {
    core = true;
    w = U16(Bmi + 4);
    h = S16(Bmi + 6);
    bpp = U16(Bmi + 10);
  } else {
    if (hs < 40 || hs > BmiLen) return false;
    w = S32(Bmi + 4);
    h = S32(Bmi + 8);
    bpp = U16(Bmi + 14);
    comp = U32(Bmi + 16);
    used = U32(Bmi + 32);
  }
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  const bool topDown = h < 0;
  h = std::abs(h);
  if (static_cast<int64_t>(w) * h > MaxDibPixels) return false;
  if (comp != 0 && comp != 3) return false;  // run-length and embedded JPEG/PNG pictures are not drawn
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  // Colour table (or the three masks of BI_BITFIELDS).
  std::vector<uint32_t> pal;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  uint64_t off = hs;
  if (bpp <= 8) {
    uint64_t n = used ? std::min<uint64_t>(used, 1u << bpp) : (1u << bpp);
    const uint64_t es = core ? 3 : 4;
    if (off + n * es > BmiLen) n = (BmiLen - off) / es;
    for (uint64_t i = 0; i < n; ++i) {
      const uint8_t* e = Bmi + off + i * es;
      pal.push_back(0xFF000000u | (e[2] << 16) | (e[1] << 8) | e[0]);
    }
    pal.resize(1u << bpp, 0xFF000000u);
  } else if (comp == 3) {
    if (hs == 40) {
      if (off + 12 > BmiLen) return false;
      for (int i = 0; i < 3; ++i) masks[i] = U32(Bmi + off + 4 * i);
    } else if (hs >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = U32(Bmi + 40 + 4 * i);
    }
  }
  const uint64_t row = ((static_cast<uint64_t>(w) * bpp + 31) / 32) * 4;
  if (!Bits || row * h > BitsLen) return false;
  auto field = [](uint32_t v, uint32_t m) -> uint32_t {
    if (!m) return 0;
    int sh = std::countr_zero(m);
    uint32_t x = (v & m) >> sh, top = m >> sh;
    return top ? x * 255 / top : 0;
  };
  Out.W = w;
  Out.H = h;
  Out.Px.assign(static_cast<size_t>(w) * h, 0);
  Out.HasAlpha = false;
  bool anyAlpha = false;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* r = Bits + row * (topDown ? y : h - 1 - y);
    uint32_t* o = Out.Px.data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      uint32_t c = 0xFF000000u;
      switch (bpp) {
        case 1: c = pal[(r[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: c = pal[(r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
        case 8: c = pal[r[x]]; break;
        case 16: {
          uint32_t v = U16(r + 2 * x);
          c = 0xFF000000u | (field(v, masks[0]) << 16) | (field(v, masks[1]) << 8) | field(v, masks[2]);
          break;
        }
        case 24: c = 0xFF000000u | (r[3 * x + 2] << 16) | (r[3 * x + 1] << 8) | r[3 * x]; break;
        case 32: {
          uint32_t v = U32(r + 4 * x);
          c = (field(v, masks[0]) << 16) | (field(v, masks[1]) << 8) | field(v, masks[2]) | (v & 0xFF000000u);
          if (v & 0xFF000000u) anyAlpha = true;
          break;
        }
      }
      o[x] = c;
    }
  }
  if (bpp == 32) {
    // 32-bit rows with no alpha at all are opaque.
    Out.HasAlpha = anyAlpha;
    if (!anyAlpha)
      for (uint32_t& c : Out.Px) c |= 0xFF000000u;
  }
  return true;
}

// Bytes of a packed DIB's header and colour table, for records that store the bits right behind them.
uint64_t DibHeaderBytes(const uint8_t* Bmi, uint64_t Len) {
  if (Len < 12) return 0;
  const uint32_t hs = U32(Bmi);
  if (hs == 12) {
    const uint32_t bpp = U16(Bmi + 10);
    return 12 + (bpp <= 8 ? 3u * (1u << bpp) : 0);
  }
  if (hs < 40 || Len < 40) return 0;
  const uint32_t bpp = U16(Bmi + 14), comp = U32(Bmi + 16), used = U32(Bmi + 32);
  uint64_t n = bpp <= 8 ? (used ? std::min<uint64_t>(used, 1u << bpp) : (1u << bpp)) : used;
  if (comp == 3 && hs == 40) n += 3;
  return hs + 4 * std::min<uint64_t>(n, 1u << 16);
}

class TPlayer {
 public:
  TPlayer(TCanvas& C, const std::vector<uint8_t>& Data, const TQxMetafile::THeader& H, bool Emf, const TRect& Dest)
      : C(C), D(Data), H(H), Emf(Emf), Dest(Dest) {
    TBitmap* b = C.Bitmap();
    const int32_t bw = b ? b->Width() : 0, bh = b ? b->Height() : 0;
    Win = TRect(-2, -2, bw + 2, bh + 2);
    if (Emf) {
      const double fw = H.FrameRight - H.FrameLeft, fh = H.FrameBottom - H.FrameTop;
      PX = fw != 0 ? Dest.Width() / fw : 1;
      PY = fh != 0 ? Dest.Height() / fh : 1;
      if (D.size() >= 60) Objects.resize(U16(D.data() + 56));
    } else {
      S.MapMode = MM_ANISOTROPIC;
      S.WOrg = {double(H.BoxLeft), double(H.BoxTop)};
      S.WExt = {double(H.BoxRight - H.BoxLeft), double(H.BoxBottom - H.BoxTop)};
      if (S.WExt.X == 0) S.WExt.X = 1;
      if (S.WExt.Y == 0) S.WExt.Y = 1;
      Objects.resize(H.Objects);
    }
  }

  bool Run() {
    SaveDC(&C);
    const bool ok = Emf ? RunEmf() : RunWmf();
    RestoreDC(&C, -1);
    return ok;
  }

 private:
  TCanvas& C;
  const std::vector<uint8_t>& D;
  const TQxMetafile::THeader& H;
  bool Emf;
  TRect Dest, Win;
  double PX = 1, PY = 1;
  TDC S;
  std::vector<TDC> Saved;
  std::vector<TObj> Objects;
  bool InPath = false;
  std::vector<TFigure> Path;
  // Dashes one playback may cut; past them lines are drawn solid.
  size_t FDashBudget = size_t(1) << 21;
  bool ClipDirty = true;

  // ---- coordinates

  // Page space to device pixels, as a transform of the page point.
  TXform PageToDevice() const {
    double sx = 1, sy = 1;
    auto fixed = [&](double mm) {
      sx = mm * (Emf ? H.DevPerMmX : 96 / 25.4);
      sy = -mm * (Emf ? H.DevPerMmY : 96 / 25.4);
    };
    switch (Emf ? S.MapMode : MM_ANISOTROPIC) {
      case MM_LOMETRIC: fixed(0.1); break;
      case MM_HIMETRIC: fixed(0.01); break;
      case MM_LOENGLISH: fixed(0.254); break;
      case MM_HIENGLISH: fixed(0.0254); break;
      case MM_TWIPS: fixed(25.4 / 1440); break;
      case MM_ISOTROPIC:
      case MM_ANISOTROPIC: {
        sx = S.WExt.X != 0 ? S.VExt.X / S.WExt.X : 1;
        sy = S.WExt.Y != 0 ? S.VExt.Y / S.WExt.Y : 1;
        if (S.MapMode == MM_ISOTROPIC && Emf) {
          const double m = std::min(std::fabs(sx), std::fabs(sy));
          sx = std::copysign(m, sx);
          sy = std::copysign(m, sy);
        }
        break;
      }
      default: break;
    }
    TXform t;
    if (Emf) {
      t = {sx, 0, 0, sy, S.VOrg.X - S.WOrg.X * sx, S.VOrg.Y - S.WOrg.Y * sy};
      // Reference device pixels to the destination.
      TXform fit{PX, 0, 0, PY, Dest.Left - H.FrameLeft * PX, Dest.Top - H.FrameTop * PY};
      return t.Then(fit);
    }
    // Metafiles of the old kind map their window onto the destination.
    sx = S.WExt.X != 0 ? Dest.Width() / S.WExt.X : 1;
    sy = S.WExt.Y != 0 ? Dest.Height() / S.WExt.Y : 1;
    return {sx, 0, 0, sy, Dest.Left - S.WOrg.X * sx, Dest.Top - S.WOrg.Y * sy};
  }
  TXform Full() const { return S.World.Then(PageToDevice()); }
  TPt Dev(double X, double Y) const { return Full().Apply({X, Y}); }
  double Scale() const {
    const TXform f = Full();
    return std::sqrt(std::fabs(f.M11 * f.M22 - f.M12 * f.M21));
  }
  static int32_t Px(double V) {
    if (!std::isfinite(V)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(V, -16777216.0, 16777216.0)));
  }

  // ---- drawing

  void ApplyClip() {
    if (!ClipDirty) return;
    ClipDirty = false;
    SelectClipRgn(&C, S.Clip.get());
  }

  static void MakeBrush(TBrush& br, const TObj& B) {
    br.SetColor(static_cast<TColor>(B.Color & 0xFFFFFF));
    br.SetBitmap(nullptr);
    br.SetStyle(TBrushStyle::bsSolid);
    if (B.Style == BS_HATCHED) {
      static const TBrushStyle hs[] = {TBrushStyle::bsHorizontal, TBrushStyle::bsVertical, TBrushStyle::bsFDiagonal,
                                       TBrushStyle::bsBDiagonal, TBrushStyle::bsCross, TBrushStyle::bsDiagCross};
      br.SetStyle(B.Hatch < 6 ? hs[B.Hatch] : TBrushStyle::bsSolid);
    }
  }

  void Fill(const std::vector<TFigure>& Figs) {
    if (S.Brush.Style == BS_NULL || S.Brush.Kind != TObj::Brush) return;
    std::vector<TPoint> pts;
    std::vector<int> counts;
    for (const TFigure& f : Figs) {
      if (f.P.size() < 2) continue;
      for (const TPt& p : f.P) pts.push_back(TPoint(Px(p.X), Px(p.Y)));
      counts.push_back(static_cast<int>(f.P.size()));
    }
    if (counts.empty()) return;
    qvgfx::TShape sh =
        qvgfx::PolygonShape(pts.data(), counts.data(), static_cast<int>(counts.size()), S.PolyFill, Win);
    TRegion rgn = TRegion::FromRows(sh.Top, sh.Rows);
    if (rgn.IsEmpty()) return;
    ApplyClip();
    SetROP2(&C, S.Rop2);
    TBrush br;
    MakeBrush(br, S.Brush);
    FillRgn(&C, rgn, br);
  }

  // The canvas pen for the selected pen; false when it draws nothing.
  bool SetupPen(int32_t& W) {
    const TObj& p = S.Pen;
    W = 1;
    if (p.Kind != TObj::Pen || (p.Style & PS_STYLE_MASK) == PS_NULL) return false;
    TPen* pen = C.Pen();
    pen->SetColor(static_cast<TColor>(p.Color & 0xFFFFFF));
    if (p.Width > 0 && (p.Style & PS_GEOMETRIC || !Emf || p.Width > 1)) W = std::max(1, Px(p.Width * Scale()));
    W = std::min<int32_t>(W, 1 << 16);
    pen->SetWidth(W);
    static const TPenStyle st[] = {TPenStyle::psSolid, TPenStyle::psDash, TPenStyle::psDot, TPenStyle::psDashDot,
                                   TPenStyle::psDashDotDot, TPenStyle::psClear, TPenStyle::psInsideFrame};
    const uint32_t s = p.Style & PS_STYLE_MASK;
    pen->SetStyle(s < 7 ? st[s] : TPenStyle::psSolid);
    SetROP2(&C, S.Rop2);
    SetBkMode(&C, S.BkMode);
    SetBkColor(&C, static_cast<TColor>(S.BkColor & 0xFFFFFF));
    return true;
  }

  // Dash and gap lengths in device pixels of a pen wider than one pixel; empty for a solid one.
  // One-pixel pens are dashed by the canvas itself.
  std::vector<double> DashPattern(int32_t W) const {
    const TObj& p = S.Pen;
    const uint32_t st = p.Style & PS_STYLE_MASK;
    std::vector<double> d;
    if (st == PS_USERSTYLE) {
      const double sc = Scale();
      for (double e : p.Dashes) d.push_back(std::max(0.0, e * sc));
    } else if (W > 1) {
      const double w = W;
      switch (st) {
        case 1: d = {3 * w, w}; break;
        case 2: d = {w, w}; break;
        case 3: d = {3 * w, w, w, w}; break;
        case 4: d = {3 * w, w, w, w, w, w}; break;
        default: break;
      }
    }
    double total = 0;
    for (double e : d) total += e;
    if (d.size() < 2 || !(total >= 1) || !std::isfinite(total)) d.clear();
    return d;
  }

  // The pieces of a polyline that a dash pattern draws. Only the parts near the bitmap are cut into
  // dashes (the pattern's phase runs on over the rest), and one playback cuts a bounded number of them.
  std::vector<std::vector<TPt>> Dashed(const std::vector<TPt>& P, const std::vector<double>& D, double Margin) {
    std::vector<std::vector<TPt>> out;
    double period = 0;
    for (double e : D) period += e;
    size_t k = 0;
    double left = D[0];
    bool on = true;
    std::vector<TPt> cur;
    auto flush = [&]() {
      if (on && cur.size() > 1) out.push_back(std::move(cur));
      cur.clear();
    };
    auto next = [&]() {
      on = !on;
      k = (k + 1) % D.size();
      left = D[k];
    };
    // Moves the pattern on by Len without drawing.
    auto skip = [&](double Len) {
      if (Len <= 0) return;
      flush();
      if (Len > period) Len = std::fmod(Len, period);
      for (size_t guard = 0; Len > 0 && guard <= 2 * D.size(); ++guard) {
        const double step = std::min(Len, left);
        Len -= step;
        left -= step;
        if (left <= 1e-9) next();
      }
    };
    const double x0 = Win.Left - Margin, y0 = Win.Top - Margin, x1 = Win.Right + Margin, y1 = Win.Bottom + Margin;
    for (size_t i = 1; i < P.size(); ++i) {
      const TPt a = P[i - 1], b = P[i];
      const double len = std::hypot(b.X - a.X, b.Y - a.Y);
      if (!(len > 0) || !std::isfinite(len)) continue;
      // The part of the segment inside the grown bitmap, as a share [t0, t1] of it.
      double t0 = 0, t1 = 1;
      const double dx = b.X - a.X, dy = b.Y - a.Y;
      auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) t0 = std::max(t0, r);
        else t1 = std::min(t1, r);
        return true;
      };
      const bool inside = clip(-dx, a.X - x0) && clip(dx, x1 - a.X) && clip(-dy, a.Y - y0) && clip(dy, y1 - a.Y) && t0 < t1;
      if (!inside || FDashBudget == 0) {
        skip(len);
        continue;
      }
      skip(t0 * len);
      TPt at{a.X + dx * t0, a.Y + dy * t0};
      double seg = (t1 - t0) * len;
      if (on && cur.empty()) cur.push_back(at);
      while (seg > 0 && FDashBudget > 0) {
        --FDashBudget;
        const double step = std::min(seg, left);
        at = {at.X + dx / len * step, at.Y + dy / len * step};
        if (on) cur.push_back(at);
        seg -= step;
        left -= step;
        if (left <= 1e-9) {
          flush();
          next();
          if (on) cur.push_back(at);
        }
      }
      if (t1 < 1) skip((1 - t1) * len);
    }
    flush();
    return out;
  }

  // Shortens a polyline by D at both ends; false when nothing is left.
  static bool Trim(std::vector<TPt>& P, double D) {
    auto cut = [&](std::vector<TPt>& L) {
      double left = D;
      while (L.size() >= 2) {
        const double len = std::hypot(L[1].X - L[0].X, L[1].Y - L[0].Y);
        if (len > left) {
          const double t = left / len;
          L[0] = {L[0].X + (L[1].X - L[0].X) * t, L[0].Y + (L[1].Y - L[0].Y) * t};
          return true;
        }
        left -= len;
        L.erase(L.begin());
      }
      return false;
    };
    if (!cut(P)) return false;
    std::reverse(P.begin(), P.end());
    return cut(P);
  }

  void Stroke(const std::vector<TFigure>& Figs) {
    int32_t w = 1;
    ApplyClip();
    if (!SetupPen(w)) return;
    const std::vector<double> dash = FDashBudget ? DashPattern(w) : std::vector<double>();
    if (!dash.empty()) {
      C.Pen()->SetStyle(TPenStyle::psSolid);
      for (const TFigure& f : Figs) {
        std::vector<TPt> pts = f.P;
        if (f.Closed && pts.size() > 1) pts.push_back(pts.front());
        for (std::vector<TPt>& piece : Dashed(pts, dash, w + 2.0)) {
          // The canvas caps wide lines round; flat caps end where the dash ends.
          if ((S.Pen.Style & PS_ENDCAP_MASK) == PS_ENDCAP_FLAT && w > 1 && !Trim(piece, w / 2.0)) continue;
          std::vector<TPoint> ip;
          for (const TPt& q : piece) ip.push_back(TPoint(Px(q.X), Px(q.Y)));
          C.Polyline(ip);
        }
      }
      return;
    }
    for (const TFigure& f : Figs) {
      if (f.P.empty()) continue;
      std::vector<TPoint> pts;
      pts.reserve(f.P.size() + 1);
      for (const TPt& q : f.P) pts.push_back(TPoint(Px(q.X), Px(q.Y)));
      if (f.Closed && pts.size() > 1) pts.push_back(pts.front());
      if (pts.size() == 1) pts.push_back(pts.front());
      if (pts.size() == 2 && pts[0] == pts[1]) {
        // A dot: one pixel.
        if (w <= 1) C.Polyline({pts[0], TPoint(pts[0].X + 1, pts[0].Y)});
        continue;
      }
      C.Polyline(pts);
    }
  }

  // A shape: added to the open path, or filled and outlined at once.
  void Draw(std::vector<TFigure> Figs, bool Filled) {
    if (InPath) {
      for (TFigure& f : Figs) Path.push_back(std::move(f));
      return;
    }
    if (Filled) Fill(Figs);
    Stroke(Figs);
  }

  // ---- figures in logical space

  TFigure Poly(const std::vector<TPt>& L, bool Closed) const {
    TFigure f;
    f.Closed = Closed;
    const TXform t = Full();
    f.P.reserve(L.size());
    for (const TPt& p : L) f.P.push_back(t.Apply(p));
    return f;
  }

  // Cubic Bézier from P0 through control points to P3, appended without its first point.
  void Bezier(std::vector<TPt>& Out, TPt P0, TPt P1, TPt P2, TPt P3) const {
    const TXform t = Full();
    const TPt a = t.Apply(P0), b = t.Apply(P1), c = t.Apply(P2), d = t.Apply(P3);
    const double len = std::hypot(b.X - a.X, b.Y - a.Y) + std::hypot(c.X - b.X, c.Y - b.Y) +
                       std::hypot(d.X - c.X, d.Y - c.Y);
    const int n = ClampCount(len / 3, 2, 64);
    for (int i = 1; i <= n; ++i) {
      const double u = static_cast<double>(i) / n, v = 1 - u;
      Out.push_back({v * v * v * P0.X + 3 * v * v * u * P1.X + 3 * v * u * u * P2.X + u * u * u * P3.X,
                     v * v * v * P0.Y + 3 * v * v * u * P1.Y + 3 * v * u * u * P2.Y + u * u * u * P3.Y});
    }
  }

  int Segments(double Rx, double Ry) const {
    const double r = std::max(std::fabs(Rx), std::fabs(Ry)) * Scale();
    return ClampCount(r * std::numbers::pi, 8, 1024);
  }

  // Points of the ellipse in the box from angle A0 sweeping Sweep (radians, counter-clockwise on the
  // screen for positive values).
  void ArcPoints(std::vector<TPt>& Out, double L, double T, double R, double B, double A0, double Sweep) const {
    const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
    // A sweep of many turns draws the same ellipse again: a few turns are enough.
    const int n = ClampCount(Segments(rx, ry) * std::fabs(Sweep) / (2 * std::numbers::pi), 1, 4096);
    for (int i = 0; i <= n; ++i) {
      const double a = A0 + Sweep * i / n;
      Out.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
    }
  }
  double AngleOf(double L, double T, double R, double B, double X, double Y) const {
    const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
    return std::atan2(-(Y - cy) / (ry != 0 ? ry : 1), (X - cx) / (rx != 0 ? rx : 1));
  }
  // The arc of an Arc/Chord/Pie call from the start ray to the end ray in the current direction.
  std::vector<TPt> ArcOf(double L, double T, double R, double B, double XS, double YS, double XE, double YE) const {
    if (L > R) std::swap(L, R);
    if (T > B) std::swap(T, B);
    const double a0 = AngleOf(L, T, R, B, XS, YS), a1 = AngleOf(L, T, R, B, XE, YE);
    double sweep = a1 - a0;
    if (S.Clockwise) {
      if (sweep >= 0) sweep -= 2 * std::numbers::pi;
    } else if (sweep <= 0) {
      sweep += 2 * std::numbers::pi;
    }
    std::vector<TPt> pts;
    ArcPoints(pts, L, T, R, B, a0, sweep);
    return pts;
  }

  // Rectangles and ellipses keep the canvas's own pixels (right and bottom edges left out) when the
  // mapping neither turns nor shears them.
  bool CanvasShape(int Kind, double L, double T, double R, double B, double W = 0, double Hh = 0) {
    const TXform t = Full();
    if (InPath || t.M12 != 0 || t.M21 != 0) return false;
    const TPt a = t.Apply({L, T}), b = t.Apply({R, B});
    ApplyClip();
    int32_t w = 1;
    if (!SetupPen(w)) C.Pen()->SetStyle(TPenStyle::psClear);
    TBrush* br = C.Brush();
    if (S.Brush.Kind == TObj::Brush && S.Brush.Style != BS_NULL) {
      MakeBrush(*br, S.Brush);
    } else {
      br->SetStyle(TBrushStyle::bsClear);
    }
    SetROP2(&C, S.Rop2);
    const int32_t x1 = Px(std::min(a.X, b.X)), y1 = Px(std::min(a.Y, b.Y)), x2 = Px(std::max(a.X, b.X)),
                  y2 = Px(std::max(a.Y, b.Y));
    if (Kind == 0) C.Rectangle(x1, y1, x2, y2);
    else if (Kind == 1) C.Ellipse(x1, y1, x2, y2);
    else C.RoundRect(x1, y1, x2, y2, Px(std::fabs(W * t.M11)), Px(std::fabs(Hh * t.M22)));
    return true;
  }
  void Rect(double L, double T, double R, double B) {
    if (CanvasShape(0, L, T, R, B)) return;
    Draw({Poly({{L, T}, {R, T}, {R, B}, {L, B}}, true)}, true);
  }
  void Ellipse(double L, double T, double R, double B) {
    if (CanvasShape(1, L, T, R, B)) return;
    std::vector<TPt> pts;
    ArcPoints(pts, L, T, R, B, 0, 2 * std::numbers::pi);
    pts.pop_back();
    Draw({Poly(pts, true)}, true);
  }
  void RoundRect(double L, double T, double R, double B, double W, double Hh) {
    if (CanvasShape(2, L, T, R, B, W, Hh)) return;
    if (L > R) std::swap(L, R);
    if (T > B) std::swap(T, B);
    W = std::min(std::fabs(W), R - L);
    Hh = std::min(std::fabs(Hh), B - T);
    std::vector<TPt> pts;
    const double pi = std::numbers::pi;
    ArcPoints(pts, R - W, T, R, T + Hh, 0, pi / 2);
    ArcPoints(pts, L, T, L + W, T + Hh, pi / 2, pi / 2);
    ArcPoints(pts, L, B - Hh, L + W, B, pi, pi / 2);
    ArcPoints(pts, R - W, B - Hh, R, B, 3 * pi / 2, pi / 2);
    Draw({Poly(pts, true)}, true);
  }
  // Kind 0 arc, 1 chord, 2 pie, 3 arc-to (joined to the current position, which moves to its end).
  void ArcKind(int Kind, double L, double T, double R, double B, double XS, double YS, double XE, double YE) {
    std::vector<TPt> pts = ArcOf(L, T, R, B, XS, YS, XE, YE);
    if (Kind == 2) pts.push_back({(L + R) / 2, (T + B) / 2});
    if (Kind == 3) {
      pts.insert(pts.begin(), S.Cur);
      S.Cur = pts.back();
      LineToPath(pts, false);
      return;
    }
    Draw({Poly(pts, Kind != 0)}, Kind != 0);
  }

  // Lines that continue from the current position: inside a path they extend the open figure.
  void LineToPath(const std::vector<TPt>& Pts, bool SkipFirst) {
    if (InPath) {
      if (Path.empty() || Path.back().Closed) {
        TFigure f;
        f.P.push_back(Dev(Pts.front().X, Pts.front().Y));
        Path.push_back(std::move(f));
      }
      const TXform t = Full();
      for (size_t i = SkipFirst ? 0 : 1; i < Pts.size(); ++i) Path.back().P.push_back(t.Apply(Pts[i]));
      return;
    }
    std::vector<TPt> all = Pts;
    if (SkipFirst) all.insert(all.begin(), S.Cur);
    Stroke({Poly(all, false)});
  }
  void MoveTo(TPt P) {
    S.Cur = P;
    if (InPath) {
      TFigure f;
      f.P.push_back(Dev(P.X, P.Y));
      Path.push_back(std::move(f));
    }
  }
  void LineTo(TPt P) {
    std::vector<TPt> pts{S.Cur, P};
    LineToPath(pts, false);
    S.Cur = P;
  }
  void CloseFigure() {
    if (InPath && !Path.empty() && !Path.back().Closed) {
      Path.back().Closed = true;
      // The next line starts a figure of its own.
      TFigure f;
      f.Closed = true;
      Path.push_back(std::move(f));
    }
  }
  std::vector<TFigure> TakePath() {
    std::vector<TFigure> figs;
    for (TFigure& f : Path)
      if (!f.P.empty()) figs.push_back(std::move(f));
    Path.clear();
    return figs;
  }
  void PathOp(bool DoFill, bool DoStroke) {
    InPath = false;
    std::vector<TFigure> figs = TakePath();
    if (DoFill) {
      // A filled path closes its figures.
      std::vector<TFigure> closed = figs;
      for (TFigure& f : closed) f.Closed = true;
      Fill(closed);
    }
    if (DoStroke) Stroke(figs);
  }

  // ---- clipping (regions in device pixels)

  void CombineClip(const TRegion& R, int Mode) {
    TRegion base = S.Clip ? *S.Clip : TRegion(Win);
    switch (Mode) {
      case RGN_COPY: S.Clip = std::make_shared<const TRegion>(R); break;
      case RGN_AND: case RGN_OR: case RGN_XOR: case RGN_DIFF:
        S.Clip = std::make_shared<const TRegion>(TRegion::Combine(base, R, Mode));
        break;
      default: return;
    }
    ClipDirty = true;
  }
  TRegion RegionOf(const std::vector<TFigure>& Figs, int FillMode) const {
    std::vector<TPoint> pts;
    std::vector<int> counts;
    for (const TFigure& f : Figs) {
      if (f.P.size() < 3) continue;
      for (const TPt& p : f.P) pts.push_back(TPoint(Px(p.X), Px(p.Y)));
      counts.push_back(static_cast<int>(f.P.size()));
    }
    if (counts.empty()) return TRegion();
    qvgfx::TShape sh = qvgfx::PolygonShape(pts.data(), counts.data(), static_cast<int>(counts.size()), FillMode, Win);
    return TRegion::FromRows(sh.Top, sh.Rows);
  }
  TRegion LogicalRect(double L, double T, double R, double B) const {
    return RegionOf({Poly({{L, T}, {R, T}, {R, B}, {L, B}}, true)}, ALTERNATE);
  }

  // ---- bitmaps

  // Draws the source rectangle of Dib into the logical rectangle (nearest pixel, mirrored for negative
  // extents). Alpha blends with ConstAlpha when Blend is set.
  void DrawDib(const TDib& Dib, double XD, double YD, double WD, double HD, double XS, double YS, double WS,
               double HS, uint32_t Rop, bool Blend = false, uint8_t ConstAlpha = 255, int64_t Transparent = -1) {
    if (InPath || Dib.W <= 0 || Dib.H <= 0 || WS == 0 || HS == 0) return;
    const TPt a = Dev(XD, YD), b = Dev(XD + WD, YD + HD);
    double x0 = a.X, x1 = b.X, y0 = a.Y, y1 = b.Y;
    if (!(std::isfinite(x0) && std::isfinite(x1) && std::isfinite(y0) && std::isfinite(y1))) return;
    const bool mx = (x1 < x0) != (WS < 0), my = (y1 < y0) != (HS < 0);
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    if (WS < 0) XS += WS, WS = -WS;
    if (HS < 0) YS += HS, HS = -HS;
    const int32_t dl = Px(x0), dt = Px(y0), dr = Px(x1), db = Px(y1);
    TBitmap* target = C.Bitmap();
    if (!target) return;
    const int32_t cl = std::max(dl, 0), ct = std::max(dt, 0), cr = std::min(dr, target->Width()),
                  cb = std::min(db, target->Height());
    if (cl >= cr || ct >= cb) return;
    auto sample = [&](int32_t X, int32_t Y) -> uint32_t {
      double u = (X + 0.5 - (x0)) / (x1 - x0), v = (Y + 0.5 - (y0)) / (y1 - y0);
      u = std::clamp(u, 0.0, 1.0);
      v = std::clamp(v, 0.0, 1.0);
      if (mx) u = 1 - u;
      if (my) v = 1 - v;
      int64_t sx = static_cast<int64_t>(std::floor(XS + u * WS)), sy = static_cast<int64_t>(std::floor(YS + v * HS));
      sx = std::clamp<int64_t>(sx, 0, Dib.W - 1);
      sy = std::clamp<int64_t>(sy, 0, Dib.H - 1);
      return Dib.Px[static_cast<size_t>(sy) * Dib.W + sx];
    };
    ApplyClip();
    if (Blend || Transparent >= 0) {
      for (int32_t y = ct; y < cb; ++y)
        for (int32_t x = cl; x < cr; ++x) {
          if (S.Clip && !S.Clip->Contains(x, y)) continue;
          const uint32_t s = sample(x, y);
          if (Transparent >= 0) {
            if (RGB((s >> 16) & 255, (s >> 8) & 255, s & 255) != static_cast<COLORREF>(Transparent))
              target->SetPixel(x, y, RGB((s >> 16) & 255, (s >> 8) & 255, s & 255));
            continue;
          }
          const uint32_t al = (Dib.HasAlpha ? (s >> 24) : 255) * ConstAlpha / 255;
          const COLORREF d = target->GetPixel(x, y);
          auto mix = [&](uint32_t sc, uint32_t dc) {
            // Source pixels with their own alpha are premultiplied.
            const uint32_t src = Dib.HasAlpha ? sc * ConstAlpha / 255 : sc * al / 255;
            return std::min<uint32_t>(255, src + dc * (255 - al) / 255);
          };
          target->SetPixel(x, y, RGB(mix((s >> 16) & 255, GetRValue(d)), mix((s >> 8) & 255, GetGValue(d)),
                                     mix(s & 255, GetBValue(d))));
        }
      return;
    }
    TBitmap part(cr - cl, cb - ct, TPixelFormat::pf24bit);
    for (int32_t y = ct; y < cb; ++y) {
      uint8_t* row = static_cast<uint8_t*>(part.ScanLine(y - ct));
      for (int32_t x = cl; x < cr; ++x) {
        const uint32_t s = sample(x, y);
        row[3 * (x - cl)] = s & 255;
        row[3 * (x - cl) + 1] = (s >> 8) & 255;
        row[3 * (x - cl) + 2] = (s >> 16) & 255;
      }
    }
    BitBlt(&C, cl, ct, cr - cl, cb - ct, part.Canvas(), 0, 0, Rop);
  }

  // A blit without a source: the brush (or a fixed colour) over the logical rectangle.
  void PatternBlt(double X, double Y, double W, double Hh, uint32_t Rop) {
    if (InPath) return;
    const TPt a = Dev(X, Y), b = Dev(X + W, Y + Hh);
    const int32_t l = Px(std::min(a.X, b.X)), t = Px(std::min(a.Y, b.Y)), r = Px(std::max(a.X, b.X)),
                  bt = Px(std::max(a.Y, b.Y));
    if (l >= r || t >= bt) return;
    ApplyClip();
    TBrush saved;
    saved.Assign(*C.Brush());
    TBrush br;
    MakeBrush(br, S.Brush.Kind == TObj::Brush && S.Brush.Style != BS_NULL ? S.Brush : StockObject(0));
    C.SetBrush(br);
    PatBlt(&C, std::max(l, Win.Left), std::max(t, Win.Top), std::min(r, Win.Right) - std::max(l, Win.Left),
           std::min(bt, Win.Bottom) - std::max(t, Win.Top), Rop);
    C.SetBrush(saved);
  }

  // ---- text

  void Text(double X, double Y, const std::string& Utf8, uint32_t Options, const TRect* Clip) {
    if (InPath || Utf8.empty()) return;
    const TObj& f = S.Font;
    const bool upd = (S.TextAlign & TA_UPDATECP) != 0;
    const TPt ref = upd ? Dev(S.Cur.X, S.Cur.Y) : Dev(X, Y);
    TFont* font = C.Font();
    font->SetName(f.Face.empty() ? "Arial" : f.Face);
    const double hs = std::fabs(f.Height * Full().M22);
    int32_t h = std::clamp(Px(hs), 1, 4096);
    if (f.Height == 0) h = 12;
    font->SetHeight(f.Height > 0 ? h : -h);
    TFontStyles st;
    if (f.Weight >= 600) st.Include(TFontStyle::fsBold);
    if (f.Italic) st.Include(TFontStyle::fsItalic);
    if (f.Underline) st.Include(TFontStyle::fsUnderline);
    if (f.StrikeOut) st.Include(TFontStyle::fsStrikeOut);
    font->SetStyle(st);
    font->SetOrientation(f.Escapement);
    font->SetColor(static_cast<TColor>(S.TextColor & 0xFFFFFF));
    C.RequiredState();
    ApplyClip();
    SetTextAlign(&C, S.TextAlign & ~TA_UPDATECP);
    SetTextColor(&C, static_cast<TColor>(S.TextColor & 0xFFFFFF));
    SetBkColor(&C, static_cast<TColor>(S.BkColor & 0xFFFFFF));
    SetBkMode(&C, S.BkMode);
    TRect rc;
    if (Clip) rc = *Clip;
    ExtTextOut(&C, Px(ref.X), Px(ref.Y), Options & (ETO_OPAQUE | ETO_CLIPPED), Clip ? &rc : nullptr, Utf8);
    if (upd) {
      TSize sz;
      GetTextExtentPoint32(&C, Utf8, &sz);
      const double sc = Full().M11;
      if (sc != 0) S.Cur.X += sz.cx / sc;
    }
  }
  TRect DeviceRect(double L, double T, double R, double B) const {
    const TPt a = Dev(L, T), b = Dev(R, B);
    return TRect(Px(std::min(a.X, b.X)), Px(std::min(a.Y, b.Y)), Px(std::max(a.X, b.X)), Px(std::max(a.Y, b.Y)));
  }

  // ---- objects and state

  void Select(const TObj& O) {
    switch (O.Kind) {
      case TObj::Pen: S.Pen = O; break;
      case TObj::Brush: S.Brush = O; break;
      case TObj::Font: S.Font = O; break;
      default: break;
    }
  }
  void Save() {
    if (Saved.size() < 4096) Saved.push_back(S);
  }
  void Restore(int32_t N) {
    // Negative: that many levels back; positive: the level itself (1 is the first save).
    int64_t target = N < 0 ? static_cast<int64_t>(Saved.size()) + N : static_cast<int64_t>(N) - 1;
    if (target < 0 || target >= static_cast<int64_t>(Saved.size())) return;
    S = Saved[static_cast<size_t>(target)];
    Saved.resize(static_cast<size_t>(target));
    ClipDirty = true;
  }

  static std::string FaceName16(const uint8_t* P, size_t Chars) {
    std::u16string s;
    for (size_t i = 0; i < Chars; ++i) {
      const char16_t c = static_cast<char16_t>(U16(P + 2 * i));
      if (!c) break;
      s.push_back(c);
    }
    return Utf16ToUtf8(s);
  }

  // ================= EMF =================

  bool RunEmf() {
    const uint8_t* d = D.data();
    const uint64_t n = D.size();
    uint64_t p = 0;
    for (uint32_t k = 0; p < n && k < std::max<uint32_t>(H.Records, 1); ++k) {
      if (p + 8 > n) return false;
      const uint32_t type = U32(d + p), size = U32(d + p + 4);
      if (size < 8 || (size & 3) != 0 || size > n - p) return false;
      if (type == 14) return true;  // end of file
      if (!EmfRecord(type, d + p, size)) return false;
      p += size;
    }
    return true;
  }

  // Points of a poly record: 32-bit or 16-bit pairs at Off, Count of them, all inside the record.
  static bool ReadPoints(const uint8_t* R, uint32_t Size, uint64_t Off, uint64_t Count, bool Short,
                         std::vector<TPt>& Out) {
    const uint64_t es = Short ? 4 : 8;
    if (Off > Size || Count > (Size - Off) / es) return false;
    Out.resize(static_cast<size_t>(Count));
    for (uint64_t i = 0; i < Count; ++i) {
      const uint8_t* q = R + Off + i * es;
      Out[i] = Short ? TPt{double(S16(q)), double(S16(q + 2))} : TPt{double(S32(q)), double(S32(q + 4))};
    }
    return true;
  }

  bool EmfRecord(uint32_t Type, const uint8_t* R, uint32_t Size) {
    auto need = [&](uint32_t Bytes) { return Size >= Bytes; };
    auto i32 = [&](uint32_t Off) { return S32(R + Off); };
    switch (Type) {
      case 1: return true;  // header
      // ---- poly records
      case 2: case 3: case 4: case 5: case 6:
      case 85: case 86: case 87: case 88: case 89: {
        if (!need(28)) return false;
        const bool sh = Type >= 85;
        const uint32_t kind = sh ? Type - 83 : Type;  // 2 bezier, 3 polygon, 4 polyline, 5 bezier-to, 6 polyline-to
        std::vector<TPt> pts;
        if (!ReadPoints(R, Size, 28, U32(R + 24), sh, pts)) return false;
        PolyKind(kind, pts);
        return true;
      }
      case 7: case 8: case 90: case 91: {
        if (!need(32)) return false;
        const bool sh = Type >= 90;
        const uint64_t polys = U32(R + 24), total = U32(R + 28);
        if (polys > (Size - 32) / 4) return false;
        const uint64_t off = 32 + polys * 4;
        std::vector<TPt> pts;
        if (!ReadPoints(R, Size, off, total, sh, pts)) return false;
        std::vector<TFigure> figs;
        uint64_t at = 0;
        const bool polygon = Type == 8 || Type == 91;
        for (uint64_t i = 0; i < polys; ++i) {
          const uint64_t c = U32(R + 32 + 4 * i);
          if (c > total - at) return false;
          figs.push_back(Poly(std::vector<TPt>(pts.begin() + at, pts.begin() + at + c), polygon));
          at += c;
        }
        Draw(std::move(figs), polygon);
        return true;
      }
      case 56: {  // POLYDRAW
        if (!need(28)) return false;
        const uint64_t c = U32(R + 24);
        std::vector<TPt> pts;
        if (!ReadPoints(R, Size, 28, c, false, pts)) return false;
        if (28 + c * 8 + c > Size) return false;
        PolyDraw(pts, R + 28 + c * 8);
        return true;
      }
      case 92: {  // POLYDRAW16
        if (!need(28)) return false;
        const uint64_t c = U32(R + 24);
        std::vector<TPt> pts;
        if (!ReadPoints(R, Size, 28, c, true, pts)) return false;
        if (28 + c * 4 + c > Size) return false;
        PolyDraw(pts, R + 28 + c * 4);
        return true;
      }
      // ---- window, viewport, map mode
      case 9: if (!need(16)) return false; S.WExt = {double(i32(8)), double(i32(12))}; return true;
      case 10: if (!need(16)) return false; S.WOrg = {double(i32(8)), double(i32(12))}; return true;
      case 11: if (!need(16)) return false; S.VExt = {double(i32(8)), double(i32(12))}; return true;
      case 12: if (!need(16)) return false; S.VOrg = {double(i32(8)), double(i32(12))}; return true;
      case 31: case 32: {
        if (!need(24)) return false;
        const double xn = i32(8), xd = i32(12), yn = i32(16), yd = i32(20);
        if (xd == 0 || yd == 0) return true;
        TPt& e = Type == 31 ? S.VExt : S.WExt;
        e.X = e.X * xn / xd;
        e.Y = e.Y * yn / yd;
        return true;
      }
      case 17: if (!need(12)) return false; S.MapMode = i32(8); return true;
      case 35: case 36: {
        if (!need(Type == 35 ? 32 : 36)) return false;
        TXform x{F32(R + 8), F32(R + 12), F32(R + 16), F32(R + 20), F32(R + 24), F32(R + 28)};
        const uint32_t mode = Type == 35 ? 4 : U32(R + 32);
        if (mode == 1) S.World = TXform();
        else if (mode == 2) S.World = x.Then(S.World);
        else if (mode == 3) S.World = S.World.Then(x);
        else if (mode == 4) S.World = x;
        return true;
      }
      // ---- simple state
      case 18: if (!need(12)) return false; S.BkMode = i32(8); return true;
      case 19: if (!need(12)) return false; S.PolyFill = i32(8) == WINDING ? WINDING : ALTERNATE; return true;
      case 20: if (!need(12)) return false; S.Rop2 = std::clamp(i32(8), 1, 16); return true;
      case 22: if (!need(12)) return false; S.TextAlign = U32(R + 8); return true;
      case 24: if (!need(12)) return false; S.TextColor = U32(R + 8) & 0xFFFFFF; return true;
      case 25: if (!need(12)) return false; S.BkColor = U32(R + 8) & 0xFFFFFF; return true;
      case 57: if (!need(12)) return false; S.Clockwise = i32(8) == 2; return true;
      case 27: if (!need(16)) return false; MoveTo({double(i32(8)), double(i32(12))}); return true;
      case 54: if (!need(16)) return false; LineTo({double(i32(8)), double(i32(12))}); return true;
      case 33: Save(); return true;
      case 34: if (!need(12)) return false; Restore(i32(8)); return true;
      // ---- objects
      case 37: {
        if (!need(12)) return false;
        const uint32_t i = U32(R + 8);
        if (i & 0x80000000u) Select(StockObject(i & 0x7FFFFFFF));
        else if (i < Objects.size()) Select(Objects[i]);
        return true;
      }
      case 40: {
        if (!need(12)) return false;
        const uint32_t i = U32(R + 8);
        if (i < Objects.size()) Objects[i] = TObj();
        return true;
      }
      case 38: {  // CREATEPEN
        if (!need(28)) return false;
        TObj o;
        o.Kind = TObj::Pen;
        o.Style = U32(R + 12);
        o.Width = i32(16);
        o.Color = U32(R + 24) & 0xFFFFFF;
        Store(U32(R + 8), o);
        return true;
      }
      case 95: {  // EXTCREATEPEN
        if (!need(44)) return false;
        TObj o;
        o.Kind = TObj::Pen;
        o.Style = U32(R + 28);
        o.Width = U32(R + 32);
        if (U32(R + 36) == BS_NULL) o.Style = (o.Style & ~PS_STYLE_MASK) | PS_NULL;
        o.Color = U32(R + 40) & 0xFFFFFF;
        const uint64_t entries = U32(R + 48);
        if ((o.Style & PS_STYLE_MASK) == PS_USERSTYLE && entries <= (Size - 52) / 4)
          for (uint64_t i = 0; i < std::min<uint64_t>(entries, 64); ++i) o.Dashes.push_back(U32(R + 52 + 4 * i));
        Store(U32(R + 8), o);
        return true;
      }
      case 39: {  // CREATEBRUSHINDIRECT
        if (!need(24)) return false;
        TObj o;
        o.Kind = TObj::Brush;
        o.Style = U32(R + 12);
        o.Color = U32(R + 16) & 0xFFFFFF;
        o.Hatch = U32(R + 20);
        if (o.Style != BS_NULL && o.Style != BS_HATCHED) o.Style = BS_SOLID;
        Store(U32(R + 8), o);
        return true;
      }
      case 93: case 94: {  // pattern brushes: drawn in the pattern's average colour
        if (!need(32)) return false;
        TObj o;
        o.Kind = TObj::Brush;
        o.Color = AverageOf(R, Size, U32(R + 16), U32(R + 20), U32(R + 24), U32(R + 28));
        Store(U32(R + 8), o);
        return true;
      }
      case 82: {  // EXTCREATEFONTINDIRECTW
        if (!need(12 + 92)) return false;
        TObj o;
        o.Kind = TObj::Font;
        const uint8_t* lf = R + 12;
        o.Height = S32(lf);
        o.Escapement = S32(lf + 8);
        o.Weight = S32(lf + 16);
        o.Italic = lf[20] != 0;
        o.Underline = lf[21] != 0;
        o.StrikeOut = lf[22] != 0;
        o.Face = FaceName16(lf + 28, 32);
        Store(U32(R + 8), o);
        return true;
      }
      case 49: case 121: case 122: {  // palettes and colour spaces take a slot
        if (!need(12)) return false;
        TObj o;
        o.Kind = TObj::Other;
        Store(U32(R + 8), o);
        return true;
      }
      // ---- shapes
      case 42: case 43: {
        if (!need(24)) return false;
        if (Type == 42) Ellipse(i32(8), i32(12), i32(16), i32(20));
        else Rect(i32(8), i32(12), i32(16), i32(20));
        return true;
      }
      case 44: if (!need(32)) return false; RoundRect(i32(8), i32(12), i32(16), i32(20), i32(24), i32(28)); return true;
      case 45: case 46: case 47: case 55: {
        if (!need(40)) return false;
        const int kind = Type == 45 ? 0 : Type == 46 ? 1 : Type == 47 ? 2 : 3;
        ArcKind(kind, i32(8), i32(12), i32(16), i32(20), i32(24), i32(28), i32(32), i32(36));
        return true;
      }
      case 41: {  // ANGLEARC
        if (!need(28)) return false;
        const double cx = i32(8), cy = i32(12), r = U32(R + 16);
        const double a0 = F32(R + 20) * std::numbers::pi / 180, sw = F32(R + 24) * std::numbers::pi / 180;
        std::vector<TPt> pts{S.Cur};
        ArcPoints(pts, cx - r, cy - r, cx + r, cy + r, a0, sw);
        S.Cur = pts.back();
        LineToPath(pts, false);
        return true;
      }
      case 15: {  // SETPIXELV
        if (!need(20)) return false;
        if (!InPath) {
          const TPt q = Dev(i32(8), i32(12));
          ApplyClip();
          SetPixel(&C, Px(q.X), Px(q.Y), static_cast<TColor>(U32(R + 16) & 0xFFFFFF));
        }
        return true;
      }
      // ---- paths
      case 59: InPath = true; Path.clear(); return true;
      case 60: InPath = false; return true;
      case 61: CloseFigure(); return true;
      case 68: InPath = false; Path.clear(); return true;
      case 62: PathOp(true, false); return true;
      case 63: PathOp(true, true); return true;
      case 64: PathOp(false, true); return true;
      case 65: case 66: return true;  // flattened already; widening is left to the stroke
      case 67: {  // SELECTCLIPPATH
        if (!need(12)) return false;
        InPath = false;
        std::vector<TFigure> figs = TakePath();
        CombineClip(RegionOf(figs, S.PolyFill), i32(8));
        return true;
      }
      // ---- clipping
      case 30: case 29: {
        if (!need(24)) return false;
        CombineClip(LogicalRect(i32(8), i32(12), i32(16), i32(20)), Type == 30 ? RGN_AND : RGN_DIFF);
        return true;
      }
      case 26: {  // OFFSETCLIPRGN
        if (!need(16)) return false;
        if (S.Clip) {
          const TXform t = Full();
          auto moved = std::make_shared<TRegion>(*S.Clip);
          moved->Offset(Px(i32(8) * t.M11), Px(i32(12) * t.M22));
          S.Clip = moved;
          ClipDirty = true;
        }
        return true;
      }
      case 75: {  // EXTSELECTCLIPRGN
        if (!need(16)) return false;
        const uint32_t cb = U32(R + 8), mode = U32(R + 12);
        if (cb > Size - 16) return false;
        if (mode == RGN_COPY && cb == 0) {
          S.Clip.reset();
          ClipDirty = true;
          return true;
        }
        std::optional<TRegion> rgn = RgnData(R + 16, cb, true);
        if (!rgn) return false;
        CombineClip(*rgn, static_cast<int>(mode));
        return true;
      }
      case 71: case 74: {  // FILLRGN (with its brush), PAINTRGN (with the selected one)
        const uint32_t dataOff = Type == 71 ? 32 : 28;
        if (!need(dataOff)) return false;
        const uint32_t len = U32(R + 24);
        if (len > Size - dataOff) return false;
        std::optional<TRegion> rgn = RgnData(R + dataOff, len, false);
        if (!rgn) return false;
        TObj b = S.Brush;
        if (Type == 71) {
          const uint32_t i = U32(R + 28);
          if (i & 0x80000000u) b = StockObject(i & 0x7FFFFFFF);
          else if (i < Objects.size()) b = Objects[i];
        }
        if (!InPath && b.Kind == TObj::Brush && b.Style != BS_NULL) {
          ApplyClip();
          SetROP2(&C, S.Rop2);
          TBrush br;
          MakeBrush(br, b);
          FillRgn(&C, *rgn, br);
        }
        return true;
      }
      // ---- bitmaps
      case 81: {  // STRETCHDIBITS
        if (!need(80)) return false;
        TDib dib;
        if (DibAt(R, Size, U32(R + 48), U32(R + 52), U32(R + 56), U32(R + 60), dib))
          DrawDib(dib, i32(24), i32(28), i32(72), i32(76), i32(32), BottomUpY(dib, i32(36), i32(44)), i32(40),
                  i32(44), U32(R + 68));
        return true;
      }
      case 80: {  // SETDIBITSTODEVICE
        if (!need(76)) return false;
        TDib dib;
        if (DibAt(R, Size, U32(R + 48), U32(R + 52), U32(R + 56), U32(R + 60), dib))
          DrawDib(dib, i32(24), i32(28), i32(40), i32(44), i32(32), BottomUpY(dib, i32(36), i32(44)), i32(40),
                  i32(44), SRCCOPY);
        return true;
      }
      case 76: case 77: case 114: case 116: {  // BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT
        if (!need(100)) return false;
        const int32_t xd = i32(24), yd = i32(28), wd = i32(32), hd = i32(36);
        const uint32_t rop = U32(R + 40);
        const int32_t xs = i32(44), ys = i32(48);
        const uint32_t offBmi = U32(R + 84), cbBmi = U32(R + 88), offBits = U32(R + 92), cbBits = U32(R + 96);
        int32_t ws = wd, hs = hd;
        if (Type != 76) {
          if (!need(108)) return false;
          ws = i32(100);
          hs = i32(104);
        }
        if (cbBmi == 0) {
          PatternBlt(xd, yd, wd, hd, Type == 76 || Type == 77 ? rop : PATCOPY);
          return true;
        }
        TDib dib;
        if (DibAt(R, Size, offBmi, cbBmi, offBits, cbBits, dib)) {
          if (Type == 114) {
            DrawDib(dib, xd, yd, wd, hd, xs, ys, ws, hs, SRCCOPY, true, static_cast<uint8_t>((rop >> 16) & 255));
          } else {
            DrawDib(dib, xd, yd, wd, hd, xs, ys, ws, hs, Type == 116 ? SRCCOPY : rop, false, 255,
                    Type == 116 ? static_cast<int64_t>(rop & 0xFFFFFF) : -1);
          }
        }
        return true;
      }
      case 118: {  // GRADIENTFILL
        if (!need(36)) return false;
        const uint64_t nv = U32(R + 24), nt = U32(R + 28);
        const uint32_t mode = U32(R + 32);
        const uint64_t each = mode == 2 ? 12 : 8;
        if (nv > (Size - 36) / 16 || nt > (Size - 36 - nv * 16) / each) return false;
        if (InPath) return true;
        std::vector<TRIVERTEX> v(static_cast<size_t>(nv));
        const TXform t = Full();
        for (uint64_t i = 0; i < nv; ++i) {
          const uint8_t* q = R + 36 + 16 * i;
          const TPt d = t.Apply({double(S32(q)), double(S32(q + 4))});
          v[i].x = Px(d.X);
          v[i].y = Px(d.Y);
          v[i].Red = U16(q + 8), v[i].Green = U16(q + 10), v[i].Blue = U16(q + 12), v[i].Alpha = U16(q + 14);
        }
        const uint8_t* m = R + 36 + 16 * nv;
        ApplyClip();
        if (mode == 2) {
          // Triangles take the mean of their corners' colours.
          for (uint64_t i = 0; i < nt; ++i) {
            const uint32_t a = U32(m + 12 * i), b = U32(m + 12 * i + 4), c = U32(m + 12 * i + 8);
            if (a >= nv || b >= nv || c >= nv) continue;
            TObj br;
            br.Kind = TObj::Brush;
            br.Color = RGB(static_cast<uint8_t>((v[a].Red + v[b].Red + v[c].Red) / 3 >> 8),
                           static_cast<uint8_t>((v[a].Green + v[b].Green + v[c].Green) / 3 >> 8),
                           static_cast<uint8_t>((v[a].Blue + v[b].Blue + v[c].Blue) / 3 >> 8));
            const TObj keep = S.Brush;
            S.Brush = br;
            TFigure f;
            f.Closed = true;
            for (uint32_t k : {a, b, c}) f.P.push_back({double(v[k].x), double(v[k].y)});
            Fill({f});
            S.Brush = keep;
          }
        } else if (mode <= 1) {
          std::vector<GRADIENT_RECT> r;
          for (uint64_t i = 0; i < nt; ++i) {
            const uint32_t a = U32(m + 8 * i), b = U32(m + 8 * i + 4);
            if (a < nv && b < nv) r.push_back({a, b});
          }
          if (!r.empty())
            GradientFill(&C, v.data(), static_cast<uint32_t>(v.size()), r.data(), static_cast<uint32_t>(r.size()), mode);
        }
        return true;
      }
      // ---- text
      case 83: case 84: {
        if (!need(76)) return false;
        const int32_t x = i32(36), y = i32(40);
        const uint64_t chars = U32(R + 44), off = U32(R + 48);
        const uint32_t opts = U32(R + 52);
        const uint64_t bytes = chars * (Type == 84 ? 2 : 1);
        if (off > Size || bytes > Size - off) return false;
        std::string s = Type == 84 ? Utf16BytesToUtf8(R + off, static_cast<size_t>(bytes))
                                   : CodePageToUtf8(std::string_view(reinterpret_cast<const char*>(R + off), bytes));
        TRect rc = DeviceRect(i32(56), i32(60), i32(64), i32(68));
        Text(x, y, s, opts, (opts & (ETO_OPAQUE | ETO_CLIPPED)) ? &rc : nullptr);
        return true;
      }
      default: return true;  // records that change nothing drawn here (comments, colour matching, ...)
    }
  }

  static int32_t BottomUpY(const TDib& Dib, int32_t Y, int32_t Hs) {
    // Source rectangles of bottom-up DIBs are measured from the lower-left corner.
    return Dib.H - Y - std::abs(Hs);
  }

  void Store(uint32_t Index, const TObj& O) {
    if (Index < Objects.size()) Objects[Index] = O;
  }

  bool DibAt(const uint8_t* R, uint32_t Size, uint32_t OffBmi, uint32_t CbBmi, uint32_t OffBits, uint32_t CbBits,
             TDib& Out) const {
    if (OffBmi > Size || CbBmi > Size - OffBmi || OffBits > Size || CbBits > Size - OffBits) return false;
    return DecodeDib(R + OffBmi, CbBmi, R + OffBits, CbBits, Out);
  }

  COLORREF AverageOf(const uint8_t* R, uint32_t Size, uint32_t OffBmi, uint32_t CbBmi, uint32_t OffBits,
                     uint32_t CbBits) const {
    TDib dib;
    if (!DibAt(R, Size, OffBmi, CbBmi, OffBits, CbBits, dib) || dib.Px.empty()) return 0;
    uint64_t r = 0, g = 0, b = 0;
    for (uint32_t c : dib.Px) r += (c >> 16) & 255, g += (c >> 8) & 255, b += c & 255;
    const uint64_t n = dib.Px.size();
    return RGB(static_cast<uint8_t>(r / n), static_cast<uint8_t>(g / n), static_cast<uint8_t>(b / n));
  }

  // RGNDATA: rectangles in device units of the reference device (Device) or logical units.
  std::optional<TRegion> RgnData(const uint8_t* P, uint32_t Len, bool Device) const {
    if (Len < 32) return std::nullopt;
    const uint64_t count = U32(P + 8);
    if (count > (Len - 32) / 16) return std::nullopt;
    std::vector<TRect> rects;
    rects.reserve(static_cast<size_t>(count));
    const TXform fit{PX, 0, 0, PY, Dest.Left - H.FrameLeft * PX, Dest.Top - H.FrameTop * PY};
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* q = P + 32 + 16 * i;
      const double l = S32(q), t = S32(q + 4), r = S32(q + 8), b = S32(q + 12);
      TPt a, c;
      if (Device) {
        const TXform& f = Emf ? fit : TXform();
        a = f.Apply({l, t});
        c = f.Apply({r, b});
      } else {
        a = Dev(l, t);
        c = Dev(r, b);
      }
      const TRect rc(std::max(Px(std::min(a.X, c.X)), Win.Left), std::max(Px(std::min(a.Y, c.Y)), Win.Top),
                     std::min(Px(std::max(a.X, c.X)), Win.Right), std::min(Px(std::max(a.Y, c.Y)), Win.Bottom));
      if (rc.Left < rc.Right && rc.Top < rc.Bottom) rects.push_back(rc);
    }
    return TRegion::FromRects(rects);
  }

  // 2 bezier, 3 polygon, 4 polyline, 5 bezier-to, 6 polyline-to
  void PolyKind(uint32_t Kind, const std::vector<TPt>& Pts) {
    switch (Kind) {
      case 2: {
        if (Pts.empty()) return;
        std::vector<TPt> out{Pts[0]};
        for (size_t i = 1; i + 2 < Pts.size(); i += 3) Bezier(out, Pts[i - 1], Pts[i], Pts[i + 1], Pts[i + 2]);
        Draw({Poly(out, false)}, false);
        return;
      }
      case 3: Draw({Poly(Pts, true)}, true); return;
      case 4: Draw({Poly(Pts, false)}, false); return;
      case 5: {
        std::vector<TPt> out{S.Cur};
        TPt cur = S.Cur;
        for (size_t i = 0; i + 2 < Pts.size(); i += 3) {
          Bezier(out, cur, Pts[i], Pts[i + 1], Pts[i + 2]);
          cur = Pts[i + 2];
        }
        S.Cur = cur;
        LineToPath(out, false);
        return;
      }
      case 6: {
        if (Pts.empty()) return;
        std::vector<TPt> out{S.Cur};
        out.insert(out.end(), Pts.begin(), Pts.end());
        S.Cur = Pts.back();
        LineToPath(out, false);
        return;
      }
    }
  }

  void PolyDraw(const std::vector<TPt>& Pts, const uint8_t* Types) {
    constexpr uint8_t PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6;
    for (size_t i = 0; i < Pts.size(); ++i) {
      const uint8_t t = Types[i] & ~PT_CLOSEFIGURE;
      if (t == PT_MOVETO) {
        MoveTo(Pts[i]);
      } else if (t == PT_LINETO) {
        LineTo(Pts[i]);
      } else if (t == PT_BEZIERTO && i + 2 < Pts.size()) {
        PolyKind(5, {Pts[i], Pts[i + 1], Pts[i + 2]});
        i += 2;
      }
      if (Types[std::min(i, Pts.size() - 1)] & PT_CLOSEFIGURE) CloseFigure();
    }
  }

  // ================= WMF =================

  bool RunWmf() {
    const uint8_t* d = D.data();
    const uint64_t n = D.size();
    uint64_t p = H.RecordStart;
    while (p < n) {
      if (p + 6 > n) return false;
      const uint64_t size = static_cast<uint64_t>(U32(d + p)) * 2;
      const uint16_t fn = U16(d + p + 4);
      if (fn == 0) return true;  // end of file
      if (size < 6 || size > n - p) return false;
      if (!WmfRecord(fn, d + p + 6, static_cast<uint32_t>(size - 6))) return false;
      p += size;
    }
    return true;
  }

  int StoreWmf(const TObj& O) {
    for (size_t i = 0; i < Objects.size(); ++i)
      if (Objects[i].Kind == TObj::None) {
        Objects[i] = O;
        return static_cast<int>(i);
      }
    return -1;
  }

  bool WmfRecord(uint16_t Fn, const uint8_t* P, uint32_t Len) {
    auto need = [&](uint32_t Bytes) { return Len >= Bytes; };
    auto s = [&](uint32_t I) { return double(S16(P + 2 * I)); };
    switch (Fn) {
      case 0x020B: if (!need(4)) return false; S.WOrg = {s(1), s(0)}; return true;
      case 0x020C: if (!need(4)) return false; S.WExt = {s(1), s(0)}; return true;
      case 0x020F: if (!need(4)) return false; S.WOrg.X += s(1); S.WOrg.Y += s(0); return true;
      case 0x0410: {
        if (!need(8)) return false;
        if (s(2) != 0 && s(0) != 0) {
          S.WExt.X = S.WExt.X * s(3) / s(2);
          S.WExt.Y = S.WExt.Y * s(1) / s(0);
        }
        return true;
      }
      case 0x020D: case 0x020E: case 0x0211: case 0x0412: case 0x0103: case 0x0105: case 0x0107: case 0x0108:
      case 0x020A: case 0x0231: case 0x0626: case 0x0234: case 0x0035: case 0x0037: case 0x0436: case 0x0139:
        return true;  // viewport (the destination decides it), map mode, escapes, palettes
      case 0x0102: if (!need(2)) return false; S.BkMode = S16(P); return true;
      case 0x0104: if (!need(2)) return false; S.Rop2 = std::clamp<int>(S16(P), 1, 16); return true;
      case 0x0106: if (!need(2)) return false; S.PolyFill = S16(P) == WINDING ? WINDING : ALTERNATE; return true;
      case 0x012E: if (!need(2)) return false; S.TextAlign = U16(P); return true;
      case 0x0201: if (!need(4)) return false; S.BkColor = U32(P) & 0xFFFFFF; return true;
      case 0x0209: if (!need(4)) return false; S.TextColor = U32(P) & 0xFFFFFF; return true;
      case 0x001E: Save(); return true;
      case 0x0127: if (!need(2)) return false; Restore(S16(P)); return true;
      case 0x0214: if (!need(4)) return false; S.Cur = {s(1), s(0)}; return true;
      case 0x0213: if (!need(4)) return false; LineTo({s(1), s(0)}); return true;
      case 0x041B: if (!need(8)) return false; Rect(s(3), s(2), s(1), s(0)); return true;
      case 0x0418: if (!need(8)) return false; Ellipse(s(3), s(2), s(1), s(0)); return true;
      case 0x061C: if (!need(12)) return false; RoundRect(s(5), s(4), s(3), s(2), s(1), s(0)); return true;
      case 0x0817: case 0x0830: case 0x081A: {
        if (!need(16)) return false;
        ArcKind(Fn == 0x0817 ? 0 : Fn == 0x0830 ? 1 : 2, s(7), s(6), s(5), s(4), s(3), s(2), s(1), s(0));
        return true;
      }
      case 0x041F: {  // SETPIXEL
        if (!need(8)) return false;
        if (!InPath) {
          const TPt q = Dev(s(3), s(2));
          ApplyClip();
          SetPixel(&C, Px(q.X), Px(q.Y), static_cast<TColor>(U32(P) & 0xFFFFFF));
        }
        return true;
      }
      case 0x0324: case 0x0325: {
        if (!need(2)) return false;
        const uint32_t c = U16(P);
        std::vector<TPt> pts;
        if (!WmfPoints(P, Len, 2, c, pts)) return false;
        if (Fn == 0x0324) Draw({Poly(pts, true)}, true);
        else Draw({Poly(pts, false)}, false);
        return true;
      }
      case 0x0538: {  // POLYPOLYGON
        if (!need(2)) return false;
        const uint32_t polys = U16(P);
        if (2 + 2ull * polys > Len) return false;
        uint64_t total = 0;
        for (uint32_t i = 0; i < polys; ++i) total += U16(P + 2 + 2 * i);
        std::vector<TPt> pts;
        if (!WmfPoints(P, Len, 2 + 2 * polys, total, pts)) return false;
        std::vector<TFigure> figs;
        uint64_t at = 0;
        for (uint32_t i = 0; i < polys; ++i) {
          const uint32_t c = U16(P + 2 + 2 * i);
          figs.push_back(Poly(std::vector<TPt>(pts.begin() + at, pts.begin() + at + c), true));
          at += c;
        }
        Draw(std::move(figs), true);
        return true;
      }
      case 0x012D: {
        if (!need(2)) return false;
        const uint32_t i = U16(P);
        if (i < Objects.size()) Select(Objects[i]);
        return true;
      }
      case 0x01F0: {
        if (!need(2)) return false;
        const uint32_t i = U16(P);
        if (i < Objects.size()) Objects[i] = TObj();
        return true;
      }
      case 0x02FA: {
        if (!need(10)) return false;
        TObj o;
        o.Kind = TObj::Pen;
        o.Style = U16(P);
        o.Width = S16(P + 2);
        o.Color = U32(P + 6) & 0xFFFFFF;
        StoreWmf(o);
        return true;
      }
      case 0x02FC: {
        if (!need(6)) return false;
        TObj o;
        o.Kind = TObj::Brush;
        o.Style = U16(P);
        o.Color = U32(P + 2) & 0xFFFFFF;
        o.Hatch = Len >= 8 ? U16(P + 6) : 0;
        if (o.Style != BS_NULL && o.Style != BS_HATCHED) o.Style = BS_SOLID;
        StoreWmf(o);
        return true;
      }
      case 0x0142: case 0x01F9: {  // pattern brushes: their average colour
        TObj o;
        o.Kind = TObj::Brush;
        if (Fn == 0x0142 && Len >= 4) {
          TDib dib;
          const uint64_t hb = DibHeaderBytes(P + 4, Len - 4);
          if (hb && hb <= Len - 4 && DecodeDib(P + 4, hb, P + 4 + hb, Len - 4 - hb, dib) && !dib.Px.empty()) {
            uint64_t r = 0, g = 0, b = 0;
            for (uint32_t c : dib.Px) r += (c >> 16) & 255, g += (c >> 8) & 255, b += c & 255;
            const uint64_t n = dib.Px.size();
            o.Color = RGB(static_cast<uint8_t>(r / n), static_cast<uint8_t>(g / n), static_cast<uint8_t>(b / n));
          }
        }
        StoreWmf(o);
        return true;
      }
      case 0x02FB: {  // CREATEFONTINDIRECT
        if (!need(18)) return false;
        TObj o;
        o.Kind = TObj::Font;
        o.Height = S16(P);
        o.Escapement = S16(P + 4);
        o.Weight = S16(P + 8);
        o.Italic = P[10] != 0;
        o.Underline = P[11] != 0;
        o.StrikeOut = P[12] != 0;
        std::string face;
        for (uint32_t i = 18; i < Len && i < 50 && P[i]; ++i) face.push_back(static_cast<char>(P[i]));
        o.Face = CodePageToUtf8(face);
        StoreWmf(o);
        return true;
      }
      case 0x00F7: case 0x06FF: {
        TObj o;
        o.Kind = TObj::Other;
        StoreWmf(o);
        return true;
      }
      case 0x0416: case 0x0415: {
        if (!need(8)) return false;
        CombineClip(LogicalRect(s(3), s(2), s(1), s(0)), Fn == 0x0416 ? RGN_AND : RGN_DIFF);
        return true;
      }
      case 0x0220: {
        if (!need(4)) return false;
        if (S.Clip) {
          const TXform t = Full();
          auto moved = std::make_shared<TRegion>(*S.Clip);
          moved->Offset(Px(s(1) * t.M11), Px(s(0) * t.M22));
          S.Clip = moved;
          ClipDirty = true;
        }
        return true;
      }
      case 0x012C: {  // SELECTCLIPREGION: only "no clip" is understood
        if (!need(2)) return false;
        S.Clip.reset();
        ClipDirty = true;
        return true;
      }
      case 0x061D: {  // PATBLT
        if (!need(12)) return false;
        PatternBlt(s(5), s(4), s(3), s(2), U32(P));
        return true;
      }
      case 0x0521: {  // TEXTOUT
        if (!need(2)) return false;
        const uint32_t c = U16(P);
        const uint32_t sp = 2 + ((c + 1) & ~1u);
        if (sp + 4 > Len) return false;
        Text(S16(P + sp + 2), S16(P + sp), CodePageToUtf8(std::string_view(reinterpret_cast<const char*>(P + 2), c)), 0,
             nullptr);
        return true;
      }
      case 0x0A32: {  // EXTTEXTOUT
        if (!need(8)) return false;
        const uint32_t c = U16(P + 4), opts = U16(P + 6);
        uint32_t sp = 8;
        TRect rc;
        const bool hasRect = (opts & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
        if (hasRect) {
          if (!need(16)) return false;
          rc = DeviceRect(S16(P + 8), S16(P + 10), S16(P + 12), S16(P + 14));
          sp = 16;
        }
        if (sp + c > Len) return false;
        Text(S16(P + 2), S16(P), CodePageToUtf8(std::string_view(reinterpret_cast<const char*>(P + sp), c)), opts,
             hasRect ? &rc : nullptr);
        return true;
      }
      case 0x0F43: {  // STRETCHDIB
        if (!need(22)) return false;
        const uint32_t rop = U32(P);
        TDib dib;
        if (WmfDib(P + 22, Len - 22, dib))
          DrawDib(dib, s(10), s(9), s(8), s(7), s(6), BottomUpY(dib, S16(P + 10), S16(P + 6)), s(4), s(3), rop);
        return true;
      }
      case 0x0B41: case 0x0940: {  // DIBSTRETCHBLT, DIBBITBLT
        const bool stretch = Fn == 0x0B41;
        const uint32_t fixed = stretch ? 20 : 16;
        if (!need(fixed)) return false;
        const uint32_t rop = U32(P);
        if (Len == fixed + 2) {
          // No bitmap: a pattern blit over the destination.
          if (stretch) PatternBlt(s(10), s(9), s(8), s(7), rop);
          else PatternBlt(s(8), s(7), s(6), s(5), rop);
          return true;
        }
        TDib dib;
        if (!WmfDib(P + fixed, Len - fixed, dib)) return true;
        if (stretch) DrawDib(dib, s(9), s(8), s(7), s(6), s(5), s(4), s(3), s(2), rop);
        else DrawDib(dib, s(7), s(6), s(5), s(4), s(3), s(2), s(5), s(4), rop);
        return true;
      }
      case 0x0D33: {  // SETDIBTODEV
        if (!need(18)) return false;
        TDib dib;
        if (WmfDib(P + 18, Len - 18, dib))
          DrawDib(dib, s(8), s(7), s(6), s(5), s(4), BottomUpY(dib, S16(P + 6), S16(P + 10)), s(6), s(5), SRCCOPY);
        return true;
      }
      default: return true;
    }
  }

  static bool WmfPoints(const uint8_t* P, uint32_t Len, uint64_t Off, uint64_t Count, std::vector<TPt>& Out) {
    if (Off > Len || Count > (Len - Off) / 4) return false;
    Out.resize(static_cast<size_t>(Count));
    for (uint64_t i = 0; i < Count; ++i) Out[i] = {double(S16(P + Off + 4 * i)), double(S16(P + Off + 4 * i + 2))};
    return true;
  }
  static bool WmfDib(const uint8_t* P, uint32_t Len, TDib& Out) {
    const uint64_t hb = DibHeaderBytes(P, Len);
    if (!hb || hb > Len) return false;
    return DecodeDib(P, hb, P + hb, Len - hb, Out);
  }
};

}  // namespace

bool TQxMetafile::Play(TCanvas& Canvas, const TRect& Dest) {
  if (FData.empty()) return false;
  if (!Canvas.Bitmap()) return false;
  TPlayer player(Canvas, FData, FHeader, FEnhanced, Dest);
  return player.Run();
}
