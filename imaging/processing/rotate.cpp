#include "imaging/processing/rotate.h"

#include <cmath>
#include <vector>

#include "imaging/processing/proc_internal.h"

using namespace qxproc;

namespace {

// The interpolated rotation of C-byte pixels. The source is thought padded by a 3-pixel background
// border, the turned padded picture is computed, and the border is cut away again.
template <int C>
void Interpolated(TQxBitmap* Bitmap, const uint8_t* Bg, uint8_t Quality, TObject* Sender,
                  const TQxProgressEvent& OnProgress, double Angle) {
  if (Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  std::vector<uint8_t> src(size_t(int64_t(W) * H * C));
  for (int32_t y = 0; y < H; ++y) std::memcpy(&src[size_t(int64_t(y) * W * C)], Bitmap->Scanline(y), size_t(W) * C);
  const int32_t Wp = W + 6, Hp = H + 6;
  const double th = Angle * M_PI / 180.0, cs = std::cos(th), sn = std::sin(th);
  const int32_t nw = int32_t(Round(std::fabs(sn * (Hp - 1)) + std::fabs(cs * (Wp - 1))));
  const int32_t nh = int32_t(Round(std::fabs(sn * (Wp - 1)) + std::fabs(cs * (Hp - 1))));
  if (nw <= 6 || nh <= 6) return;
  auto out = MemoryBitmap(nw - 6, nh - 6, Bitmap->PixelFormat());
  if (out->IsEmpty()) return;
  Bitmap->CopyPaletteTo(out.get());
  const double cxS = (Wp - 1) / 2.0, cyS = (Hp - 1) / 2.0, cxD = (nw - 1) / 2.0, cyD = (nh - 1) / 2.0;
  // Padded coordinates: the original pixel when inside it, the background elsewhere.
  auto sample = [&](int32_t x, int32_t y) -> const uint8_t* {
    x -= 3;
    y -= 3;
    if (x < 0 || y < 0 || x >= W || y >= H) return Bg;
    return &src[size_t((int64_t(y) * W + x) * C)];
  };
  std::vector<double> colX(nw), colY(nw);
  for (int32_t i = 0; i < nw; ++i) {
    colX[i] = (i - cxD) * cs + cxS;
    colY[i] = (i - cxD) * sn + cyS;
  }
  const bool cubic = Quality == 2;
  for (int32_t j = 0; j < nh; ++j) {
    if (j >= 3 && j < nh - 3) {
      uint8_t* d = out->Scanline(j - 3);
      const double rx = (j - cyD) * sn, ry = (j - cyD) * cs;
      for (int32_t i = 3; i < nw - 3; ++i) {
        const double x = colX[i] - rx, y = colY[i] + ry;
        uint8_t* dp = d + int64_t(i - 3) * C;
        const int32_t x0 = int32_t(Trunc(x)), y0 = int32_t(Trunc(y));
        if (!cubic) {
          const double fx = x - std::floor(x), fy = y - std::floor(y);
          const uint8_t *s00 = sample(x0, y0), *s10 = sample(x0 + 1, y0), *s01 = sample(x0, y0 + 1),
                        *s11 = sample(x0 + 1, y0 + 1);
          for (int c = 0; c < C; ++c) {
            const double top = s00[c] + (s10[c] - s00[c]) * fx;
            const double bottom = s01[c] + (s11[c] - s01[c]) * fx;
            dp[c] = ClampByte(Trunc(top + (bottom - top) * fy));
          }
        } else {
          const double fx = x - x0, fy = y - y0;
          auto weights = [](double t, double w[4]) {
            w[0] = -t * (1 - t) * (1 - t);
            w[1] = 1 - 2 * t * t + t * t * t;
            w[2] = t * (1 + t - t * t);
            w[3] = -t * t * (1 - t);
          };
          double wx[4], wy[4];
          weights(fx, wx);
          weights(fy, wy);
          double sum[C] = {};
          for (int r = 0; r < 4; ++r) {
            double rowv[C] = {};
            for (int k = 0; k < 4; ++k) {
              const uint8_t* sp = sample(x0 - 1 + k, y0 - 1 + r);
              for (int c = 0; c < C; ++c) rowv[c] += sp[c] * wx[k];
            }
            for (int c = 0; c < C; ++c) sum[c] += rowv[c] * wy[r];
          }
          // Overshoot of the cubic is clamped; a negative sum is black, not its mirror.
          for (int c = 0; c < C; ++c) dp[c] = ClampByte(Trunc(sum[c]));
        }
      }
    }
    if (OnProgress) Report(OnProgress, Sender, j * 100.0 / nh);
  }
  Bitmap->CopyFrom(out.get());
}

}  // namespace

void QxRotateInterpolated24(TQxBitmap* Bitmap, TColor Background, uint8_t Quality, TObject* Sender,
                            const TQxProgressEvent& OnProgress, double Angle) {
  if (Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  const uint32_t p = TColorToPacked(Background);
  const uint8_t bg[3] = {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)};
  Interpolated<3>(Bitmap, bg, Quality, Sender, OnProgress, Angle);
}

void QxRotateInterpolated8(TQxBitmap* Bitmap, uint8_t Background, uint8_t Quality, double Angle) {
  if (Bitmap->BitCount() != 8) return;
  Interpolated<1>(Bitmap, &Background, Quality, nullptr, {}, Angle);
}

void QxRotateNearest(TQxBitmap* Bitmap, TColor Background, TObject* Sender, const TQxProgressEvent& OnProgress,
                     double Angle) {
  if (Bitmap->IsEmpty()) return;
  auto out = std::make_unique<TQxBitmap>();
  QxRotateInto(Bitmap, out.get(), Background, Sender, OnProgress, Angle);
  if (!out->IsEmpty()) Bitmap->CopyFrom(out.get());
}

void QxRotateInto(TQxBitmap* Source, TQxBitmap* Dest, TColor Background, TObject* Sender,
                  const TQxProgressEvent& OnProgress, double Angle) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  const TQxPixelFormat f = Source->PixelFormat();
  const bool bits = f == TQxPixelFormat::qx1g;
  const int32_t bpp = Source->BitCount() / 8;
  const int32_t W = Source->Width(), H = Source->Height();

