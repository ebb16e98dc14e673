// Camera-raw colour: white balance, bilinear demosaicing, colour conversion, tone mapping to 24-bit or
// 48-bit RGB, and turning the diagonal Fuji layout back.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/raw/camera_raw_internal.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/cell_rows.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/params.h"
#include "platform/base/parallel.h"

// ---- fixed matrices --------------------------------------------------------------------------------------

namespace {

void SetMatrix(TQxRawContext& C, const float (&M)[3][4]) {
  std::memcpy(C.ColorMatrix, M, sizeof(C.ColorMatrix));
  C.HasColorMatrix = 1;
}

}  // namespace

void set_e950_matrix(TQxRawContext& C) {
  static const float m[3][4] = {{-1.93628f, 1.800443f, -1.448486f, 2.584324f},
                                {1.405365f, -0.524955f, -0.28909f, 0.40868f},
                                {-1.204965f, 1.082304f, 2.941367f, -1.818705f}};
  SetMatrix(C, m);
}

void set_f828_matrix(TQxRawContext& C) {
  static const float m[3][4] = {{1.321918f, 0, 0.149829f, -0.471747f},
                                {-0.288764f, 1.129213f, -0.486517f, 0.646067f},
                                {0.061336f, -0.199343f, 1.138007f, 0}};
  SetMatrix(C, m);
}

void set_dc20_matrix(TQxRawContext& C, float Weight) {
  static const float a[3][4] = {{2.25f, 0.75f, -1.75f, -0.25f}, {-0.25f, 0.75f, 0.75f, -0.25f}, {-0.25f, -1.75f, 0.75f, 2.25f}};
  static const float f[3][4] = {{1, 0, 0, 0}, {0, 0.5f, 0.5f, 0}, {0, 0, 0, 1}};
  for (int32_t r = 0; r < 3; ++r)
    for (int32_t c = 0; c < 4; ++c) C.ColorMatrix[r][c] = Weight * a[r][c] + (1 - Weight) * f[r][c];
  C.HasColorMatrix = 1;
}

void set_foveon_matrix(TQxRawContext& C) {
  static const float m[3][3] = {{2.034395f, -0.727533f, -0.3067457f},
                                {-0.2287194f, 1.231793f, -0.0028293f},
                                {-0.0086152f, -0.153336f, 1.161781f}};
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j) C.ColorMatrix[i][j] = C.ChannelGains[i] * m[i][j];
  C.HasColorMatrix = 1;
}

void derive_cmyg_matrix(TQxRawContext& C) {
  // Red, green and blue response of the camera colours green, magenta, cyan and yellow.
  static const double g[4][3] = {{0.11, 0.86, 0.08}, {0.50, 0.29, 0.51}, {0.11, 0.92, 0.75}, {0.81, 0.98, 0.08}};
  double m[3][4] = {};
  for (int32_t k = 0; k < 4; ++k) {
    int32_t kept[3], n = 0;
    for (int32_t i = 0; i < 4; ++i)
      if (i != k) kept[n++] = i;
    double a[3][6];
    for (int32_t i = 0; i < 3; ++i)
      for (int32_t j = 0; j < 6; ++j) a[i][j] = j < 3 ? g[kept[i]][j] : (j - 3 == i ? 1 : 0);
    for (int32_t j = 0; j < 3; ++j) {
      const double d = a[j][j];
      if (d == 0) continue;
      for (double& v : a[j]) v /= d;
      for (int32_t i = 0; i < 3; ++i)
        if (i != j) {
          const double f = a[i][j];
          for (int32_t c = 0; c < 6; ++c) a[i][c] -= f * a[j][c];
        }
    }
    for (int32_t j = 0; j < 3; ++j)
      for (int32_t r = 0; r < 3; ++r) m[r][kept[j]] += a[r][3 + j];
  }
  for (int32_t r = 0; r < 3; ++r) {
    const double s = m[r][0] + m[r][1] + m[r][2] + m[r][3];
    for (int32_t c = 0; c < 4; ++c) C.ColorMatrix[r][c] = float(s != 0 ? m[r][c] / s : m[r][c]);
  }
  C.HasColorMatrix = 1;
}

