// Thumbnail view loading: synchronous loads on the painting thread, the loader thread that keeps up to
// ThreadPoolSize background loads running, the wrong-image picture, and the hand-over of finished
// pictures to the GUI thread.
//
// A background load reads and reduces its picture on its I/O worker, then queues the result under the
// view's lock and posts QX_WM_MVIEW_LOADED; the GUI thread stores it. The entries, the stores and the
// multi-image I/O component thus change on the GUI thread only, and a view that is destroyed first drops
// what is still queued.
#include <algorithm>
#include <chrono>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/shell_icon.h"
#include "imaging/view/mview.h"
#include "imaging/view/mview_internal.h"
#include "platform/graphics/bitmap.h"

namespace {

bool HasFrameSuffix(const std::string& Name) { return Name.find("::") != std::string::npos; }

// The picture shown for a file that cannot be read: a page with a folded corner and the file's
// extension, standing in for the desktop's icon of that file type.
// The desktop's icon for the file in the middle of a white cell; a drawn page with its extension where
// the desktop has none.
void DrawFileIcon(const std::string& FileName, TQxBitmap* Bitmap, int32_t W, int32_t H) {
  TBitmap b(W, H, TPixelFormat::pf24bit);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clWhite);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->FillRect(TRect(0, 0, W, H));
  TQxBitmap icon;
  QxShellFileIcon(FileName, &icon);
  if (!icon.IsEmpty() && icon.Width() <= W && icon.Height() <= H) {
    Bitmap->CopyFromTBitmap(&b);
    const int32_t ox = (W - icon.Width()) / 2, oy = (H - icon.Height()) / 2;
    if (icon.PixelFormat() != TQxPixelFormat::qx24RGB) icon.SetPixelFormat(TQxPixelFormat::qx24RGB);
    TQxBitmap* alpha = icon.HasAlphaChannel() ? icon.GetAlphaChannel() : nullptr;
    for (int32_t y = 0; y < icon.Height(); ++y) {
      const uint8_t* s = icon.Scanline(y);
      const uint8_t* a = alpha ? alpha->Scanline(y) : nullptr;
      uint8_t* d = Bitmap->Scanline(oy + y) + 3 * ox;
      for (int32_t x = 0; x < 3 * icon.Width(); ++x) {
        const int32_t k = a ? a[x / 3] : 255;
        d[x] = uint8_t((s[x] * k + d[x] * (255 - k) + 127) / 255);
      }
    }
    return;
  }
  const int32_t pw = std::max(W / 2, 8), phh = std::max(H * 2 / 3, 10);
  const int32_t x = (W - pw) / 2, y = (H - phh) / 2, fold = std::max(pw / 4, 3);
  c->Pen()->SetColor(TColor(0x808080));
  c->Brush()->SetColor(TColor(0xF0F0F0));
  const TPoint page[] = {TPoint(x, y), TPoint(x + pw - fold, y), TPoint(x + pw, y + fold), TPoint(x + pw, y + phh),
                         TPoint(x, y + phh)};
  c->Polygon(page, 5);
  c->MoveTo(x + pw - fold, y);
  c->LineTo(x + pw - fold, y + fold);
  c->LineTo(x + pw, y + fold);
  std::string ext = QxLowerFileExtW(FileName, false);
  if (ext.size() > 4) ext.resize(4);
  for (auto& ch : ext) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  if (!ext.empty()) {
    c->Font()->SetName("Arial");
    c->Font()->SetHeight(-std::max(phh / 5, 6));
    c->Brush()->SetStyle(TBrushStyle::bsClear);
    c->Font()->SetColor(TColor(0x404040));
    const TSize sz = c->TextExtent(ext);
    c->TextOut(x + (pw - sz.cx) / 2, y + (phh - sz.cy) / 2, ext);
  }
  Bitmap->CopyFromTBitmap(&b);
}

}  // namespace

// ============================================================ the loader thread

TQxStarter::TQxStarter(TQuillotMView* View) : FView(View), FThread([this] { RunWorker(); }) {}

TQxStarter::~TQxStarter() {
  Terminate();
  if (FThread.joinable()) FThread.join();
}

void TQxStarter::Signal() {
  {
    std::lock_guard<std::mutex> l(FEventLock);
    FEvent = true;
  }
  FEventCond.notify_one();
}

void TQxStarter::Terminate() {
  FTerminated = true;
  Signal();
}

void TQxStarter::WaitEvent() {
  std::unique_lock<std::mutex> l(FEventLock);
  FEventCond.wait(l, [this] { return FEvent; });
  FEvent = false;  // auto-reset
}

