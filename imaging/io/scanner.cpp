#include "imaging/io/scanner.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <chrono>
#include <mutex>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/io_init.h"
#include "platform/base/exceptions.h"

namespace {

std::mutex SessionLock;
int SessionUsers = 0;
bool SessionGood = false;
// Devices open for a scan: the library is not restarted under them.
int OpenDevices = 0;

// The largest scan taken into memory.
constexpr int64_t MaxScanBytes = int64_t(1) << 30;

std::string StatusText(SANE_Status S) { return sane_strstatus(S) ? sane_strstatus(S) : "unknown error"; }

// Sets one option of an open device from text.
bool SetOption(SANE_Handle H, const std::string& Name, const std::string& Value, std::string& Error) {
  for (SANE_Int i = 1;; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(H, i);
    if (!d) break;
    if (!d->name || Name != d->name) continue;
    if (!SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap)) {
      Error = "The option " + Name + " cannot be set now";
      return false;
    }
    SANE_Status st = SANE_STATUS_INVAL;
    switch (d->type) {
      case SANE_TYPE_STRING: {
        std::vector<char> buf(static_cast<size_t>(std::max<SANE_Int>(d->size, 1)) + Value.size() + 1, 0);
        std::memcpy(buf.data(), Value.data(), std::min<size_t>(Value.size(), static_cast<size_t>(d->size) - 1));
        st = sane_control_option(H, i, SANE_ACTION_SET_VALUE, buf.data(), nullptr);
        break;
      }
      case SANE_TYPE_BOOL: {
        SANE_Bool b = Value == "yes" || Value == "true" || Value == "1" ? SANE_TRUE : SANE_FALSE;
        st = sane_control_option(H, i, SANE_ACTION_SET_VALUE, &b, nullptr);
        break;
      }
      case SANE_TYPE_INT:
      case SANE_TYPE_FIXED: {
        double v = 0;
        try {
          v = std::stod(Value);
        } catch (...) {
          Error = "The option " + Name + " takes a number";
          return false;
        }
        const size_t n = static_cast<size_t>(std::max<SANE_Int>(d->size, static_cast<SANE_Int>(sizeof(SANE_Word)))) /
                         sizeof(SANE_Word);
        std::vector<SANE_Word> w(n, d->type == SANE_TYPE_INT ? static_cast<SANE_Word>(v) : SANE_FIX(v));
        st = sane_control_option(H, i, SANE_ACTION_SET_VALUE, w.data(), nullptr);
        break;
      }
      default: Error = "The option " + Name + " takes no value"; return false;
    }
    if (st != SANE_STATUS_GOOD) {
      Error = "The option " + Name + " does not take " + Value + ": " + StatusText(st);
      return false;
    }
    return true;
  }
  Error = "The device has no option " + Name;
  return false;
}

int32_t ReadResolution(SANE_Handle H) {
  for (SANE_Int i = 1;; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(H, i);
    if (!d) return 0;
    if (!d->name || std::strcmp(d->name, SANE_NAME_SCAN_RESOLUTION) != 0 || d->size < 4) continue;
    if (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) return 0;
    std::vector<SANE_Word> w(static_cast<size_t>(d->size) / sizeof(SANE_Word) + 1, 0);
    if (sane_control_option(H, i, SANE_ACTION_GET_VALUE, w.data(), nullptr) != SANE_STATUS_GOOD) return 0;
    return d->type == SANE_TYPE_INT ? w[0] : static_cast<int32_t>(SANE_UNFIX(w[0]) + 0.5);
  }
}

// One frame of a scan as the device sent it.
struct TFrame {
  SANE_Parameters P{};
  std::vector<uint8_t> Data;
  int32_t Lines = 0;
};

}  // namespace

// ---- the session

bool QxScannerSessionOpen() {
  std::lock_guard<std::mutex> l(SessionLock);
  if (SessionUsers == 0) {
    SANE_Int version = 0;
    SessionGood = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
  }
  ++SessionUsers;
  return SessionGood;
}