// ---- white balance -----------------------------------------------------------------------------------------

bool QxRawFusedPasses = true;

namespace {

int32_t MinRows(int32_t Width) { return std::max<int32_t>(4, 16384 / std::max(Width, 1)); }

// Rows that never read what another band writes run in bands on every core.
void ForRows(int32_t Begin, int32_t End, int32_t Width, const std::function<void(int32_t, int32_t)>& Fn) {
  ParallelBands(Begin, End, MinRows(Width), Fn);
}

// Row Row of the store as the loader left it: in the store, or still pending (then built into Scratch).
const uint16_t (*LoadedRow(TQxRawContext& C, int32_t Row, uint16_t (*Scratch)[4]))[4] {
  if (!C.PendingRow) return C.Pixels + int64_t(Row) * C.ImageWidth;
  C.PendingRow(Row, Scratch, nullptr);
  return Scratch;
}

// Balance of stored values per channel (zero stays zero: no sample; a channel past the colours keeps its
// values). For large pictures by a table of every value, built once; small ones compute each value.
struct TGains {
  int32_t Colors, Black, White;
  float Gain[4];
  std::vector<uint16_t> Table;  // [channel * 65536 + value], or empty
  TGains(const TQxRawContext& C, int64_t Cells)
      : Colors(std::clamp(C.ColorCount, 1, 4)), Black(C.BlackLevel), White(std::max(C.WhiteLevel, 0)) {
    std::copy(std::begin(C.ChannelGains), std::end(C.ChannelGains), Gain);
    if (Cells < (int64_t(1) << 18)) return;
    Table.resize(size_t(4) << 16);
    ParallelBands(0, 4, 1, [&](int32_t First, int32_t Last) {
      for (int32_t c = First; c < Last; ++c) {
        uint16_t* t = Table.data() + (size_t(c) << 16);
        for (int32_t x = 0; x < 65536; ++x) t[x] = c < Colors ? Balanced(c, x) : uint16_t(x);
      }
    });
  }
  uint16_t Balanced(int32_t Channel, int32_t X) const {
    // Clamped as a float: a gain from a damaged file can put the product past any integer.
    const float v = float(X - Black) * Gain[Channel], top = float(std::min(White, 65535));
    return X && v > 0 ? uint16_t(v < top ? v : top) : 0;
  }
  const uint16_t* Values() const { return Table.empty() ? nullptr : Table.data(); }
  void Apply(uint16_t (*Cells)[4], int64_t Count) const {
    if (Table.empty()) {
      for (int64_t i = 0; i < Count; ++i)
        for (int32_t c = 0; c < Colors; ++c) Cells[i][c] = Balanced(c, Cells[i][c]);
      return;
    }
    const uint16_t* t = Table.data();
    for (int64_t i = 0; i < Count; ++i) {
      uint16_t* p = Cells[i];
      for (int32_t c = 0; c < 4; ++c) p[c] = t[(c << 16) + p[c]];
    }
  }
};

}  // namespace

void place_pending_rows(TQxRawContext& C) {
  if (!C.PendingRow) return;
  ForRows(0, C.ImageHeight, C.ImageWidth, [&](int32_t First, int32_t Last) {
    for (int32_t r = First; r < Last; ++r) C.PendingRow(r, C.Pixels + int64_t(r) * C.ImageWidth, nullptr);
  });
  C.PendingRow = nullptr;
  C.PendingMemory.Release();
}