void TQxStarter::RunWorker() {
  WaitEvent();
  while (!FTerminated) {
    FView->StarterPass();
    if (FTerminated) break;
    if (FView->StarterIdle()) {
      WaitEvent();
    } else {
      // Loads are running: look again soon without holding anything.
      std::unique_lock<std::mutex> l(FEventLock);
      FEventCond.wait_for(l, std::chrono::milliseconds(2), [this] { return FEvent; });
      FEvent = false;
    }
  }
}

bool TQuillotMView::StarterIdle() {
  std::lock_guard<std::recursive_mutex> l(FLock);
  return FPendingLoads.empty() && FRunningLoads.empty();
}

// One pass of the loader: free finished loads, start pending ones while there is room. Reads are started
// outside the lock, since finding a file's format already reads it.
void TQuillotMView::StarterPass() {
  std::vector<std::unique_ptr<TRunningLoad>> finished;
  std::vector<std::pair<TRunningLoad*, std::string>> starts;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    for (auto it = FRunningLoads.begin(); it != FRunningLoads.end();) {
      if ((*it)->Tag == -1) {
        finished.push_back(std::move(*it));
        it = FRunningLoads.erase(it);
      } else {
        ++it;
      }
    }
    while (!FDestroying && FStarter && !FPendingLoads.empty() && ThreadPoolSize > 0 &&
           int32_t(FRunningLoads.size()) < ThreadPoolSize) {
      const int32_t p = FPendingLoads.front();
      FPendingLoads.erase(FPendingLoads.begin());
      TQxMViewEntry* e = Entry(p);
      if (!e || e->FileName.empty() || HasFrameSuffix(e->FileName) || e->StoreImage) continue;
      auto load = std::make_unique<TRunningLoad>();
      load->Bitmap = std::make_unique<TQxBitmap>();
      load->Bitmap->SetLocation(TQxLocation::qxMemory);
      load->IO = std::make_unique<TQuillotIO>(static_cast<TComponent*>(nullptr));
      load->Tag = p;
      load->Serial = e->Serial;
      load->Settings = FLoadSettings;
      TQuillotIO* io = load->IO.get();
      io->AttachQxBitmap(load->Bitmap.get());
      PrepareIO(io, e->Background, load->Settings);
      TRunningLoad* raw = load.get();
      io->OnFinishWork = [this, raw](TObject*) { HandleLoadFinished(raw); };
      io->AsyncMode = true;
      starts.emplace_back(raw, e->FileName);
      FRunningLoads.push_back(std::move(load));
    }
  }
  // Freeing waits for each worker to unregister, which it does after leaving the view's lock.
  finished.clear();
  for (auto& [load, name] : starts) {
    TQuillotIO* io = load->IO.get();
    try {
      ReadPlainFile(io, name, load->Settings.ThumbWidth);
    } catch (...) {
      io->Aborting = true;
    }
    // A read refused before any worker started (no such file, no reader for it) has not finished yet.
    if (!load->Finished && io->PendingWorkers() == 0) {
      io->Aborting = true;
      HandleLoadFinished(load);
    }
  }
}

// ============================================================ preparing and reading

void TQuillotMView::PrepareIO(TQuillotIO* IO, TColor Background, const TLoadSettings& S) {
  IO->SetBackground(Background);
  TIOParamsVals& p = *IO->Params;
  if (S.StoreType == TQxStoreType::qxtThumb) {
    const bool e = S.ThumbWidth <= 200 && S.ThumbHeight <= 200 && S.UseEmbeddedThumbnails;
    p.JpegScale = 0;
    p.SetUseExifThumbnail(e ? 1 : 0);
    p.JpegDCTMethod = 1;
    p.Width = S.ThumbWidth;
    p.Height = S.ThumbHeight;
    p.SetRawUseExifThumbnail(e ? 1 : 0);
  } else {
    p.JpegScale = 1;
  }
  p.SetAutoOrient(S.AutoOrient ? 1 : 0);
}

void TQuillotMView::ReadPlainFile(TQuillotIO* IO, const std::string& Name, int32_t ThumbWidth) {
  const std::string ext = QxLowerFileExtW(Name, true);
  if (ext == ".emf" || ext == ".wmf")
    IO->ImportMetafile(Name, ThumbWidth, -1, true);
  else
    IO->LoadFromFileDetected(Name);
}