// Restarts the scanner library so that it looks for devices afresh (its backends read their devices at
// start); nothing happens while a device is open.
void QxScannerSessionRefresh() {
  std::lock_guard<std::mutex> l(SessionLock);
  if (SessionUsers == 0 || !SessionGood || OpenDevices > 0) return;
  sane_exit();
  SANE_Int version = 0;
  SessionGood = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
}

int32_t QxScannerWatchInterval = 5000;

void QxScannerSessionClose() {
  std::lock_guard<std::mutex> l(SessionLock);
  if (SessionUsers == 0) return;
  if (--SessionUsers == 0 && SessionGood) {
    sane_exit();
    SessionGood = false;
  }
}

// ---- log and release

void TwainLog(const std::string& Message) {
  if (QxTwainLogFile.empty()) return;
  static std::mutex lock;
  std::lock_guard<std::mutex> l(lock);
  std::ofstream f(QxTwainLogFile, std::ios::app);
  if (!f) throw EInOutError("I/O error writing " + QxTwainLogFile);
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  f << buf << " : " << Message << "\n";
  f.flush();
  if (!f) throw EInOutError("I/O error writing " + QxTwainLogFile);
}

void TwainFreeResources(TQxTwainState& State, uintptr_t ParentWindow) {
  (void)ParentWindow;
  if (State.ProxyWindow) {
    TwainLog("DestroyProxyWindow");
    // No window stands between this library and the scanner library: only the handle is forgotten.
    State.ProxyWindow = 0;
    TwainLog("  DestroyProxyWindow : destroyed");
  }
  if (State.Library) {
    TwainLog("QXTW_UnloadSourceManager");
    QxScannerSessionClose();
    State.Library = 0;
    State.EntryPoint = 0;
    TwainLog("  QXTW_UnloadSourceManager : Unload OK");
  }
}

// ---- device events

int32_t TWiaEventCallBack::ImageEventCallback(const TQxGUID& EventGUID) {
  if (!FWia) return 0;
  uint8_t kind = 0;
  if (EventGUID == WIA_EVENT_TREE_UPDATED) kind = 1;
  else if (EventGUID == WIA_EVENT_ITEM_CREATED) kind = 2;
  else if (EventGUID == WIA_EVENT_ITEM_DELETED) kind = 3;
  else return 0;
  FWia->LastEventKind = kind;
  if (FWia->OnItemsTreeUpdated) FWia->OnItemsTreeUpdated(FWia);
  return 0;
}

TQxWia::TQxWia(TComponent* Owner) : FOwner(Owner) {
  FSessionOpen = QxScannerSessionOpen();
  if (FSessionOpen) {
    for (auto& c : FCallbacks) c = std::make_unique<TWiaEventCallBack>(this);
    FKnown = Devices();
    // Devices coming and going are reported without anyone asking: a watcher looks every interval.
    if (QxScannerWatchInterval > 0) FWatcher = std::thread([this] { Watch(); });
  }
}

void TQxWia::Watch() {
  std::unique_lock<std::mutex> l(FWatchLock);
  while (!FStopWatching) {
    FWatchWake.wait_for(l, std::chrono::milliseconds(std::max(QxScannerWatchInterval, 10)), [this] { return FStopWatching; });
    if (FStopWatching) break;
    l.unlock();
    QxScannerSessionRefresh();
    CheckDevices();
    l.lock();
  }
}

TQxWia::~TQxWia() {
  {
    std::lock_guard<std::mutex> l(FWatchLock);
    FStopWatching = true;
  }
  FWatchWake.notify_all();
  if (FWatcher.joinable()) FWatcher.join();
  for (auto& c : FCallbacks) c.reset();
  ClearItems();
  QxScannerSessionClose();
}

std::vector<TQxScannerDevice> TQxWia::Devices() {
  std::vector<TQxScannerDevice> out;
  if (!FSessionOpen) return out;
  std::lock_guard<std::mutex> l(SessionLock);
  if (!SessionGood) return out;
  const SANE_Device** list = nullptr;
  if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list) return out;
  for (const SANE_Device** d = list; *d; ++d) {
    auto text = [](const char* s) { return s ? std::string(s) : std::string(); };
    out.push_back({text((*d)->name), text((*d)->vendor), text((*d)->model), text((*d)->type)});
  }
  return out;
}

