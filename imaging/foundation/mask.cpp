#include "imaging/foundation/mask.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/kernels/dib.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {
// Below this the heap's cleared blocks are cheaper than a mapping of their own.
constexpr size_t kPlaneMappingBytes = size_t(1) << 20;
}  // namespace

void* QxZeroedPlaneAlloc(size_t Bytes) {
  if (Bytes < kPlaneMappingBytes) return std::calloc(Bytes ? Bytes : 1, 1);
  void* P = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return P == MAP_FAILED ? nullptr : P;
}

void QxZeroedPlaneFree(void* P, size_t Bytes) {
  if (!P) return;
  if (Bytes < kPlaneMappingBytes)
    std::free(P);
  else
    munmap(P, Bytes);
}

TQxMask::TQxMask() = default;
TQxMask::~TQxMask() = default;

void TQxMask::EmptyBox() {
  X1 = INT32_MAX;
  Y1 = INT32_MAX;
  X2 = 0;
  Y2 = 0;
}

void TQxMask::Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
  FreeStorage();
  if (AWidth < 0 || AHeight < 0) AWidth = AHeight = 0;
  width_ = AWidth;
  height_ = AHeight;
  bitsPerPixel_ = ABitsPerPixel;
  rowLength_ = int32_t(((int64_t(AWidth) * ABitsPerPixel + 31) / 32) * 4);
  bits_.resize(size_t(int64_t(rowLength_) * AHeight));  // zero from the allocator
  EmptyBox();
  Full = false;
}

void TQxMask::FreeStorage() {
  bits_.clear();
  bits_.shrink_to_fit();
  buffer_.clear();
  bufferWidth_ = bufferHeight_ = bufferRowLength_ = 0;
  width_ = height_ = bitsPerPixel_ = rowLength_ = 0;
}

void TQxMask::ChangeSize(int32_t NewWidth, int32_t NewHeight) {
  if (NewWidth < 0 || NewHeight < 0) return;
  const int32_t newRow = int32_t(((int64_t(NewWidth) * bitsPerPixel_ + 31) / 32) * 4);
  decltype(bits_) nb(static_cast<size_t>(int64_t(newRow) * NewHeight));
  const int32_t rows = std::min(height_, NewHeight);
  const size_t len = size_t(std::min(rowLength_, newRow));
  for (int32_t y = 0; y < rows; ++y)
    std::memcpy(nb.data() + int64_t(newRow) * (NewHeight - y - 1), bits_.data() + int64_t(rowLength_) * (height_ - y - 1),
                len);
  bits_ = std::move(nb);
  width_ = NewWidth;
  height_ = NewHeight;
  rowLength_ = newRow;
  if (X1 <= X2) {
    X1 = std::min(X1, width_ - 1);
    X2 = std::min(X2, width_ - 1);
    Y1 = std::min(Y1, height_ - 1);
    Y2 = std::min(Y2, height_ - 1);
  }
}

uint8_t* TQxMask::Scanline(int32_t Y) {
  if (bits_.empty()) return nullptr;
  return bits_.data() + int64_t(rowLength_) * (height_ - Y - 1);
}

int32_t TQxMask::GetPixel(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= width_ || Y >= height_ || bits_.empty()) return 0;
  const uint8_t* row = bits_.data() + int64_t(rowLength_) * (height_ - Y - 1);
  if (bitsPerPixel_ == 8) return row[X];
  if (bitsPerPixel_ == 1) return row[X >> 3] & (0x80 >> (X & 7));
  return 0;
}

void TQxMask::WidenBox(int32_t X, int32_t Y) {
  if (X1 == INT32_MAX) {
    X1 = X2 = X;
    Y1 = Y2 = Y;
  } else {
    X1 = std::min(X1, X);
    Y1 = std::min(Y1, Y);
    X2 = std::max(X2, X);
    Y2 = std::max(Y2, Y);
  }
  X1 = std::clamp(X1, 0, std::max(width_ - 1, 0));
  X2 = std::clamp(X2, 0, std::max(width_ - 1, 0));
  Y1 = std::clamp(Y1, 0, std::max(height_ - 1, 0));
  Y2 = std::clamp(Y2, 0, std::max(height_ - 1, 0));
}