  std::vector<uint8_t*> rows(H);
  for (int32_t y = 0; y < H; ++y) rows[y] = Source->LockRow(y);
  // LockRow takes storage rows; Scanline's origin flip is applied by hand.
  auto srow = [&](int32_t y) { return rows[Source->Origin ? H - 1 - y : y]; };
  auto unlock = [&] {
    for (int32_t y = 0; y < H; ++y) Source->UnlockRow(y);
  };

  const double ip = std::trunc(Angle);
  if (ip == Angle && std::fmod(ip, 90.0) == 0) {
    const int32_t r = int32_t(std::fmod(ip, 360.0));
    if (r == 0) {
      unlock();
      Dest->AssignFrom(Source);
      return;
    }
    const bool ccw = r == 90 || r == -270, cw = r == 270 || r == -90;
    const int32_t dw = (ccw || cw) ? H : W, dh = (ccw || cw) ? W : H;
    if (!Dest->Allocate(dw, dh, f)) {
      unlock();
      return;
    }
    if (f == TQxPixelFormat::qx8p) Source->CopyPaletteTo(Dest);
    if (bits) Dest->Fill(0);
    for (int32_t j = 0; j < dh; ++j) {
      uint8_t* d = Dest->Scanline(j);
      for (int32_t i = 0; i < dw; ++i) {
        int32_t sx, sy;
        if (ccw) {  // source (x, y) -> (y, W - 1 - x)
          sx = W - 1 - j;
          sy = i;
        } else if (cw) {  // source (x, y) -> (H - 1 - y, x)
          sx = j;
          sy = H - 1 - i;
        } else {
          sx = W - 1 - i;
          sy = H - 1 - j;
        }
        const uint8_t* s = srow(sy);
        if (bits) {
          if (GetBit(s, sx)) SetBit(d, i, true);
        } else {
          std::memcpy(d + int64_t(i) * bpp, s + int64_t(sx) * bpp, bpp);
        }
      }
    }
    unlock();
    return;
  }

  const double th = Angle * M_PI / 180.0, cs = std::cos(th), sn = std::sin(th);
  const int64_t dw = Round(std::fabs(sn * H) + std::fabs(cs * W));
  const int64_t dh = Round(std::fabs(sn * W) + std::fabs(cs * H));
  if (dw <= 0 || dh <= 0 || dw > INT32_MAX || dh > INT32_MAX || !Dest->Allocate(int32_t(dw), int32_t(dh), f)) {
    unlock();
    return;
  }
  if (f == TQxPixelFormat::qx8p) Source->CopyPaletteTo(Dest);
  Dest->Fill(bits ? 0.0 : double(Background));
  const double cxS = (W - 1) / 2.0, cyS = (H - 1) / 2.0, cxD = (dw - 1) / 2.0, cyD = (dh - 1) / 2.0;
  std::vector<int32_t> xs(dw), ys(dw);
  for (int32_t i = 0; i < dw; ++i) {
    xs[i] = int32_t(Round((i - cxD) * cs + cxS));
    ys[i] = int32_t(Round((i - cxD) * sn + cyS));
  }
  for (int32_t j = 0; j < dh; ++j) {
    const int32_t dx = int32_t(Round((j - cyD) * sn)), dy = int32_t(Round((j - cyD) * cs));
    uint8_t* d = Dest->Scanline(j);
    for (int32_t i = 0; i < dw; ++i) {
      const int32_t sx = xs[i] - dx, sy = ys[i] + dy;
      if (sx < 0 || sy < 0 || sx >= W || sy >= H) continue;
      const uint8_t* s = srow(sy);
      if (bits) {
        if (GetBit(s, sx)) SetBit(d, i, true);
      } else if (bpp == 3) {
        uint8_t* dp = d + int64_t(i) * 3;
        const uint8_t* sp = s + int64_t(sx) * 3;
        dp[0] = sp[0];
        dp[1] = sp[1];
        dp[2] = sp[2];
      } else {
        std::memcpy(d + int64_t(i) * bpp, s + int64_t(sx) * bpp, bpp);
      }
    }
    if (OnProgress) Report(OnProgress, Sender, j * 100.0 / dh);
  }
  unlock();
}
