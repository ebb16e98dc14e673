// The I/O component's metafile members: WMF and EMF drawn into the work bitmap at their own size or a
// requested one, with an alpha channel where the metafile drew nothing.
#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dib_bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/io_init.h"
#include "imaging/io/metafile.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/files.h"
#include "platform/base/streams.h"

namespace {

// The colour no drawing is expected to hit: red 3, green 2, blue 1.
constexpr TColor MetafileKeyColor = 66051;

bool FillDib(TQxDibbitmap& Dib, int32_t W, int32_t H, TColor Color) {
  if (!Dib.AllocateDIB(W, H, 24) || !Dib.DC()) return false;
  TCanvas* c = Dib.DC();
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(Color);
  c->FillRect(TRect(0, 0, W, H));
  return true;
}

}  // namespace

void TQuillotIO::RenderMetafile(TQxMetafile& Metafile, int32_t Width, int32_t Height, bool WithAlpha) {
  Aborting = false;
  const int32_t mw = Metafile.Width(), mh = Metafile.Height();
  if (mw == 0 || mh == 0) {
    Aborting = true;
    if (Params->ReadError.empty()) Params->ReadError = Metafile.Error().empty() ? "The metafile is empty" : Metafile.Error();
    return;
  }
  if (Width == 0 || Height == 0 || !MakeConsistentBitmap({})) return;
  Params->ResetInfo();
  int64_t w = mw, h = mh;
  if (Width > 0 || Height > 0) {
    if (Width >= 1 && Height >= 1) {
      w = Width;
      h = Height;
    } else if (Width < 0) {
      w = static_cast<int64_t>(Height) * mw / mh;
      h = Height;
    } else {
      h = static_cast<int64_t>(mh) * Width / mw;
      w = Width;
    }
  }
  const int64_t maxSide = std::max(1, QxMetafileMaxSize);
  if (w > maxSide || h > maxSide) {
    if (w >= h) {
      h = h * maxSide / w;
      w = maxSide;
    } else {
      w = w * maxSide / h;
      h = maxSide;
    }
  }
  w = std::max<int64_t>(w, 1);
  h = std::max<int64_t>(h, 1);
  Metafile.SetWidth(static_cast<int32_t>(w));
  Metafile.SetHeight(static_cast<int32_t>(h));
  const TRect dest(0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h));

  TQxDibbitmap dib;
  if (!FillDib(dib, dest.Right, dest.Bottom, Background())) {
    Aborting = true;
    Params->ReadError = "Not enough memory for the metafile's picture";
    return;
  }
  Params->FileName.clear();
  Params->FileType = Metafile.Enhanced() ? qxffEMF : qxffWMF;
  Params->BitsPerSample = 8;
  Params->SamplesPerPixel = 3;
  Params->Width = Params->OriginalWidth = dest.Right;
  Params->Height = Params->OriginalHeight = dest.Bottom;
  Params->SetDpiX(QxDefaultDpiX);
  Params->SetDpiY(QxDefaultDpiY);
  Params->FreeColorMap();
  UpdateViewDPI();
  // A damaged record stops the drawing; what was drawn before it is kept, and the load reports failure.
  bool ok = Metafile.Play(*dib.DC(), dest);
  FWorkBitmap->CopyFromDib(&dib);
  FWorkBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
  if (WithAlpha) {
    TQxDibbitmap key;
    if (FillDib(key, dest.Right, dest.Bottom, MetafileKeyColor)) {
      ok = Metafile.Play(*key.DC(), dest) && ok;
      TQxBitmap* alpha = FWorkBitmap->GetAlphaChannel();
      for (int32_t y = 0; y < dest.Bottom; ++y) {
        const uint8_t* row = key.Scanline(y);
        uint8_t* a = alpha->Scanline(y);
        for (int32_t x = 0; x < dest.Right; ++x) {
          const uint8_t* px = row + 3 * x;
          a[x] = px[0] == 1 && px[1] == 2 && px[2] == 3 ? 0 : 255;
        }
      }
      FWorkBitmap->UpdateOpaqueFlag();
    }
  }
  if (!ok) {
    Aborting = true;
    Params->ReadError = "The metafile is damaged: a record reaches past the end of the file";
  }
  UpdateView();
}

void TQuillotIO::ImportMetafile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha) {
  if (RunAsync([this, FileName, Width, Height, WithAlpha] { ImportMetafile(FileName, Width, Height, WithAlpha); }))
    return;
  TQxMetafile mf;
  try {
    TQxWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    mf.LoadFromStream(f);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  if (mf.Empty()) Params->ReadError = mf.Error();
  RenderMetafile(mf, Width, Height, WithAlpha);
  Params->FileName = FileName;
  DoFinishWork();
}

void TQuillotIO::ImportMetafileStream(TStream& Stream, int32_t Width, int32_t Height, bool WithAlpha) {
  TQxMetafile mf;
  mf.LoadFromStream(Stream);
  if (mf.Empty()) Params->ReadError = mf.Error();
  RenderMetafile(mf, Width, Height, WithAlpha);
  Params->FileName.clear();
  DoFinishWork();
}

void TQuillotIO::ReadMetafileParams(TStream& Stream) {
  TQxMetafile mf;
  if (!mf.LoadFromStream(Stream) || mf.Width() == 0 || mf.Height() == 0) {
    Aborting = true;
    return;
  }
  Params->FileName.clear();
  Params->FileType = mf.Enhanced() ? qxffEMF : qxffWMF;
  Params->BitsPerSample = 8;
  Params->SamplesPerPixel = 3;
  Params->Width = Params->OriginalWidth = mf.Width();
  Params->Height = Params->OriginalHeight = mf.Height();
  Params->SetDpiX(QxDefaultDpiX);
  Params->SetDpiY(QxDefaultDpiY);
  Params->FreeColorMap();
}