void compute_channel_gains(TQxRawContext& C) {
  C.WhiteLevel -= C.BlackLevel;
  const int32_t colors = std::clamp(C.ColorCount, 1, 4);
  if (C.AutoBalance || (C.CameraBalance && C.CameraRedGain == -1)) {
    // Whole sums are exact in any order, so the bands' sums add up to the serial result.
    int64_t whole[4] = {}, count[4] = {};
    std::mutex merge;
    const int32_t black = C.BlackLevel, top = C.WhiteLevel - 100;
    const int32_t w = std::max(C.ImageWidth, 0);
    ForRows(0, C.ImageHeight, w, [&](int32_t First, int32_t Last) {
      std::vector<uint16_t> scratch(C.PendingRow ? size_t(w) * 4 : 0);
      int64_t s[4] = {}, n[4] = {};
      for (int32_t r = First; r < Last; ++r) {
        const uint16_t(*cells)[4] = LoadedRow(C, r, reinterpret_cast<uint16_t(*)[4]>(scratch.data()));
        for (int32_t i = 0; i < w; ++i)
          for (int32_t c = 0; c < colors; ++c) {
            int32_t v = cells[i][c];
            if (!v) continue;
            v -= black;
            if (v > top) continue;
            s[c] += std::max(v, 0);
            ++n[c];
          }
      }
      std::lock_guard<std::mutex> lock(merge);
      for (int32_t c = 0; c < 4; ++c) {
        whole[c] += s[c];
        count[c] += n[c];
      }
    });
    double sum[4];
    for (int32_t c = 0; c < 4; ++c) sum[c] = double(whole[c]);
    double dmax = 0;
    for (int32_t c = 0; c < colors; ++c) {
      if (count[c]) sum[c] /= double(count[c]);
      dmax = std::max(dmax, sum[c]);
    }
    // A colour without samples keeps its gain instead of dividing by zero.
    for (int32_t c = 0; c < colors; ++c)
      if (sum[c] > 0) C.ChannelGains[c] = float(dmax / sum[c]);
  }
  if (C.CameraBalance && C.CameraRedGain != -1) {
    double sum[4] = {};
    int32_t count[4] = {};
    for (int32_t r = 0; r < 8; ++r)
      for (int32_t c = 0; c < 8; ++c) {
        const int32_t k = C.ColorAt(r, c);
        const int32_t v = C.WhiteSamples[r][c] - C.BlackLevel;
        if (v > 0) sum[k] += v;
        ++count[k];
      }
    double dmin = 1.7e308, dmax = 0;
    for (int32_t c = 0; c < colors; ++c) {
      if (count[c]) sum[c] /= count[c];
      dmin = std::min(dmin, sum[c]);
      dmax = std::max(dmax, sum[c]);
    }
    if (dmin > 0) {
      for (int32_t c = 0; c < colors; ++c) C.ChannelGains[c] = float(dmax / sum[c]);
    } else if (C.CameraRedGain != 0 && C.CameraBlueGain != 0) {
      C.ChannelGains[0] = C.CameraRedGain;
      C.ChannelGains[1] = 1;
      C.ChannelGains[2] = C.CameraBlueGain;
      C.ChannelGains[3] = 1;
    }
  }
  if (!C.HasColorMatrix) {
    C.ChannelGains[0] *= C.RedScale;
    C.ChannelGains[2] *= C.BlueScale;
  }
}

void apply_channel_gains(TQxRawContext& C) {
  place_pending_rows(C);
  compute_channel_gains(C);
  const int64_t w = std::max(C.ImageWidth, 0);
  const TGains gains(C, std::max(C.ImageHeight, 0) * w);
  ForRows(0, C.ImageHeight, C.ImageWidth,
          [&](int32_t First, int32_t Last) { gains.Apply(C.Pixels + First * w, (Last - First) * w); });
}

// ---- bilinear demosaicing ----------------------------------------------------------------------------------

namespace {

// Per tile position of the 8 x 2 pattern: for each colour other than the cell's own, the neighbours of that
// colour (row -1..1, cell offset within the row and weight shift) and the total weight, divided by a
// reciprocal multiply that is exact for every sum the cells can give (below 2^32 / 12).
struct TDemosaic {
  struct TColour {
    int32_t Color;
    int32_t Count;
    int32_t Row[8];
    int32_t Offset[8];
    int32_t Shift[8];
    uint64_t Reciprocal;
  };
  struct TTile {
    TColour Colours[3];
    int32_t N;
  } Tiles[8][2];