void TQxWia::CheckDevices() {
  if (!FSessionOpen) return;
  // The watcher and a caller may look at once; each change is reported once.
  std::lock_guard<std::mutex> check(FCheckLock);
  std::vector<TQxScannerDevice> now = Devices();
  auto has = [](const std::vector<TQxScannerDevice>& L, const TQxScannerDevice& D) {
    return std::find(L.begin(), L.end(), D) != L.end();
  };
  bool changed = false;
  for (const TQxScannerDevice& d : now)
    if (!has(FKnown, d)) {
      FCallbacks[0]->ImageEventCallback(WIA_EVENT_ITEM_CREATED);
      changed = true;
    }
  for (const TQxScannerDevice& d : FKnown)
    if (!has(now, d)) {
      FCallbacks[1]->ImageEventCallback(WIA_EVENT_ITEM_DELETED);
      changed = true;
    }
  FKnown = std::move(now);
  if (changed) FCallbacks[2]->ImageEventCallback(WIA_EVENT_TREE_UPDATED);
}

bool TQxWia::Scan(const std::string& Device, TQxBitmap& Bitmap,
                  const std::vector<std::pair<std::string, std::string>>& Options) {
  LastError.clear();
  LastResolution = 0;
  if (!FSessionOpen) {
    LastError = "No scanner library is available";
    return false;
  }
  SANE_Handle h = nullptr;
  SANE_Status st;
  {
    std::lock_guard<std::mutex> l(SessionLock);
    st = SessionGood ? sane_open(Device.c_str(), &h) : SANE_STATUS_INVAL;
    if (st == SANE_STATUS_GOOD && h) ++OpenDevices;
  }
  if (st != SANE_STATUS_GOOD || !h) {
    LastError = "The scanner " + Device + " cannot be opened: " + StatusText(st);
    return false;
  }
  struct Closer {
    SANE_Handle H;
    ~Closer() {
      sane_cancel(H);
      sane_close(H);
      std::lock_guard<std::mutex> l(SessionLock);
      --OpenDevices;
    }
  } closer{h};
  for (const auto& [name, value] : Options)
    if (!SetOption(h, name, value, LastError)) return false;
  LastResolution = ReadResolution(h);

  // Colour arrives in one frame or in three (red, green, blue); gray and black-and-white in one.
  std::vector<TFrame> frames;
  int64_t total = 0;
  for (int pass = 0; pass < 3; ++pass) {
    st = sane_start(h);
    if (st != SANE_STATUS_GOOD) {
      LastError = "The scan did not start: " + StatusText(st);
      return false;
    }
    TFrame f;
    st = sane_get_parameters(h, &f.P);
    if (st != SANE_STATUS_GOOD) {
      LastError = "The scanner gave no picture size: " + StatusText(st);
      return false;
    }
    const SANE_Parameters& p = f.P;
    const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    if ((p.depth != 1 && p.depth != 8 && p.depth != 16) || p.pixels_per_line <= 0 || p.bytes_per_line <= 0 ||
        p.format > SANE_FRAME_BLUE || (p.depth == 1 && channels != 1) ||
        static_cast<int64_t>(p.bytes_per_line) * 8 < static_cast<int64_t>(p.pixels_per_line) * p.depth * channels) {
      LastError = "The scanner sent a picture layout this library does not read";
      return false;
    }
    const int64_t expected = p.lines > 0 ? static_cast<int64_t>(p.lines) * p.bytes_per_line : -1;
    if (expected > MaxScanBytes) {
      LastError = "The scan is too large";
      return false;
    }
    if (expected > 0) f.Data.reserve(static_cast<size_t>(expected));
    std::vector<uint8_t> buf(65536);
    int lastPercent = -1;
    for (;;) {
      SANE_Int got = 0;
      st = sane_read(h, buf.data(), static_cast<SANE_Int>(buf.size()), &got);
      if (st == SANE_STATUS_EOF) break;
      if (st != SANE_STATUS_GOOD) {
        LastError = "The scan stopped: " + StatusText(st);
        return false;
      }
      if (got < 0 || got > static_cast<SANE_Int>(buf.size())) {
        LastError = "The scanner library reported a bad transfer";
        return false;
      }
      if (static_cast<int64_t>(f.Data.size()) + got > (expected > 0 ? expected : MaxScanBytes)) {
        // More than the device announced: what it announced is kept.
        if (expected > 0) {
          f.Data.insert(f.Data.end(), buf.begin(), buf.begin() + (expected - static_cast<int64_t>(f.Data.size())));
          continue;
        }
        LastError = "The scan is too large";
        return false;
      }
      f.Data.insert(f.Data.end(), buf.begin(), buf.begin() + got);
      if (expected > 0 && OnTransferProgress) {
        const int per = static_cast<int>((total + static_cast<int64_t>(f.Data.size())) * 100 /
                                         (expected * (p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB ? 1 : 3)));
        if (per != lastPercent) {
          lastPercent = per;
          if (!OnTransferProgress(std::min(per, 100))) {
            LastError = "The scan was cancelled";
            return false;
          }
        }
      }
    }
    f.Lines = static_cast<int32_t>(f.Data.size() / static_cast<size_t>(p.bytes_per_line));
    total += static_cast<int64_t>(f.Data.size());
    const bool last = p.last_frame != SANE_FALSE;
    frames.push_back(std::move(f));
    if (last) break;
  }
  if (frames.empty() || frames[0].Lines <= 0) {
    LastError = "The scanner sent no picture";
    return false;
  }

  const SANE_Parameters& p0 = frames[0].P;
  const int32_t w = p0.pixels_per_line;
  int32_t hgt = frames[0].Lines;
  for (const TFrame& f : frames) {
    if (f.P.pixels_per_line != w || f.P.depth != p0.depth) {
      LastError = "The scanner's colour frames do not agree";
      return false;
    }
    hgt = std::min(hgt, f.Lines);
  }
  const bool separate = p0.format >= SANE_FRAME_RED;
  const bool colour = p0.format == SANE_FRAME_RGB || separate;
  if (separate && frames.size() != 3) {
    LastError = "The scanner sent fewer than three colour frames";
    return false;
  }
  TQxPixelFormat fmt = colour ? (p0.depth == 16 ? TQxPixelFormat::qxRGB48 : TQxPixelFormat::qx24RGB)
                              : (p0.depth == 1 ? TQxPixelFormat::qx1g
                                               : p0.depth == 16 ? TQxPixelFormat::qx16g : TQxPixelFormat::qx8g);
  if (!Bitmap.Allocate(w, hgt, fmt)) {
    LastError = "Not enough memory for the scanned picture";
    return false;
  }
  // Samples of 16 bits arrive in the machine's own order.
  auto sample16 = [](const uint8_t* q) {
    uint16_t v;
    std::memcpy(&v, q, 2);
    return v;
  };
  for (int32_t y = 0; y < hgt; ++y) {
    uint8_t* out = Bitmap.Scanline(y);
    if (!colour) {
      const uint8_t* in = frames[0].Data.data() + static_cast<size_t>(y) * p0.bytes_per_line;
      if (p0.depth == 1) {
        // The scanner's 1 is black; the bitmap's 1 is white.
        const size_t bytes = (static_cast<size_t>(w) + 7) / 8;
        for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(~in[i]);
        if (w & 7) out[bytes - 1] &= static_cast<uint8_t>(0xFF00 >> (w & 7));
      } else if (p0.depth == 8) {
        std::memcpy(out, in, static_cast<size_t>(w));
      } else {
        auto* o = reinterpret_cast<uint16_t*>(out);
        for (int32_t x = 0; x < w; ++x) o[x] = sample16(in + 2 * x);
      }
      continue;
    }
    const int bps = p0.depth / 8;
    for (int c = 0; c < 3; ++c) {
      // Which frame and which sample of it holds channel c (red, green, blue).
      const TFrame* src = &frames[0];
      int idx = c, stride = 3;
      if (separate) {
        for (const TFrame& f : frames)
          if (f.P.format == SANE_FRAME_RED + c) src = &f;
        idx = 0;
        stride = 1;
      }
      const uint8_t* in = src->Data.data() + static_cast<size_t>(y) * src->P.bytes_per_line;
      // Bitmap rows hold blue, green, red.
      const int oc = 2 - c;
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* q = in + (static_cast<size_t>(x) * stride + idx) * bps;
        if (bps == 1) out[x * 3 + oc] = *q;
        else reinterpret_cast<uint16_t*>(out)[x * 3 + oc] = sample16(q);
      }
    }
  }
  if (OnTransferProgress) OnTransferProgress(100);
  return true;
}