TQuillotIO* TQuillotMView::GetMultiFileIO(const std::string& Name, int32_t& Image) {
  const size_t sep = Name.find("::");
  const std::string file = Name.substr(0, sep);
  Image = 0;
  if (sep != std::string::npos) {
    try {
      size_t used = 0;
      const std::string num = Name.substr(sep + 2);
      const long v = std::stol(num, &used);
      if (used == num.size() && v >= 0 && v <= INT32_MAX) Image = int32_t(v);
    } catch (...) {
      Image = 0;
    }
  }
  for (TQuillotIO* io : FMultiFileIO)
    if (io->Params->FileName == file) return io;
  auto* io = new TQuillotIO(this);
  io->Params->FileName = file;
  FMultiFileIO.push_back(io);
  return io;
}

void TQuillotMView::LoadFrame(TQuillotIO* IO, int32_t Image, int32_t& Delay) {
  Delay = 0;
  const std::string file = IO->Params->FileName;
  TQxFileFormatInfo* info = QxFileFormatByExtension(QxLowerFileExtW(file, false));
  const int32_t id = info ? int32_t(info->FormatId) : 0;
  if (info && id != 0 && id != 15 && id != 22 && id != 23) {
    IO->Params->SetAllImageIndexes(Image);
    IO->LoadFromFileDetected(file);
    if (id == 2) Delay = IO->Params->GifDelayTime * 10;
  } else {
    if (!IO->IsMediaFileOpen()) IO->OpenMediaFile(file);
    IO->LoadMediaFrame(Image);
    Delay = int32_t(IO->Params->MediaFileFrameDelay * 10);
  }
  IO->Params->FileName = file;
}

void TQuillotMView::FreeMultiFileIO() {
  for (TQuillotIO* io : FMultiFileIO) delete io;
  FMultiFileIO.clear();
}

// ============================================================ synchronous load

bool TQuillotMView::LoadImageNow(int32_t Index) {
  std::lock_guard<std::recursive_mutex> l(FLock);
  TQxMViewEntry* e = Entry(Index);
  if (!e) return true;
  if (e->ImageID >= 0 && OnImageIDRequest) {
    TBitmap* b = nullptr;
    OnImageIDRequest(this, e->ImageID, b);
    SetImageTBitmap(Index, b);
    return true;
  }
  if ((e->ImageID < 0 || !OnImageIDRequestEx) && !e->FileName.empty()) {
    int32_t image = 0;
    const bool frame = HasFrameSuffix(e->FileName);
    TQuillotIO* io = frame ? GetMultiFileIO(e->FileName, image) : FSyncIO;
    auto b = std::make_unique<TQxBitmap>();
    b->SetLocation(TQxLocation::qxMemory);
    io->AttachQxBitmap(b.get());
    io->AsyncMode = false;
    PrepareIO(io, e->Background, CurrentLoadSettings());
    io->OnProgress = OnIOProgress;
    if (FMIO && QxMViewHooks().AutoAdjustDPI) io->AutoAdjustDPI = QxMViewHooks().AutoAdjustDPI(FMIO);
    try {
      if (frame) {
        int32_t delay = 0;
        LoadFrame(io, image, delay);
        e->FrameDelay = delay;
      } else {
        ReadPlainFile(io, e->FileName, FThumbWidth);
      }
    } catch (...) {
      io->Aborting = true;
    }
    bool ok = true;
    if (io->Aborting) {
      HandleWrongImage(b.get(), Index);
      ok = false;
    }
    e = Entry(Index);
    if (e) {
      CopyParamsToMIO(Index, *io->Params);
      e->Background = io->Background();
      SetImageBitmap(Index, b.get());
      if (ok && io->Params->OriginalWidth > 0 && io->Params->OriginalHeight > 0) {
        SetImageSourceWidth(Index, io->Params->OriginalWidth);
        SetImageSourceHeight(Index, io->Params->OriginalHeight);
      }
    }
    io->AttachQxBitmap(nullptr);
    return ok;
  }
  if (e->ImageID >= 0 && OnImageIDRequestEx) {
    TQxBitmap* b = nullptr;
    OnImageIDRequestEx(this, e->ImageID, b);
    SetImageBitmap(Index, b);
  }
  return true;
}

TQxBitmap* TQuillotMView::LockImageBitmap(int32_t Index) {
  std::lock_guard<std::recursive_mutex> l(FLock);
  TQxMViewEntry* e = Entry(Index);
  if (!e) return nullptr;
  if (!e->StoreImage) LoadImageNow(Index);
  e = Entry(Index);
  if (!e || !e->StoreImage) return nullptr;
  return FImageStore->GetBitmap(e->StoreImage);
}