  explicit TDemosaic(const TQxRawContext& C) {
    const int32_t colors = std::clamp(C.ColorCount, 1, 4);
    for (int32_t row = 0; row < 8; ++row)
      for (int32_t col = 0; col < 2; ++col) {
        TTile& t = Tiles[row][col];
        t.N = 0;
        const int32_t own = C.ColorAt(row + 8, col + 2);
        for (int32_t k = 0; k < colors; ++k) {
          if (k == own) continue;
          TColour u{k, 0, {}, {}, {}, 0};
          int32_t total = 0;
          for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx) {
              if ((!dy && !dx) || C.ColorAt(row + dy + 8, col + dx + 2) != k) continue;
              const int32_t shift = (dy == 0 || dx == 0) ? 1 : 0;
              u.Row[u.Count] = dy + 1;
              u.Offset[u.Count] = dx * 4 + k;
              u.Shift[u.Count++] = shift;
              total += 1 << shift;
            }
          if (!total) continue;  // no neighbour of that colour: it stays as it is
          u.Reciprocal = ((uint64_t(1) << 32) + uint64_t(total) - 1) / uint64_t(total);
          t.Colours[t.N++] = u;
        }
      }
  }
  // Columns 1 to Width - 2 of image row RowIndex into Out, from the rows above, at and below it (only the
  // cells' own colours are read; Out may be the row itself). Column by column parity, then colour by
  // colour, so that the innermost loops run over a fixed set of neighbours.
  void Row(int32_t RowIndex, int32_t Width, const uint16_t* const (&Lines)[3], uint16_t* Out) const {
    for (int32_t parity = 0; parity < 2; ++parity) {
      const TTile& t = Tiles[RowIndex & 7][parity];
      const int32_t first = parity ? 1 : 2;
      for (int32_t i = 0; i < t.N; ++i) {
        const TColour& u = t.Colours[i];
        const uint16_t* src[8];
        for (int32_t n = 0; n < u.Count; ++n) src[n] = Lines[u.Row[n]] + u.Offset[n];
        uint16_t* dst = Out + u.Color;
        const uint64_t rec = u.Reciprocal;
        auto put = [&](int64_t at, uint32_t sum) { dst[at] = uint16_t((uint64_t(sum) * rec) >> 32); };
        if (u.Count == 2) {
          const int32_t s0 = u.Shift[0], s1 = u.Shift[1];
          for (int64_t col = first; col < Width - 1; col += 2) {
            const int64_t at = col * 4;
            put(at, (uint32_t(src[0][at]) << s0) + (uint32_t(src[1][at]) << s1));
          }
        } else if (u.Count == 4) {
          const int32_t s0 = u.Shift[0], s1 = u.Shift[1], s2 = u.Shift[2], s3 = u.Shift[3];
          for (int64_t col = first; col < Width - 1; col += 2) {
            const int64_t at = col * 4;
            put(at, (uint32_t(src[0][at]) << s0) + (uint32_t(src[1][at]) << s1) + (uint32_t(src[2][at]) << s2) +
                        (uint32_t(src[3][at]) << s3));
          }
        } else {
          for (int64_t col = first; col < Width - 1; col += 2) {
            const int64_t at = col * 4;
            uint32_t sum = 0;
            for (int32_t n = 0; n < u.Count; ++n) sum += uint32_t(src[n][at]) << u.Shift[n];
            put(at, sum);
          }
        }
      }
    }
  }
};

}  // namespace

void vng_interpolate(TQxRawContext& C) {
  const TDemosaic plan(C);
  const int32_t w = C.ImageWidth;
  // A cell's own colour is never written, and only own colours are read: bands of rows can run at once.
  ForRows(1, C.ImageHeight - 1, w, [&](int32_t First, int32_t Last) {
    for (int32_t row = First; row < Last; ++row) {
      uint16_t* line = C.Pixels[int64_t(row) * w];
      const uint16_t* const lines[3] = {line - int64_t(w) * 4, line, line + int64_t(w) * 4};
      plan.Row(row, w, lines, line);
    }
  });
}