void TQxMask::SetPixel(int32_t X, int32_t Y, int32_t Value) {
  if (X < 0 || Y < 0 || X >= width_ || Y >= height_ || bits_.empty()) return;
  if (bitsPerPixel_ != 1 && bitsPerPixel_ != 8) return;
  if (Value != 0) WidenBox(X, Y);
  if (Full) Full = bitsPerPixel_ == 8 ? Value == 255 : Value != 0;
  uint8_t* row = Scanline(Y);
  if (bitsPerPixel_ == 8)
    row[X] = uint8_t(Value);
  else
    QxSetRowBit(row, X, Value);
}

void TQxMask::Fill(uint8_t Value) {
  std::fill(bits_.begin(), bits_.end(), Value);
  Full = Value == 255;
}

void TQxMask::Clear() {
  Fill(0);
  EmptyBox();
}

void TQxMask::SyncBoundingBox() {
  EmptyBox();
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x)
      if (GetPixel(x, y)) WidenBox(x, y);
}

void TQxMask::UpdateFull() {
  if (bitsPerPixel_ != 1 && bitsPerPixel_ != 8) {
    Full = true;
    return;
  }
  Full = false;
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* row = Scanline(y);
    if (bitsPerPixel_ == 8) {
      for (int32_t x = 0; x < width_; ++x)
        if (row[x] != 255) return;
    } else {
      const int32_t whole = width_ / 8;
      for (int32_t i = 0; i < whole; ++i)
        if (row[i] != 255) return;
      for (int32_t x = whole * 8; x < width_; ++x)
        if (!QxGetRowBit(row, x)) return;
    }
  }
  Full = true;
}

int32_t TQxMask::FillSpan(int32_t Value, int32_t AX1, int32_t Y, int32_t AX2) {
  // Rows outside the mask are not touched: a span off the top or bottom writes nothing.
  if (Y < 0 || Y >= height_ || bits_.empty()) return 0;
  AX1 = std::max(AX1, 0);
  AX2 = std::min(AX2, width_ - 1);
  if (AX2 < AX1) return 0;
  if (Full) Full = bitsPerPixel_ == 8 ? Value == 255 : Value == 1;
  uint8_t* row = Scanline(Y);
  if (bitsPerPixel_ == 8) {
    std::memset(row + AX1, uint8_t(Value), size_t(AX2 - AX1 + 1));
  } else if (bitsPerPixel_ == 1) {
    for (int32_t x = AX1; x <= AX2; ++x) QxSetRowBit(row, x, Value == 1);
  } else {
    return 0;
  }
  return AX2 - AX1 + 1;
}