void TQuillotMView::HandleWrongImage(TQxBitmap* Bitmap, int32_t Index) {
  bool handled = false;
  const int32_t W = std::max(FThumbWidth, 1), H = std::max(FThumbHeight, 1);
  if (OnWrongImage) {
    Bitmap->Allocate(W, H, TQxPixelFormat::qx24RGB);
    OnWrongImage(this, Bitmap, Index, handled);
  }
  if (handled) return;
  if (WrongImageShellIcon) {
    DrawFileIcon(GetImageFileName(Index), Bitmap, W, H);
    return;
  }
  TBitmap b(W, H, TPixelFormat::pf24bit);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clWhite);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->FillRect(TRect(0, 0, W, H));
  c->Font()->SetName("Arial");
  c->Font()->SetStyle(TFontStyles{TFontStyle::fsBold});
  c->Font()->SetSize(H);
  c->Brush()->SetStyle(TBrushStyle::bsClear);
  const TSize sz = c->TextExtent("?");
  c->Font()->SetColor(TColor(0x808080));
  c->TextOut((W - sz.cx) / 2 + 3, (H - sz.cy) / 2 + 3, "?");
  c->Font()->SetColor(TColor(0xFF0000));
  c->TextOut((W - sz.cx) / 2, (H - sz.cy) / 2, "?");
  Bitmap->CopyFromTBitmap(&b);
}

// ============================================================ queueing and cancelling

// The look-ahead list is made in ascending order and only ever loses elements.
bool TQuillotMView::IsInLookAhead(int32_t Index) const {
  return std::binary_search(FLookAheadList.begin(), FLookAheadList.end(), Index);
}

void TQuillotMView::PrunePendingLoads() {
  if (ReleaseDistance == -1) return;
  FPendingLoads.erase(std::remove_if(FPendingLoads.begin(), FPendingLoads.end(),
                                     [this](int32_t p) { return !IsEntryVisible(p) && !IsInLookAhead(p); }),
                      FPendingLoads.end());
}

void TQuillotMView::CollectFinishedLoads() {
  for (auto& r : FRunningLoads) {
    if (ReleaseDistance != -1 && r->Tag >= 0 && !IsEntryVisible(r->Tag) && !IsInLookAhead(r->Tag)) {
      r->Tag = -2;
      r->IO->Aborting = true;
    }
  }
}

bool TQuillotMView::QueueBackgroundLoad(int32_t Index, int32_t Position) {
  TQxMViewEntry* e = Entry(Index);
  if (!e) return false;
  if (HasFrameSuffix(e->FileName)) return false;
  std::lock_guard<std::recursive_mutex> l(FLock);
  struct TSignal {
    TQxStarter* S;
    ~TSignal() {
      if (S) S->Signal();
    }
  } signal{FStarter.get()};
  if (HasParentWindow()) FPostWnd = Handle();
  FLoadSettings = CurrentLoadSettings();
  if (e->StoreImage) return true;
  PrunePendingLoads();
  if (Position >= 0) Position = std::max(0, std::min(Position, int32_t(FPendingLoads.size()) - 1));
  auto it = std::find(FPendingLoads.begin(), FPendingLoads.end(), Index);
  if (it != FPendingLoads.end()) {
    if (Position >= 0) {
      FPendingLoads.erase(it);
      FPendingLoads.insert(FPendingLoads.begin() + std::min<size_t>(size_t(Position), FPendingLoads.size()), Index);
    }
    return true;
  }
  for (auto& r : FRunningLoads)
    if (r->Tag == Index) return true;
  // A picture that has arrived but is not stored yet must not be read a second time.
  for (auto& r : FLoadResults)
    if (r->Serial == e->Serial) return true;
  CollectFinishedLoads();
  if ((e->ImageID >= 0 && (OnImageIDRequest || OnImageIDRequestEx)) || e->FileName.empty()) return false;
  if (Position < 0)
    FPendingLoads.push_back(Index);
  else
    FPendingLoads.insert(FPendingLoads.begin() + std::min<size_t>(size_t(Position), FPendingLoads.size()), Index);
  return true;
}

int32_t TQuillotMView::PendingLoadIndex(int32_t Index) {
  std::lock_guard<std::recursive_mutex> l(FLock);
  auto it = std::find(FPendingLoads.begin(), FPendingLoads.end(), Index);
  return it == FPendingLoads.end() ? -1 : int32_t(it - FPendingLoads.begin());
}