// ---- colour conversion ------------------------------------------------------------------------------------

namespace {

struct TConvert {
  int32_t Colors;
  bool Matrix, Cmy;
  double White;
  double M[3][4];
  explicit TConvert(const TQxRawContext& C)
      : Colors(std::clamp(C.ColorCount, 1, 4)), Matrix(C.HasColorMatrix != 0), Cmy(C.CmySensor != 0),
        White(std::clamp(double(C.WhiteLevel), 0.0, 65535.0)) {
    for (int32_t r = 0; r < 3; ++r)
      for (int32_t g = 0; g < 4; ++g) M[r][g] = C.ColorMatrix[r][g];
  }
  // Columns From to To - 1 of a row of cells, each counted in Histogram by its luminance.
  void Row(uint16_t (*Line)[4], int32_t From, int32_t To, int32_t* Histogram) const {
    if (Colors > 1 && Colors < 4 && !Matrix && !Cmy) {
      // Nothing to convert: the luminance alone.
      if (From < To) QxCellLumaRow(Line + From, To - From, Histogram);
      return;
    }
    for (int32_t col = From; col < To; ++col) {
      uint16_t* p = Line[col];
      if (Colors == 4 && !Matrix) p[1] = uint16_t((p[1] + p[3]) >> 1);
      double rgb[3];
      bool convert = true;
      if (Colors == 1) {
        rgb[0] = rgb[1] = rgb[2] = p[0];
      } else if (Matrix) {
        for (int32_t r = 0; r < 3; ++r) {
          double s = 0;
          for (int32_t g = 0; g < Colors; ++g) s += p[g] * M[r][g];
          rgb[r] = s;
        }
      } else if (Cmy) {
        const double x0 = p[0], x1 = p[1], x2 = p[2];
        rgb[0] = x0 + x1 - x2;
        rgb[1] = x1 + x2 - x0;
        rgb[2] = x2 + x0 - x1;
      } else {
        convert = false;
      }
      if (convert)
        for (int32_t r = 0; r < 3; ++r) {
          const double v = rgb[r];  // a matrix from a damaged file can give NaN: black, not undefined
          p[r] = uint16_t(v > 0 ? (v < White ? v : White) : 0.0);
        }
      const double x0 = p[0], x1 = p[1], x2 = p[2];
      const double luma = std::min(std::sqrt(x0 * x0 + x1 * x1 + x2 * x2) / 2, 65535.0);
      p[3] = uint16_t(luma);
      ++Histogram[p[3] >> 3];
    }
  }
};

}  // namespace

void convert_camera_colors(TQxRawContext& C) {
  std::fill(std::begin(C.LumaHistogram), std::end(C.LumaHistogram), 0);
  const int32_t e = C.EdgeTrim;
  const TConvert convert(C);
  std::mutex merge;
  ForRows(e, C.ImageHeight - e, C.ImageWidth, [&](int32_t First, int32_t Last) {
    std::vector<int32_t> histogram(8192, 0);
    for (int32_t row = First; row < Last; ++row)
      convert.Row(C.Pixels + int64_t(row) * C.ImageWidth, e, C.ImageWidth - e, histogram.data());
    std::lock_guard<std::mutex> lock(merge);
    for (int32_t i = 0; i < 8192; ++i) C.LumaHistogram[i] += histogram[size_t(i)];
  });
}

// ---- the three passes fused ------------------------------------------------------------------------------------