// ---- settings

TQxTWainParams::TQxTWainParams(TComponent* AOwner) : Owner(AOwner) {
  XResolution = std::make_unique<TQxDoubleList>();
  YResolution = std::make_unique<TQxDoubleList>();
  XScaling = std::make_unique<TQxDoubleList>();
  YScaling = std::make_unique<TQxDoubleList>();
  PixelType = std::make_unique<TQxIntegerList>();
  BitDepth = std::make_unique<TQxIntegerList>();
  Orientation = std::make_unique<TQxIntegerList>();
  PhysicalWidth = std::make_unique<TQxDoubleList>();
  PhysicalHeight = std::make_unique<TQxDoubleList>();
  AcquireFrameLeft = std::make_unique<TQxDoubleList>();
  AcquireFrameTop = std::make_unique<TQxDoubleList>();
  Compression = std::make_unique<TQxIntegerList>();
  CapabilitiesStream = std::make_unique<TMemoryStream>();
  Reset();
}

TQxTWainParams::~TQxTWainParams() {
  try {
    TwainFreeResources(SourceManager, 0);
  } catch (...) {
    // A log that cannot be written must not stop the release.
  }
  Reset();
}

void TQxTWainParams::Reset() {
  Blocks.clear();
  for (TQxDoubleList* l : {XResolution.get(), YResolution.get(), XScaling.get(), YScaling.get(), PhysicalWidth.get(),
                           PhysicalHeight.get(), AcquireFrameLeft.get(), AcquireFrameTop.get()})
    l->Clear();
  for (TQxIntegerList* l : {PixelType.get(), BitDepth.get(), Orientation.get(), Compression.get()}) l->Clear();
  CapabilitiesStream->Clear();
  // The multi-image component takes several pages at once: its settings start with the feeder on. It lives
  // in a library above this one, so it is told by its class name.
  const bool multi = Owner && Owner->ClassName() == "TQuillotMIO";
  VisibleDialog = 1;
  ProgressIndicators = 0;
  AcquireFrameIndex = 0;
  AcquireFrameEnabled = AcquireFrameUnits = 0;
  Gamma = 2.2;
  Contrast = Brightness = 0;
  FeederEnabledDefault = multi;
  ShowSettingsOnly = 1;
  std::fill(std::begin(Reserved), std::end(Reserved), 0);
  AutoFeed = 1;
  AutoScan = 1;
  DuplexEnabled = 0;
  FeederEnabled = multi;
  UndefinedImageSize = 0;
  BufferedTransfer = 0;
  UseMemoryTransfer = multi;
  std::fill(std::begin(ExtraFlags), std::end(ExtraFlags), 0);
  TransferCount = -2;
  DeviceOnline = 0;
  AcquireFrameRight = AcquireFrameBottom = -1.0;
  SelectedSource.clear();
  Manufacturer.clear();
  ProductFamily.clear();
  ProductName.clear();
  LogLevel = 0;
  Language = -1;
  Country = 1;
  LastError = 0;
  LastErrorText.clear();
}