void TQuillotMView::CancelLoad(int32_t Index) {
  std::lock_guard<std::recursive_mutex> l(FLock);
  FPendingLoads.erase(std::remove(FPendingLoads.begin(), FPendingLoads.end(), Index), FPendingLoads.end());
  FLookAheadList.erase(std::remove(FLookAheadList.begin(), FLookAheadList.end(), Index), FLookAheadList.end());
  for (auto& r : FRunningLoads) {
    if (r->Tag == Index) {
      r->Tag = -2;
      r->IO->Aborting = true;
      break;
    }
  }
  // A picture that arrived for it but is not stored yet is dropped too.
  if (TQxMViewEntry* e = Entry(Index)) {
    const uint64_t serial = e->Serial;
    FLoadResults.erase(std::remove_if(FLoadResults.begin(), FLoadResults.end(),
                                      [serial](auto& r) { return r->Serial == serial; }),
                       FLoadResults.end());
  }
}

void TQuillotMView::StopLoading() {
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    FLookAheadList.clear();
    FPendingLoads.clear();
    for (auto& r : FRunningLoads) {
      if (r->Tag >= 0) {
        r->Tag = -2;
        r->IO->Aborting = true;
      }
    }
  }
  for (int i = 0; i < 10; ++i) {
    bool busy;
    {
      std::lock_guard<std::recursive_mutex> l(FLock);
      busy = std::any_of(FRunningLoads.begin(), FRunningLoads.end(), [](auto& r) { return r->Tag != -1; });
    }
    if (!busy) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

int32_t TQuillotMView::LoadsInFlight() {
  std::lock_guard<std::recursive_mutex> l(FLock);
  int32_t n = int32_t(FPendingLoads.size() + FLoadResults.size());
  for (auto& r : FRunningLoads)
    if (r->Tag != -1) ++n;
  return n;
}

// ============================================================ finishing

// Runs on the I/O worker of the load (or on the loader thread when the read could not start).
void TQuillotMView::HandleLoadFinished(TRunningLoad* Load) {
  if (Load->Finished.exchange(true)) return;
  TQuillotIO* io = Load->IO.get();
  bool cancelled;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    cancelled = FDestroying || Load->Tag < 0;
  }
  auto result = std::make_unique<TLoadResult>();
  if (!cancelled) {
    result->Index = Load->Tag;
    result->Serial = Load->Serial;
    result->Background = io->Background();
    result->OriginalWidth = io->Params->OriginalWidth;
    result->OriginalHeight = io->Params->OriginalHeight;
    result->Params = std::make_unique<TIOParamsVals>();
    result->Params->AssignParams(*io->Params);
    if (!io->Aborting && Load->Bitmap && Load->Bitmap->Width() > 0 && Load->Bitmap->Height() > 0) {
      // The reduction runs here, outside the lock, so painting waits only for the hand-over.
      try {
        std::unique_ptr<TQxBitmap> t = ReduceForStore(Load->Bitmap.get(), true, Load->Settings);
        result->Picture = t ? std::move(t) : std::move(Load->Bitmap);
      } catch (...) {
        result->Picture.reset();
      }
    }
  }
  HWND wnd = 0;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    if (!cancelled && !FDestroying && Load->Tag >= 0) {
      FLoadResults.push_back(std::move(result));
      wnd = FPostWnd;
    }
    Load->Tag = -1;
    if (FStarter) FStarter->Signal();
  }
  if (wnd) PostMessage(wnd, QX_WM_MVIEW_LOADED, 0, 0);
}

// GUI thread: stores every picture that has arrived and repaints.
void TQuillotMView::CollectLoadedPictures() {
  std::vector<std::unique_ptr<TLoadResult>> results;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    results.swap(FLoadResults);
  }
  if (results.empty() || FDestroying) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  for (auto& r : results) {
    const int32_t idx = IndexOfSerial(r->Serial, r->Index);
    if (idx < 0) continue;
    TQxMViewEntry* e = Entry(idx);
    if (r->Params) CopyParamsToMIO(idx, *r->Params);
    e->Background = r->Background;
    std::unique_ptr<TQxBitmap> wrong;
    TQxBitmap* pic = r->Picture.get();
    if (!pic) {
      wrong = std::make_unique<TQxBitmap>();
      wrong->SetLocation(TQxLocation::qxMemory);
      HandleWrongImage(wrong.get(), idx);
      SetImageBitmap(idx, wrong.get());
    } else {
      StorePicture(idx, pic);
    }
    // A reader that leaves the original size unset keeps the size of what it delivered.
    if (e->StoreImage && r->OriginalWidth > 0 && r->OriginalHeight > 0) {
      e->StoreImage->SourceWidth = r->OriginalWidth;
      e->StoreImage->SourceHeight = r->OriginalHeight;
    }
  }
  Invalidate();
}