void balance_interpolate_convert(TQxRawContext& C, const std::function<void(int32_t Row)>& Wait, int32_t Threads) {
  // Each band of rows keeps three balanced rows in a ring and writes each of its rows once, finished: the
  // store is walked once instead of three times. The rows next to a band belong to another band, which may
  // finish them first; when they come from the store they are copied before any band starts.
  std::fill(std::begin(C.LumaHistogram), std::end(C.LumaHistogram), 0);
  const int32_t h = C.ImageHeight, w = C.ImageWidth;
  if (h <= 0 || w <= 0) return;
  const TGains gains(C, int64_t(h) * w);
  const TDemosaic demosaic(C);
  const TConvert convert(C);
  const bool pending = bool(C.PendingRow);
  const size_t rowCells = size_t(w);
  const int32_t bands = std::clamp<int32_t>(ParallelBandThreads() * 4, 1, std::max(1, h / MinRows(w)));
  auto bandStart = [&](int32_t k) { return int32_t(int64_t(h) * k / bands); };
  std::vector<uint16_t> edges;
  if (!pending) {
    edges.resize(size_t(bands) * 2 * rowCells * 4);
    ParallelBands(0, bands, 1, [&](int32_t First, int32_t Last) {
      for (int32_t k = First; k < Last; ++k) {
        const int32_t a = bandStart(k), b = bandStart(k + 1);
        uint16_t* e = edges.data() + size_t(k) * 2 * rowCells * 4;
        if (a > 0) std::memcpy(e, C.Pixels + int64_t(a - 1) * w, rowCells * 8);
        if (b < h) std::memcpy(e + rowCells * 4, C.Pixels + int64_t(b) * w, rowCells * 8);
      }
    });
  }
  std::mutex merge;
  const int32_t e = C.EdgeTrim;
  const std::function<void(int32_t, int32_t)> run = [&](int32_t First, int32_t Last) {
    std::vector<uint16_t> scratch(rowCells * 4 * 3);
    auto slot = [&](int32_t r) { return reinterpret_cast<uint16_t(*)[4]>(scratch.data() + size_t(r % 3) * rowCells * 4); };
    std::vector<int32_t> histogram(8192, 0);
    for (int32_t k = First; k < Last; ++k) {
      const int32_t a = bandStart(k), b = bandStart(k + 1);
      const uint16_t* e0 = edges.empty() ? nullptr : edges.data() + size_t(k) * 2 * rowCells * 4;
      auto load = [&](int32_t r) {
        if (Wait) Wait(r);
        uint16_t(*dst)[4] = slot(r);
        if (pending) {
          C.PendingRow(r, dst, gains.Values());
          if (gains.Values()) return;
        } else if (r < a) std::memcpy(dst, e0, rowCells * 8);
        else if (r >= b) std::memcpy(dst, e0 + rowCells * 4, rowCells * 8);
        else std::memcpy(dst, C.Pixels + int64_t(r) * w, rowCells * 8);
        gains.Apply(dst, w);
      };
      if (a > 0) load(a - 1);
      load(a);
      for (int32_t r = a; r < b; ++r) {
        if (r + 1 < h) load(r + 1);
        uint16_t(*out)[4] = C.Pixels + int64_t(r) * w;
        std::memcpy(out, slot(r), rowCells * 8);
        if (r >= 1 && r < h - 1) {
          const uint16_t* const lines[3] = {slot(r - 1)[0], slot(r)[0], slot(r + 1)[0]};
          demosaic.Row(r, w, lines, out[0]);
        }
        if (r >= e && r < h - e) convert.Row(out, e, w - e, histogram.data());
      }
    }
    std::lock_guard<std::mutex> lock(merge);
    for (int32_t i = 0; i < 8192; ++i) C.LumaHistogram[i] += histogram[size_t(i)];
  };
  if (Threads <= 0) {
    ParallelBands(0, bands, 1, run);
  } else {
    // Bands in order, one at a time to each thread.
    std::atomic<int32_t> next{0};
    std::exception_ptr error;
    std::mutex errorLock;
    auto take = [&] {
      try {
        for (int32_t k; (k = next.fetch_add(1)) < bands;) run(k, k + 1);
      } catch (...) {
        std::lock_guard<std::mutex> lock(errorLock);
        if (!error) error = std::current_exception();
      }
    };
    std::vector<std::thread> helpers;
    for (int32_t i = 1; i < std::min(Threads, bands); ++i) helpers.emplace_back(take);
    take();
    for (auto& t : helpers) t.join();
    if (error) std::rethrow_exception(error);
  }
  C.PendingRow = nullptr;
  C.PendingMemory.Release();
}