void TQxMask::FillPolygon(int32_t Value, const TPoint* Points, int32_t Count) {
  if (!Points || Count < 1) return;
  const int32_t ox1 = X1, oy1 = Y1, ox2 = X2, oy2 = Y2;
  if (Value != 0) {
    if (X1 == INT32_MAX) {
      // An empty box starts at the first vertex so that the exclusive edges do not keep 0.
      X2 = INT32_MIN;
      Y2 = INT32_MIN;
    }
    for (int32_t i = 0; i < Count; ++i) {
      X1 = std::min(X1, Points[i].X);
      Y1 = std::min(Y1, Points[i].Y);
      if (Points[i].X > X2) X2 = Points[i].X - 1;
      if (Points[i].Y > Y2) Y2 = Points[i].Y - 1;
    }
    X1 = std::clamp(X1, 0, std::max(width_ - 1, 0));
    X2 = std::clamp(X2, 0, std::max(width_ - 1, 0));
    Y1 = std::clamp(Y1, 0, std::max(height_ - 1, 0));
    Y2 = std::clamp(Y2, 0, std::max(height_ - 1, 0));
  }
  struct Edge {
    int64_t x, yhigh, ylow, dx, dy, err;
    // One scan line further down.
    void Step() {
      if (dx == 0) return;
      const int64_t q = dx / dy;
      err += 2 * dx - 2 * q * dy;
      x += q;
      if (err > dy || err < -dy) {
        if (dx > 0) {
          x += 1;
          err -= 2 * dy;
        } else {
          x -= 1;
          err += 2 * dy;
        }
      }
    }
    // K scan lines further down at once: the error stays within (-dy, dy] (dx > 0) or [-dy, dy) (dx < 0),
    // which fixes how many extra steps the K steps took.
    void Skip(int64_t K) {
      if (dx == 0 || K <= 0) return;
      const int64_t q = dx / dy;
      const __int128 total = __int128(err) + __int128(2) * (dx - q * dy) * K;
      const __int128 d2 = __int128(2) * dy;
      __int128 m;
      if (dx > 0) {
        const __int128 n = total - dy;  // extra steps: the least m with total - m*2dy <= dy
        m = n <= 0 ? 0 : (n + d2 - 1) / d2;
      } else {
        const __int128 n = -total - dy;
        m = n <= 0 ? 0 : (n + d2 - 1) / d2;
        m = -m;
      }
      x = int64_t(__int128(x) + __int128(q) * K + m);
      err = int64_t(total - m * d2);
    }
  };
  std::vector<Edge> edges;
  edges.reserve(size_t(Count));
  int64_t ymin = Points[0].Y, ymax = Points[0].Y;
  for (int32_t i = 0; i < Count; ++i) {
    TPoint a = Points[i], b = Points[(i + 1) % Count];
    ymin = std::min<int64_t>(ymin, a.Y);
    ymax = std::max<int64_t>(ymax, a.Y);
    if (a.Y == b.Y) continue;
    if (a.Y > b.Y) std::swap(a, b);
    edges.push_back({a.X, a.Y, b.Y, int64_t(b.X) - a.X, int64_t(b.Y) - a.Y, 0});
  }
  // Edges enter by their upper end, in vertex order within one scan line.
  std::stable_sort(edges.begin(), edges.end(), [](const Edge& A, const Edge& B) { return A.yhigh < B.yhigh; });
  std::vector<Edge> active;
  size_t next = 0;
  int64_t y = ymin;  // the scan line active edges stand at
  auto moveTo = [&](int64_t Row, bool Single) {
    std::vector<Edge> kept;
    for (Edge e : active) {
      if (e.ylow <= Row) continue;
      if (Single)
        e.Step();
      else
        e.Skip(Row - y);
      kept.push_back(e);
    }
    active = std::move(kept);
    y = Row;
  };
  auto enter = [&]() {
    for (; next < edges.size() && edges[next].yhigh == y; ++next) {
      const Edge& ne = edges[next];
      auto pos = active.begin();
      while (pos != active.end() &&
             (pos->x < ne.x || (pos->x == ne.x && __int128(pos->dx) * ne.dy < __int128(ne.dx) * pos->dy)))
        ++pos;
      active.insert(pos, ne);
    }
  };
  // Above the mask only the lines where edges enter matter: there the active order is settled.
  const int64_t top = std::max<int64_t>(ymin, 0), bottom = std::min<int64_t>(ymax, int64_t(height_) - 1);
  while (next < edges.size() && edges[next].yhigh < top) {
    moveTo(edges[next].yhigh, false);
    enter();
  }
  int64_t written = 0;
  if (top <= bottom) {
    if (y < top) moveTo(top, false);
    for (;; moveTo(y + 1, true)) {
      enter();
      for (size_t k = 0; k + 1 < active.size(); k += 2) {
        const int64_t xa = active[k].x, xb = active[k + 1].x - 1;
        if (xb >= xa)
          written += FillSpan(Value, int32_t(std::clamp<int64_t>(xa, INT32_MIN, INT32_MAX)), int32_t(y),
                              int32_t(std::clamp<int64_t>(xb, INT32_MIN, INT32_MAX)));
      }
      if (y >= bottom) break;
    }
  }
  if (written == 0 && Value != 0) {
    // A polygon that sets no pixel leaves the selection as it was.
    X1 = ox1;
    Y1 = oy1;
    X2 = ox2;
    Y2 = oy2;
  }
}

void TQxMask::FillPolygons(int32_t Value, const TPoint* Points, int32_t Count) {
  if (!Points || Count < 1) return;
  int32_t start = 0;
  for (int32_t i = 0; i <= Count; ++i) {
    if (i == Count || Points[i].X == PolygonSeparator) {
      if (i > start) FillPolygon(Value, Points + start, i - start);
      start = i + 1;
    }
  }
  UpdateFull();
}

