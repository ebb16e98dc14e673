#pragma once
// Scanners and cameras through SANE: the device manager with its device events (TQxWia), frames
// scanned into a TQxBitmap, the scanner settings object that the I/O component owns (TQxTWainParams)
// and the release of the scanner session with its optional text log.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/io/media_frames.h"
#include "imaging/foundation/qx_lists.h"
#include "platform/base/streams.h"
#include "platform/ui/component.h"

class TQxBitmap;

// Device events.
inline constexpr TQxGUID WIA_EVENT_ITEM_CREATED{0x4C8F4EF5, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
inline constexpr TQxGUID WIA_EVENT_ITEM_DELETED{0x1D22A559, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
inline constexpr TQxGUID WIA_EVENT_TREE_UPDATED{0xC9859B91, 0x4AB2, 0x4CD6, {0xA1, 0xFC, 0x58, 0x2E, 0xEC, 0x55, 0xE5, 0x85}};

// One scanner or camera the scanner library offers.
struct TQxScannerDevice {
  std::string Name;    // what Scan takes, "test:0" for instance
  std::string Vendor;
  std::string Model;
  std::string Type;
  friend bool operator==(const TQxScannerDevice&, const TQxScannerDevice&) = default;
};

class TQxWia;

// The scanner library's entry for device events: stores the kind of event and tells the device
// manager's handler.
class TWiaEventCallBack {
 public:
  explicit TWiaEventCallBack(TQxWia* Wia) : FWia(Wia) {}
  // 0 (S_OK) in every case; events other than the three registered ones change nothing.
  int32_t ImageEventCallback(const TQxGUID& EventGUID);

 private:
  TQxWia* FWia;
};

class TQxWia : public TObject {
 public:
  explicit TQxWia(TComponent* Owner);
  ~TQxWia() override;
  std::string ClassName() const override { return "TQxWia"; }

  TComponent* Owner() const { return FOwner; }
  // True when the scanner library started; without it there are no devices and no events.
  bool DeviceManager() const { return FSessionOpen; }

  // Called on device events with the device manager as Sender. Events arrive on the thread that
  // looks at the devices: the device manager's own watcher, which looks every QxScannerWatchInterval
  // milliseconds, or a caller of CheckDevices; a handler that touches the user interface hands its
  // work on.
  std::function<void(TObject* Sender)> OnItemsTreeUpdated;
  // Percent of a transfer; False stops it.
  std::function<bool(int32_t Percent)> OnTransferProgress;
  // 1 tree updated, 2 item created, 3 item deleted.
  uint8_t LastEventKind = 0;

  // Acquired items are handed to the I/O component at once; the list stays empty.
  std::vector<std::unique_ptr<TObject>> Items;
  void ClearItems() { Items.clear(); }

  // The devices the scanner library finds now.
  std::vector<TQxScannerDevice> Devices();
  // Looks at the devices again and reports a device that came as "item created", one that went as
  // "item deleted", then "tree updated" when anything changed.
  void CheckDevices();
  TWiaEventCallBack* EventCallback(int Index) { return Index >= 0 && Index < 3 ? FCallbacks[Index].get() : nullptr; }

  // Scans one picture from Device into Bitmap (8-bit gray, 16-bit gray, 24-bit or 48-bit colour, or
  // black and white, as the device delivers it). Options are the device's own option names and values
  // ("mode" "Color", "resolution" "100"), set before the scan. False with LastError on failure.
  bool Scan(const std::string& Device, TQxBitmap& Bitmap,
            const std::vector<std::pair<std::string, std::string>>& Options = {});
  // The resolution of the last scan in dots per inch (0 when the device does not say).
  int32_t LastResolution = 0;
  std::string LastError;

 private:
  TComponent* FOwner;
  bool FSessionOpen = false;
  void Watch();
  std::unique_ptr<TWiaEventCallBack> FCallbacks[3];
  std::vector<TQxScannerDevice> FKnown;
  std::mutex FCheckLock;
  std::mutex FWatchLock;
  std::condition_variable FWatchWake;
  bool FStopWatching = false;
  std::thread FWatcher;
};

// The scanner session record of the settings object: session held, its entry, its proxy window.
struct TQxTwainState {
  uint32_t Library = 0;
  uint32_t EntryPoint = 0;
  uint32_t ProxyWindow = 0;
};

// Writes one line "date time : Message" to QxTwainLogFile; nothing when the name is empty.
void TwainLog(const std::string& Message);
// Releases the scanner session held in State and forgets its proxy window.
void TwainFreeResources(TQxTwainState& State, uintptr_t ParentWindow);

// A session of the scanner library shared by the process; the last release ends it.
bool QxScannerSessionOpen();
// Restarts the library so that its backends look for devices again (not while a device is open).
void QxScannerSessionRefresh();
// How often device managers look for devices coming and going, in milliseconds; 0 starts no watcher
// (read when a device manager is made).
extern int32_t QxScannerWatchInterval;
void QxScannerSessionClose();

// The scanner settings of an acquisition. Their meaning belongs to acquisition dialogs this library
// does not have; they are kept with their defaults, and the destructor releases the session.
class TQxTWainParams {
 public:
  explicit TQxTWainParams(TComponent* Owner);
  ~TQxTWainParams();
  TQxTWainParams(const TQxTWainParams&) = delete;
  TQxTWainParams& operator=(const TQxTWainParams&) = delete;
  void Reset();

  TComponent* Owner;
  uint8_t VisibleDialog = 1, ProgressIndicators = 0;
  std::vector<std::unique_ptr<uint8_t[]>> Blocks;
  int32_t AcquireFrameIndex = 0;
  uint8_t AcquireFrameEnabled = 0, AcquireFrameUnits = 0;
  std::unique_ptr<TQxDoubleList> XResolution, YResolution, XScaling, YScaling;
  std::unique_ptr<TQxIntegerList> PixelType, BitDepth;
  double Gamma = 2.2;
  double Contrast = 0, Brightness = 0;
  bool FeederEnabledDefault = false;
  std::unique_ptr<TQxIntegerList> Orientation;
  uint8_t ShowSettingsOnly = 1;
  uint8_t Reserved[16] = {};
  uint8_t AutoFeed = 1, AutoScan = 1, DuplexEnabled = 0;
  uint8_t FeederEnabled = 0;
  uint8_t UndefinedImageSize = 0;
  std::unique_ptr<TQxDoubleList> PhysicalWidth, PhysicalHeight, AcquireFrameLeft, AcquireFrameTop;
  int32_t BufferedTransfer = 0;
  std::unique_ptr<TQxIntegerList> Compression;
  uint8_t UseMemoryTransfer = 0;
  uint8_t ExtraFlags[4] = {};
  int32_t TransferCount = -2;
  int32_t DeviceOnline = 0;
  double AcquireFrameRight = -1.0, AcquireFrameBottom = -1.0;
  std::string SelectedSource, Manufacturer, ProductFamily, ProductName;
  int16_t LogLevel = 0, Language = -1;
  int32_t Country = 1;
  std::unique_ptr<TMemoryStream> CapabilitiesStream;
  TQxTwainState SourceManager;
  int32_t LastError = 0;
  std::string LastErrorText;
};