// ---- output --------------------------------------------------------------------------------------------------

void write_ppm(TQxRawContext& C, TQxBitmap* Bitmap, TIOParamsVals& Params, bool Deep) {
  const int64_t perc = int64_t(double(C.ImageWidth) * C.ImageHeight * (std::strcmp(C.Maker, "FUJIFILM") == 0 ? 0.005 : 0.01));
  int32_t v = 8191;
  for (int64_t total = 0; v > 0; --v) {
    total += C.LumaHistogram[v];
    if (total > perc) break;
  }
  double white = v * 16.0;
  if (white == 0) white = 1.0;
  const double scale = C.Brightness * 442.0 / white * (Deep ? 65535.0 / 255.0 : 1.0);
  C.ToneTable.assign(65536, 0.0);
  ParallelBands(1, 65536, 1024, [&](int32_t First, int32_t Last) {
    for (int32_t i = First; i < Last; ++i)
      C.ToneTable[size_t(i)] = double(QxFloatPower(2.0 * i / white, C.Gamma - 1.0)) * scale;
  });

  const int32_t e = C.EdgeTrim;
  const int32_t cols = C.ImageWidth - 2 * e, rows = C.ImageHeight - 2 * e;
  const int32_t ax = std::max(C.PixelAspectX, 1), ay = std::max(C.PixelAspectY, 1);
  if (cols <= 0 || rows <= 0) throw EQxRawError(": the picture is too small to show");
  if (!Bitmap->AllocateUninitialised(cols * ax, rows * ay, Deep ? TQxPixelFormat::qxRGB48 : TQxPixelFormat::qx24RGB))
    throw EQxRawError(": not enough memory for the picture");
  Params.BitsPerSample = Deep ? 16 : 8;
  Params.SamplesPerPixel = 3;
  const double limit = Deep ? 65535.0 : 255.0;
  const double* tone = C.ToneTable.data();
  auto rowsOut = [&](int32_t First, int32_t Last) {
    for (int32_t row = First; row < Last; ++row) {
      uint16_t(*line)[4] = C.Pixels + int64_t(row + e) * C.ImageWidth + e;
      if (!Deep && ax == 1 && ay == 1) {
        // The usual form, without the loops for repeated pixels.
        uint8_t* o = Bitmap->Scanline(row);
        for (int32_t col = 0; col < cols; ++col, o += 3) {
          const uint16_t* p = line[col];
          const double t = tone[p[3]];
          o[0] = uint8_t(uint32_t(std::min(p[2] * t, limit)));  // blue, green, red
          o[1] = uint8_t(uint32_t(std::min(p[1] * t, limit)));
          o[2] = uint8_t(uint32_t(std::min(p[0] * t, limit)));
        }
        continue;
      }
      for (int32_t k = 0; k < ay; ++k) {
        uint8_t* out = Bitmap->Scanline(row * ay + k);
        for (int32_t col = 0; col < cols; ++col) {
          const uint16_t* p = line[col];
          const double t = tone[p[3]];
          const uint32_t r = uint32_t(std::min(p[0] * t, limit)), g = uint32_t(std::min(p[1] * t, limit)),
                         b = uint32_t(std::min(p[2] * t, limit));
          for (int32_t x = 0; x < ax; ++x) {
            if (Deep) {
              uint16_t* o = reinterpret_cast<uint16_t*>(out) + (int64_t(col) * ax + x) * 3;
              o[0] = uint16_t(r);
              o[1] = uint16_t(g);
              o[2] = uint16_t(b);
            } else {
              uint8_t* o = out + (int64_t(col) * ax + x) * 3;  // blue, green, red
              o[0] = uint8_t(b);
              o[1] = uint8_t(g);
              o[2] = uint8_t(r);
            }
          }
        }
      }
    }
  };
  // A bitmap kept in a file maps one row at a time: it is written by one thread.
  if (Bitmap->MapsRows()) rowsOut(0, rows);
  else ForRows(0, rows, cols * ax, rowsOut);
  C.FreeStore();
  C.Progress.Report(90);
  if (C.DiagonalLayout) {
    if (Deep) QxRawUndiagonal48(Bitmap);
    else QxRawUndiagonal24(Bitmap);
  }
}