void TQxMask::Translate(int32_t& DX, int32_t& DY, bool Clip) {
  if (IsEmpty()) SyncBoundingBox();
  if (IsEmpty()) return;
  // In 64 bits: an offset far outside the mask must not wrap around.
  if (Clip) {
    if (int64_t(DX) + X1 < 0) X1 = int32_t(std::clamp<int64_t>(-int64_t(DX), INT32_MIN, INT32_MAX));
    if (int64_t(DY) + Y1 < 0) Y1 = int32_t(std::clamp<int64_t>(-int64_t(DY), INT32_MIN, INT32_MAX));
    if (int64_t(DX) + X2 >= width_) X2 = int32_t(std::clamp<int64_t>(int64_t(width_) - 1 - DX, INT32_MIN, INT32_MAX));
    if (int64_t(DY) + Y2 >= height_) Y2 = int32_t(std::clamp<int64_t>(int64_t(height_) - 1 - DY, INT32_MIN, INT32_MAX));
  } else {
    if (int64_t(DX) + X1 < 0) DX = -X1;
    if (int64_t(DX) + X2 >= width_) DX = width_ - 1 - X2;
    if (int64_t(DY) + Y1 < 0) DY = -Y1;
    if (int64_t(DY) + Y2 >= height_) DY = height_ - 1 - Y2;
  }
  if (DX == 0 && DY == 0) return;
  if (X2 < X1 || Y2 < Y1) {
    std::fill(bits_.begin(), bits_.end(), 0);
  } else {
    std::vector<uint8_t> copy(bits_.begin(), bits_.end());
    std::fill(bits_.begin(), bits_.end(), 0);
    for (int32_t y = Y1; y <= Y2; ++y) {
      const int64_t ty = int64_t(y) + DY;
      if (ty < 0 || ty >= height_ || y < 0 || y >= height_) continue;
      const uint8_t* s = copy.data() + int64_t(rowLength_) * (height_ - y - 1);
      uint8_t* d = Scanline(int32_t(ty));
      for (int32_t x = X1; x <= X2; ++x) {
        const int64_t tx = int64_t(x) + DX;
        if (tx < 0 || tx >= width_ || x < 0 || x >= width_) continue;
        if (bitsPerPixel_ == 8)
          d[tx] = s[x];
        else if (bitsPerPixel_ == 1)
          QxSetRowBit(d, int32_t(tx), QxGetRowBit(s, x));
      }
    }
  }
  X1 = int32_t(std::clamp<int64_t>(int64_t(X1) + DX, 0, std::max(width_ - 1, 0)));
  X2 = int32_t(std::clamp<int64_t>(int64_t(X2) + DX, 0, std::max(width_ - 1, 0)));
  Y1 = int32_t(std::clamp<int64_t>(int64_t(Y1) + DY, 0, std::max(height_ - 1, 0)));
  Y2 = int32_t(std::clamp<int64_t>(int64_t(Y2) + DY, 0, std::max(height_ - 1, 0)));
}

void TQxMask::CopyBitmap(TQxBitmap* Dest, TQxBitmap* Source, bool DestRelative, bool SourceRelative,
                         bool ACopyAlpha) {
  if (!Dest || !Source || IsEmpty() || Dest == Source) return;
  const TQxPixelFormat f = Source->PixelFormat();
  if (f != Dest->PixelFormat()) return;
  // The box limited to the mask, and every addressed pixel kept inside both bitmaps.
  const int32_t bx1 = std::max(X1, 0), by1 = std::max(Y1, 0);
  const int32_t bx2 = std::min(X2, width_ - 1), by2 = std::min(Y2, height_ - 1);
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  std::vector<uint8_t> srow(static_cast<size_t>(Source->RowLen()));
  for (int32_t y = by1; y <= by2; ++y) {
    const int32_t sy = SourceRelative ? y - Y1 : y, dy = DestRelative ? y - Y1 : y;
    if (sy < 0 || sy >= sh || dy < 0 || dy >= dh) continue;
    std::memcpy(srow.data(), Source->Scanline(sy), srow.size());
    uint8_t* d = Dest->Scanline(dy);
    for (int32_t x = bx1; x <= bx2; ++x) {
      const int32_t m = GetPixel(x, y);
      if (!m) continue;
      const int32_t sx = SourceRelative ? x - X1 : x, dx = DestRelative ? x - X1 : x;
      if (sx < 0 || sx >= sw || dx < 0 || dx >= dw) continue;
      const uint8_t* s = srow.data();
      if (bitsPerPixel_ == 1) {
        const int32_t bits = QxPixelFormatBits[static_cast<int>(f)];
        if (f == TQxPixelFormat::qx1g)
          QxSetRowBit(d, dx, QxGetRowBit(s, sx));
        else if (bits % 8 == 0)
          std::memcpy(d + int64_t(dx) * (bits / 8), s + int64_t(sx) * (bits / 8), size_t(bits / 8));
      } else {
        if (f == TQxPixelFormat::qx24RGB) {
          for (int c = 0; c < 3; ++c) {
            const int32_t dv = d[3 * int64_t(dx) + c], sv = s[3 * int64_t(sx) + c];
            d[3 * int64_t(dx) + c] = uint8_t(dv + Sar((sv - dv) * m, 8));
          }
        } else if (f == TQxPixelFormat::qx8g || f == TQxPixelFormat::qx8p) {
          d[dx] = uint8_t(d[dx] + Sar((s[sx] - d[dx]) * m, 8));
        } else if (f == TQxPixelFormat::qx1g) {
          QxSetRowBit(d, dx, QxGetRowBit(s, sx));
        }
      }
    }
  }
  if (ACopyAlpha) CopyAlpha(Dest, Source, DestRelative, SourceRelative);
}

void TQxMask::CopyAlpha(TQxBitmap* Dest, TQxBitmap* Source, bool DestRelative, bool SourceRelative) {
  if (!Dest || !Source || IsEmpty()) return;
  TQxBitmap* da = Dest->GetAlphaChannel();
  if (!da) return;
  TQxBitmap* sa = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  const int32_t bx1 = std::max(X1, 0), by1 = std::max(Y1, 0);
  const int32_t bx2 = std::min(X2, width_ - 1), by2 = std::min(Y2, height_ - 1);
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = da->Width(), dh = da->Height();
  for (int32_t y = by1; y <= by2; ++y) {
    const int32_t sy = SourceRelative ? y - Y1 : y, dy = DestRelative ? y - Y1 : y;
    if (dy < 0 || dy >= dh) continue;
    std::vector<uint8_t> arow;
    if (sa && sy >= 0 && sy < sh) {
      const uint8_t* p = sa->Scanline(sy);
      arow.assign(p, p + sa->Width());
    }
    uint8_t* d = da->Scanline(dy);
    for (int32_t x = bx1; x <= bx2; ++x) {
      const int32_t sx = SourceRelative ? x - X1 : x, dx = DestRelative ? x - X1 : x;
      if (dx < 0 || dx >= dw) continue;
      const int32_t m = GetPixel(x, y);
      // Unselected pixels of the box are outside the work: their alpha stays as it was.
      if (!m) continue;
      const int32_t src = (!arow.empty() && sx >= 0 && sx < sw) ? arow[size_t(sx)] : 255;
      d[dx] = bitsPerPixel_ == 1 ? uint8_t(src) : uint8_t(std::min(src, m));
    }
  }
  da->Opaque = false;
}

// ---------------------------------------------------------------- drawing

uint8_t* TQxMask::BufferRow(int32_t Y) {
  return buffer_.data() + int64_t(bufferRowLength_) * (bufferHeight_ - Y - 1);
}

bool TQxMask::BufferPixel(int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= bufferWidth_ || Y >= bufferHeight_) return false;
  const uint8_t* row = BufferRow(Y);
  return bitsPerPixel_ == 8 ? row[X] != 0 : QxGetRowBit(row, X) != 0;
}