// ---- the Fuji layout -------------------------------------------------------------------------------------

namespace {

template <typename T>
void Undiagonal(TQxBitmap* Bitmap, TQxPixelFormat Format) {
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  if (w <= 0 || h <= 0) return;
  auto zero = [](const T* p) { return !p[0] && !p[1] && !p[2]; };
  const T* top = reinterpret_cast<const T*>(Bitmap->Scanline(0));
  int32_t first = w;
  for (int32_t x = 0; x < w; ++x)
    if (!zero(top + 3 * x)) {
      first = x;
      break;
    }
  int32_t n = 0;
  for (int32_t x = w - 1; x >= 1; --x)
    if (!zero(top + 3 * x)) {
      n = x;
      break;
    }
  const int32_t e = 2 * (w - first) - 4;
  if (e < 2 || n < 1) return;  // nothing of the turned picture is there: leave it as it is
  std::vector<T> grid(size_t(e) * n * 3);
  auto at = [&](int32_t j, int32_t o) { return grid.data() + (size_t(j) * n + o) * 3; };
  for (int32_t r = 0; r < h; ++r) {
    const T* src = reinterpret_cast<const T*>(Bitmap->Scanline(r));
    for (int32_t x = 0; x < w; ++x) {
      const int32_t g = r + x - n + 5, o = (x - r + n - 1) / 2;
      if (g >= 0 && g < e && o >= 0 && o < n) std::copy(src + 3 * x, src + 3 * x + 3, at(g, o));
    }
  }
  TQxBitmap out;
  if (!out.Allocate(2 * n, e, Format)) throw EQxRawError(": not enough memory for the picture");
  for (int32_t j = 1; j < e; ++j) {
    T* dst = reinterpret_cast<T*>(out.Scanline(j - 1));
    std::fill(dst, dst + 3, T(0));
    for (int32_t l = 1; l < 2 * n; ++l) {
      const T* q = at(j, l / 2);
      T* d = dst + 3 * l;
      if (((j + l) & 1) == 0) {
        std::copy(q, q + 3, d);
      } else if (j > e - 2 || l > 2 * n - 2) {
        // The last row and column cannot average four neighbours: they repeat the sample the row above
        // left in this column.
        const T* above = at(j - 1, l / 2);
        std::copy(above, above + 3, d);
      } else {
        const T* s1 = (j & 1) ? at(j, l / 2 - 1) : q;
        const T* s2 = (j & 1) ? q : at(j, l / 2 + 1);
        const T* up = at(j - 1, l / 2);
        const T* down = at(j + 1, l / 2);
        for (int32_t c = 0; c < 3; ++c) d[c] = T((int32_t(up[c]) + down[c] + s1[c] + s2[c]) / 4);
      }
    }
  }
  // The bottom row repeats the one above it.
  if (e >= 2) {
    const size_t bytes = size_t(2 * n) * 3 * sizeof(T);
    std::vector<uint8_t> keep(bytes);
    std::memcpy(keep.data(), out.Scanline(e - 2), bytes);
    std::memcpy(out.Scanline(e - 1), keep.data(), bytes);
  }
  Bitmap->AssignFrom(&out);
}

}  // namespace

void QxRawUndiagonal24(TQxBitmap* Bitmap) { Undiagonal<uint8_t>(Bitmap, TQxPixelFormat::qx24RGB); }
void QxRawUndiagonal48(TQxBitmap* Bitmap) { Undiagonal<uint16_t>(Bitmap, TQxPixelFormat::qxRGB48); }