void TQxMask::ScaleToBuffer(int32_t WDst, int32_t HDst, int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc) {
  if (WDst != bufferWidth_ || HDst != bufferHeight_) {
    bufferWidth_ = WDst;
    bufferHeight_ = HDst;
    bufferRowLength_ = int32_t(((int64_t(WDst) * std::max(bitsPerPixel_, 1) + 31) / 32) * 4);
    buffer_.assign(size_t(int64_t(bufferRowLength_) * HDst), 0);
  } else {
    std::fill(buffer_.begin(), buffer_.end(), 0);
  }
  if (WSrc < 1 || HSrc < 1 || IsEmpty()) return;
  const int64_t xstep = Trunc(double(WSrc) / WDst * 16384), ystep = Trunc(double(HSrc) / HDst * 16384);
  const int32_t r0 = int32_t(std::max<int64_t>(Trunc(double(Y1 - YSrc) * HDst / HSrc), 0));
  const int32_t r1 = int32_t(std::min<int64_t>(Trunc(double(Y2 - YSrc + 1) * HDst / HSrc), HDst - 1));
  const int32_t c0 = int32_t(std::max<int64_t>(Trunc(double(X1 - XSrc) * WDst / WSrc), 0));
  const int32_t c1 = int32_t(std::min<int64_t>(Trunc(double(X2 - XSrc + 1) * WDst / WSrc), WDst - 1));
  for (int32_t dy = r0; dy <= r1; ++dy) {
    const int64_t sy = std::min<int64_t>(height_ - 1, YSrc + ((dy * ystep) >> 14));
    if (sy < 0) continue;
    uint8_t* row = BufferRow(dy);
    for (int32_t dx = c0; dx <= c1; ++dx) {
      const int64_t sx = XSrc + ((dx * xstep) >> 14);
      if (sx < 0 || sx >= width_) continue;
      if (!GetPixel(int32_t(sx), int32_t(sy))) continue;
      if (bitsPerPixel_ == 8)
        row[dx] = 255;
      else
        QxSetRowBit(row, dx, 1);
    }
  }
}

void TQxMask::DrawXor(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                      int32_t YSrc, int32_t WSrc, int32_t HSrc) {
  if (!Canvas || bitsPerPixel_ != 1 || IsEmpty() || WSrc < 1 || HSrc < 1) return;
  TBitmap bmp;
  bmp.SetPixelFormat(TPixelFormat::pf1bit);
  bmp.SetSize(WSrc, HSrc);
  bmp.SetColorTable({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
  for (int32_t y = 0; y < HSrc; ++y) {
    uint8_t* d = static_cast<uint8_t*>(bmp.ScanLine(y));
    std::memset(d, 0, size_t(bmp.RowBytes()));
    for (int32_t x = 0; x < WSrc; ++x)
      if (GetPixel(XSrc + x, YSrc + y)) QxSetRowBit(d, x, 1);
  }
  const TCopyMode old = Canvas->CopyMode();
  Canvas->SetCopyMode(cmSrcInvert);
  Canvas->CopyRect(TRect{XDst, YDst, XDst + WDst, YDst + HDst}, bmp.Canvas(), TRect{0, 0, WSrc, HSrc});
  Canvas->SetCopyMode(old);
}

void TQxMask::DrawSelectionBorder(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst,
                                  int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Phase, TColor ColorA,
                                  TColor ColorB, TRect* Rect) {
  if (!Canvas || WDst < 1 || HDst < 1 || IsEmpty() || WSrc < 1 || HSrc < 1) return;
  const TColor ca = ColorToRGB(ColorA), cb = ColorToRGB(ColorB);
  ScaleToBuffer(WDst, HDst, XSrc, YSrc, WSrc, HSrc);
  const int64_t xstep = std::max<int64_t>(Trunc(double(WSrc) / WDst * 16384), 1);
  const int64_t ystep = std::max<int64_t>(Trunc(double(HSrc) / HDst * 16384), 1);
  const int32_t r0 = int32_t(std::max<int64_t>((int64_t(Y1 - YSrc) << 14) / ystep, 0));
  const int32_t r1 = int32_t(std::min<int64_t>((int64_t(Y2 - YSrc + 1) << 14) / ystep + 1, HDst - 1));
  const int32_t c0 = int32_t(std::max<int64_t>((int64_t(X1 - XSrc) << 14) / xstep, 0));
  const int32_t c1 = int32_t(std::min<int64_t>((int64_t(X2 - XSrc + 1) << 14) / xstep + 1, WDst - 1));
  if (Rect) *Rect = TRect{XDst + c0 + 1, YDst + r0 + 1, XDst + c1 - 1, YDst + r1 - 1};
  Canvas->Pen()->SetStyle(TPenStyle::psSolid);
  Canvas->Pen()->SetMode(TPenMode::pmCopy);
  for (int32_t row = r0; row <= r1; ++row) {
    for (int32_t col = c0; col <= c1; ++col) {
      if (!BufferPixel(col, row)) continue;
      const int64_t scol = XSrc + ((col * xstep) >> 14), srow = YSrc + ((row * ystep) >> 14);
      bool border;
      if (col == c0)
        border = scol <= X1;
      else if (col == c1)
        border = scol >= X2 || WSrc == width_;
      else if (row == r0)
        border = srow <= Y1;
      else if (row == r1)
        border = srow >= Y2 || HSrc == height_;
      else {
        border = false;
        for (int32_t yy = std::max(row - 1, 0); yy <= std::min(row + 1, HDst - 1) && !border; ++yy)
          for (int32_t xx = col - 1; xx <= col + 1; ++xx)
            if (!BufferPixel(xx, yy)) {
              border = true;
              break;
            }
      }
      if (!border) continue;
      const int32_t X = XDst + col, Y = YDst + row;
      Canvas->SetPixels(X, Y, (((X + Y + Phase) % 8 + 8) % 8) < 4 ? cb : ca);
    }
  }
}

void TQxMask::ShadeUnselected(TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                              int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Opacity, TColor Color) {
  if (!Bitmap || WDst < 1 || HDst < 1 || IsEmpty() || WSrc < 1 || HSrc < 1) return;
  if (Bitmap->PixelFormat() != TPixelFormat::pf24bit) return;
  if (YDst < 0) {
    YSrc += int32_t(Round(double(-YDst) * HSrc / HDst));
    YDst = 0;
  }
  if (XDst < 0) {
    XSrc += int32_t(Round(double(-XDst) * WSrc / WDst));
    XDst = 0;
  }
  ScaleToBuffer(WDst, HDst, XSrc, YSrc, WSrc, HSrc);
  const int64_t xstep = std::max<int64_t>(Trunc(double(WSrc) / WDst * 16384), 1);
  const int64_t ystep = std::max<int64_t>(Trunc(double(HSrc) / HDst * 16384), 1);
  const int32_t r0 = int32_t(std::max<int64_t>(-int64_t(YSrc) * 16384 / ystep, 0));
  const int32_t r1 = int32_t(std::min<int64_t>({(int64_t(height_ - YSrc) << 14) / ystep + 1, HDst - 1,
                                                int64_t(Bitmap->Height()) - 1 - YDst}));
  const int32_t c0 = int32_t(std::max<int64_t>(-int64_t(XSrc) * 16384 / xstep, 0));
  const int32_t c1 = int32_t(std::min<int64_t>({(int64_t(width_ - XSrc) << 14) / xstep + 1, WDst - 1,
                                                int64_t(Bitmap->Width()) - 1 - XDst}));
  const TColor c = ColorToRGB(Color);
  const int32_t cr = c & 255, cg = (c >> 8) & 255, cbl = (c >> 16) & 255;
  const double w = Opacity / 255.0;
  for (int32_t row = r0; row <= r1; ++row) {
    uint8_t* d = static_cast<uint8_t*>(Bitmap->ScanLine(YDst + row));
    for (int32_t col = c0; col <= c1; ++col) {
      if (BufferPixel(col, row)) continue;
      uint8_t* p = d + 3 * int64_t(XDst + col);
      if (Opacity == -1) {
        if (((col + row) & 1) == 0) std::memset(p, 97, 3);
      } else {
        p[0] = uint8_t(Trunc(w * cbl + (1 - w) * p[0]));
        p[1] = uint8_t(Trunc(w * cg + (1 - w) * p[1]));
        p[2] = uint8_t(Trunc(w * cr + (1 - w) * p[2]));
      }
    }
  }
  Bitmap->Modified();
}

void QxMaskFromBitmap(TQxBitmap* Bitmap, TQxMask* Mask) {
  if (!Bitmap || !Mask) return;
  const TQxPixelFormat f = Bitmap->PixelFormat();
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  if (f == TQxPixelFormat::qx1g || f == TQxPixelFormat::qx8g) {
    Mask->Allocate(w, h, f == TQxPixelFormat::qx1g ? 1 : 8);
    const size_t len = size_t(std::min(Mask->RowLength(), Bitmap->RowLen()));
    for (int32_t y = 0; y < h; ++y) std::memcpy(Mask->Scanline(y), Bitmap->Scanline(y), len);
    Mask->Full = Bitmap->Opaque;
  } else if (f == TQxPixelFormat::qx24RGB) {
    Mask->Allocate(w, h, 8);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* s = Bitmap->Scanline(y);
      uint8_t* d = Mask->Scanline(y);
      for (int32_t x = 0; x < w; ++x, s += 3) d[x] = uint8_t(QxRGBToGray(TQxRGB{s[0], s[1], s[2]}) >> 2);
    }
  }
}
