#pragma once
// TQuillotIO: the component through which every picture is opened and saved.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/foundation/types.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/params.h"
#include "platform/base/lists.h"
#include "platform/graphics/color.h"
#include "platform/ui/component.h"

class TStream;
class TBitmap;
class TFont;
class TQxBitmap;
class TQxMask;
class TQxView;
class TQxDirectShow;
struct TQxPsDocument;
struct TQxPdfDocument;
class TQxTWainParams;
class TImage;

// Page settings of a print preview, kept for callers; margins (four), position and size codes, width
// and height (-1: automatic) and gamma.
class TIOPrintPreviewParams {
 public:
  double MarginTop = 1.0, MarginLeft = 1.0, MarginRight = 1.0, MarginBottom = 1.0;
  int32_t Position = 4;
  int32_t Size = 1;
  double Width = -1.0, Height = -1.0;
  double Gamma = 1.0;
};

// One plug-in library of further formats; the list starts empty and nothing here adds to it.
struct TQxIOPlugin {
  std::string LibraryName;
  std::string FormatName;
  std::string Extensions;
};
std::vector<TQxIOPlugin>& QxIOPlugins();
void QxFreeIOPlugins();
class TQxWia;
class TQxMetafile;
class TQuillotIO;
struct TQxPsDocument;
struct TQxPdfDocument;

// Messages posted to the attached view's window when an event must reach the main thread.
inline constexpr uint32_t QX_WM_USER = 0x0400;
inline constexpr uint32_t QX_WM_IOREFRESH = QX_WM_USER + 7000;
inline constexpr uint32_t QX_WM_CAPTUREFRAME = QX_WM_USER + 7001;
inline constexpr uint32_t QX_WM_CAPTUREEVENT = QX_WM_USER + 7002;
inline constexpr uint32_t QX_WM_IOPROGRESS = QX_WM_USER + 7003;
inline constexpr uint32_t QX_WM_IOFINISH = QX_WM_USER + 7004;

// What the I/O component needs of the image view (subsystem 4, which stands above this library). The view
// unit fills these at its start-up; unset members do nothing.
struct TQxIOViewHooks {
  // True for a TQuillotView (and its descendants).
  bool (*IsQuillotView)(TQxView* View) = nullptr;
  void (*IncUpdateLock)(TQxView* View) = nullptr;
  void (*DecUpdateLock)(TQxView* View) = nullptr;
  // The view's own UpdateView, called on the main thread.
  void (*UpdateView)(TQxView* View) = nullptr;
  // True when the view has a parent window (posting is possible).
  bool (*HasParent)(TQxView* View) = nullptr;
  // Posts a message to the view's window, creating the window on the main thread first when needed.
  void (*PostToView)(TQxView* View, uint32_t Msg, uintptr_t WParam, intptr_t LParam) = nullptr;
  TColor (*GetBackground)(TQxView* View) = nullptr;
  // PSD layers. ClearLayers empties a TQuillotView's layer list before a load that replaces it.
  void (*ClearLayers)(TQxView* View) = nullptr;
  // Takes the layer records a PSD load read (TQxLayer objects, freed here) into the view, or a single
  // layer's transparency into Bitmap's alpha channel.
  void (*TakePsdLayers)(TQxView* View, TList& Records, TQxBitmap* Bitmap, TIOParamsVals& Params) = nullptr;
  // For a PSD save: Merged receives all layers of a TQuillotView composed (in layer 0's pixel format) and
  // Layers its layer list; false when View is no TQuillotView or has a single layer.
  bool (*PsdSaveLayers)(TQxView* View, TQxBitmap& Merged, TList& Layers) = nullptr;
};
TQxIOViewHooks& QxIOViewHooks();

// The further codecs (subsystem 6) plug their per-format load and save members in here by format id; a
// format without an entry reports failure through Aborting.
struct TQxIOFormatHandler {
  // Loads from the stream's position; returns the page or frame count (1 for single images).
  std::function<int32_t(TQuillotIO& IO, TStream& Stream)> LoadStream;
  std::function<void(TQuillotIO& IO, TStream& Stream)> SaveStream;
  std::function<void(TQuillotIO& IO, TStream& Stream)> ReadParams;
};
TQxIOFormatHandler& QxIOFormatHandler(TQxFileFormatId FormatId);

using TQxAcquireBitmapEvent = std::function<void(TObject* Sender, TQxBitmap* ABitmap, bool& Handled)>;
using TQxDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
using TQxIOPreviewEvent = std::function<void(TObject* Sender, TObject* PreviewForm)>;

enum class TIOPreviewsParamsItems : uint8_t { ioppDefaultLockPreview, ioppApplyButton };
using TIOPreviewsParams = TSetOf<TIOPreviewsParamsItems>;
enum class TQxDialogsMeasureUnit : uint8_t { qxduInches, qxduCm, qxduPixels };

class TQuillotIO : public TComponent {
 public:
  explicit TQuillotIO(TComponent* AOwner = nullptr);
  // A component without owner that works on Bitmap (not owned).
  explicit TQuillotIO(TQxBitmap* Bitmap);
  ~TQuillotIO() override;
  std::string ClassName() const override { return "TQuillotIO"; }

  // ---- attachment
  TQxView* AttachedQuillot() const { return FAttachedQuillot; }
  void SetAttachedQuillot(TQxView* View);
  void AttachQxBitmap(TQxBitmap* Bitmap);
  // An image control whose picture's bitmap becomes the work bitmap (wrapped, not copied); nil empties
  // the wrapper. Only one of AttachedQuillot and AttachedTImage is set at a time.
  TImage* AttachedTImage() const { return FAttachedTImage; }
  void SetAttachedTImage(TImage* Image);
  TIOPrintPreviewParams* PrintPreviewParams() const { return FPrintPreviewParams.get(); }
  // As AttachQxBitmap without touching view attachments.
  void SetBitmapNoAttach(TQxBitmap* Bitmap);
  TQxBitmap* WorkBitmap() const { return FWorkBitmap; }
  bool OwnsBitmap() const { return FOwnsBitmap; }

  // ---- properties
  TColor Background() const;
  void SetBackground(TColor Value);
  bool NativePixelFormat() const;
  void SetNativePixelFormat(bool Value);
  TMsgLanguage MsgLanguage = TMsgLanguage::msSystem;
  TIOPreviewsParams PreviewsParams;
  bool SimplifiedParamsDialogs = true;
  bool StreamHeaders = false;
  TQxDialogsMeasureUnit DialogsMeasureUnit = TQxDialogsMeasureUnit::qxduInches;
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  uint8_t BilevelMode = 1;
  bool AsyncMode = false;
  // The font of the save-parameters dialog; setting copies the font given.
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  void SetPreviewFont(const TFont* Value);
  uint32_t AcquireState = 0;
  // Used by LoadFromURL; empty for a direct connection.
  std::string ProxyAddress, ProxyUser, ProxyPassword;

  // ---- events
  TQxProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TQxAcquireBitmapEvent OnAcquireBitmap;
  TQxIOPreviewEvent OnIOPreview;
  TQxDoPreviewsEvent OnDoPreviews;

  // ---- state
  std::unique_ptr<TIOParamsVals> Params;
  // The result channel of every load and save.
  std::atomic<bool> Aborting{false};

  // ---- the overridable load and save interface
  virtual void AcquireBitmapEvent(TQxBitmap* ABitmap, bool& Handled);
  virtual void LoadFromFile(const std::string& FileName);
  // Downloads an http or https address and loads what arrived, its format found from the content.
  virtual void LoadFromURL(const std::string& URL);

  // ---- frames of video files
  // Opens a video for frame access; the frame count, or 0 (Aborting set) when it has none.
  int32_t OpenMediaFile(const std::string& FileName);
  // Grabs frame Index of the open video into the bitmap; an index outside the video changes nothing.
  void LoadMediaFrame(int32_t Index);
  void CloseMediaFile();
  bool IsMediaFileOpen() const { return FMedia != nullptr; }

  // ---- scanners and capture devices
  // The scanner settings, owned by the component.
  TQxTWainParams* TWainParams() const { return FTWainParams.get(); }
  // The scanner device manager, created on first use.
  virtual TQxWia* GetWIAParams();
  // The capture object, created on first use and bound to the attached view's window.
  virtual TQxDirectShow* GetDShowParams();
  // Binds the capture object to the view's window again when the window changed.
  void RebindDShowWindow();
  // Scans a picture from a scanner (a device name from GetWIAParams()->Devices()) into the work bitmap
  // through DoAcquireBitmap. Options are the device's option names and values. False (Aborting set,
  // Params->ReadError saying why) when no picture came.
  bool Acquire(const std::string& Device, const std::vector<std::pair<std::string, std::string>>& Options = {});
  // The same for AVI files, as LoadFromFile uses them.
  int32_t OpenAviFile(const std::string& FileName);
  void LoadAviFrame(int32_t Index);
  void CloseAviFile();
  virtual void LoadFromFileDetected(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void SaveToText(const std::string& FileName, int32_t FileType, uint8_t TextFormat);
  virtual void LoadFromFileAs(const std::string& FileName, int32_t FileType);
  virtual void LoadFromBuffer(const void* Buffer, int32_t BufferSize, int32_t FileType);
  virtual void ReadParamsFromBuffer(const void* Buffer, int32_t BufferSize, int32_t FileType);
  virtual void ReadParamsFromFile(const std::string& FileName);
  virtual void ReadParamsFromFileAs(const std::string& FileName, int32_t FileType);
  virtual void ReadParamsFromStream(TStream& Stream);
  virtual void ReadParamsFromStreamAs(TStream& Stream, int32_t FileType);
  virtual void LoadFromStream(TStream& Stream);
  virtual void LoadFromStreamAs(TStream& Stream, int32_t FileType);
  virtual void SaveToStream(TStream& Stream, int32_t FileType);

  // ---- per-format members
  int32_t LoadTiffFile(const std::string& FileName);
  int32_t LoadTiffStream(TStream& Stream);
  int32_t LoadGifFile(const std::string& FileName);
  int32_t LoadGifStream(TStream& Stream);
  void LoadJpegFile(const std::string& FileName);
  void LoadJpegStream(TStream& Stream);
  void LoadPcxFile(const std::string& FileName);
  void LoadPcxStream(TStream& Stream);
  void LoadBmpFile(const std::string& FileName);
  void LoadBmpStream(TStream& Stream);
  void LoadIcoFile(const std::string& FileName);
  void LoadIcoStream(TStream& Stream);
  void LoadCurFile(const std::string& FileName);
  void LoadCurStream(TStream& Stream);
  void LoadPngFile(const std::string& FileName);
  void LoadPngStream(TStream& Stream);
  void ImportMetafile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha);
  void ImportMetafileStream(TStream& Stream, int32_t Width, int32_t Height, bool WithAlpha);
  // Draws a loaded metafile into the work bitmap: its own size for -1, a given side keeps the aspect.
  void RenderMetafile(TQxMetafile& Metafile, int32_t Width, int32_t Height, bool WithAlpha);
  // Only the parameters of the metafile at the stream's position.
  void ReadMetafileParams(TStream& Stream);
  void LoadTgaFile(const std::string& FileName);
  void LoadTgaStream(TStream& Stream);
  void LoadPxmFile(const std::string& FileName);
  void LoadPxmStream(TStream& Stream);
  void LoadJp2File(const std::string& FileName);
  void LoadJp2Stream(TStream& Stream);
  void LoadJ2kFile(const std::string& FileName);
  void LoadJ2kStream(TStream& Stream);
  void LoadWbmpFile(const std::string& FileName);
  void LoadWbmpStream(TStream& Stream);
  void LoadDcxFile(const std::string& FileName);
  void LoadDcxStream(TStream& Stream);
  void LoadRawFile(const std::string& FileName);
  void LoadRawStream(TStream& Stream);
  void LoadRawBitmapFile(const std::string& FileName);
  void LoadRawBitmapStream(TStream& Stream);
  void LoadPsdFile(const std::string& FileName);
  void LoadPsdStream(TStream& Stream);
  void LoadVectorFile(const std::string& FileName, int32_t FormatId);
  void LoadVectorStream(TStream& Stream, int32_t FormatId);
  void LoadDicomFile(const std::string& FileName);
  void LoadDicomStream(TStream& Stream);
  void LoadHdpFile(const std::string& FileName);
  void LoadHdpStream(TStream& Stream);

  void SaveTiffFile(const std::string& FileName);
  void SaveTiffStream(TStream& Stream);
  void SaveGifFile(const std::string& FileName);
  void SaveGifStream(TStream& Stream);
  void SaveJpegFile(const std::string& FileName);
  void SaveJpegStream(TStream& Stream);
  void SavePcxFile(const std::string& FileName);
  void SavePcxStream(TStream& Stream);
  void SaveDcxFile(const std::string& FileName);
  void SaveDcxStream(TStream& Stream);
  void SaveBmpFile(const std::string& FileName);
  void SaveBmpStream(TStream& Stream);
  void SavePngFile(const std::string& FileName);
  void SavePngStream(TStream& Stream);
  void SaveTgaFile(const std::string& FileName);
  void SaveTgaStream(TStream& Stream);
  void SavePxmFile(const std::string& FileName);
  void SavePxmStream(TStream& Stream);
  void SaveIcoFile(const std::string& FileName);
  void SaveIcoStream(TStream& Stream);
  void SaveWbmpFile(const std::string& FileName);
  void SaveWbmpStream(TStream& Stream);
  void SaveJp2File(const std::string& FileName);
  void SaveJp2Stream(TStream& Stream);
  void SaveJ2kFile(const std::string& FileName);
  void SaveJ2kStream(TStream& Stream);
  void SavePsFile(const std::string& FileName);
  void SavePsStream(TStream& Stream);
  void SavePdfFile(const std::string& FileName);
  void SavePdfStream(TStream& Stream);
  // A PostScript or PDF document left open between saves: each Add…Page writes the current picture as its
  // next page; closing, or freeing the component, writes the trailer and closes the file. Opening a new
  // one closes the one open before. Open… is false when the file cannot be created.
  bool OpenPsDocument(const std::string& FileName);
  void AddPsPage();
  void ClosePsDocument();
  bool OpenPdfDocument(const std::string& FileName);
  void AddPdfPage();
  void ClosePdfDocument();
  void SavePsdFile(const std::string& FileName);
  void SavePsdStream(TStream& Stream);
  void SaveHdpFile(const std::string& FileName);
  void SaveHdpStream(TStream& Stream);

  // ---- workers
  void WaitThreads(bool Abort);
  bool IsInsideIOThread();
  // Background reads started and not yet ended.
  int32_t PendingWorkers();

  // ---- services
  bool MakeConsistentBitmap(TQxPixelFormatSet Allowed);
  void UpdateView();
  virtual void UpdateViewDPI();
  void ApplyDefaultDpi();
  void AdjustDPI();
  virtual void DoAcquireBitmap(TQxBitmap* ABitmap, TIOParamsVals*& OutParams);
  virtual void ResetAcquire() { AcquireState = 0; }
  virtual void DoFinishWork();
  virtual TBitmap* GetTBitmap();
  virtual void DoProgress(TObject* Sender, int32_t per);
  virtual bool DoPreviews(uint16_t PageSet);
  void SetBilevelConversion(uint8_t Value);
  // The progress record every member builds: callback = DoProgress, sender = this, abort = Aborting.
  TQxProgressInfo MakeProgress(bool WithCallback = true);

  // Which after-load steps a per-format member runs.
  struct TLoadSteps {
    bool DefaultDpi = true;
    bool Adjust = true;
    bool ViewDpi = true;
    bool PngBackground = false;
  };

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  static void HandleViewChange(void* Data, TQxView* View, bool Destroying);
  void SetWorkBitmap(TQxBitmap* Bitmap);
  void DetachView();
  // Starts Work on a worker when the call must run asynchronously; true when handed over.
  bool RunAsync(std::function<void()> Work);
  bool OnWorker();

  // Generic bodies shared by the members.
  using TLoadCodec = std::function<void(TStream& Stream, TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask)>;
  using TSaveCodec = std::function<void(TStream& Stream, TQxProgressInfo& Progress)>;
  enum class TSaveConvert : uint8_t { None, To24, Pxm, PxmStream };
  void LoadFileMember(const std::string& FileName, TQxFileFormatId Format, TLoadSteps Steps, const TLoadCodec& Codec);
  void LoadStreamMember(TStream& Stream, TQxFileFormatId Format, TLoadSteps Steps, const TLoadCodec& Codec);
  void LoadBody(TStream& Stream, TQxFileFormatId Format, const std::string& FileName, TLoadSteps Steps,
                const TLoadCodec& Codec);
  void SaveFileMember(const std::string& FileName, TQxFileFormatId Format, TSaveConvert Convert,
                      const TSaveCodec& Codec);
  void SaveStreamMember(TStream& Stream, TSaveConvert Convert, const TSaveCodec& Codec);
  void ConvertForSave(TSaveConvert Convert);
  // Formats whose codecs come with a later library: reached through QxIOFormatHandler.
  int32_t LoadFileByHandler(const std::string& FileName, TQxFileFormatId Format);
  int32_t LoadStreamByHandler(TStream& Stream, TQxFileFormatId Format);
  void SaveFileByHandler(const std::string& FileName, TQxFileFormatId Format, TSaveConvert Convert);
  void SaveStreamByHandler(TStream& Stream, TQxFileFormatId Format, TSaveConvert Convert);
  void ReadPsdBody(TStream& Stream, TQxProgressInfo& Progress);
  void WritePsdBody(TStream& Stream, TQxProgressInfo& Progress);
  bool LoadBuiltInFile(const std::string& FileName, TQxFileFormatId Format, bool WithExtras);
  bool LoadBuiltInStream(TStream& Stream, TQxFileFormatId Format, bool WithExtras);
  bool SaveBuiltInFile(const std::string& FileName, TQxFileFormatId Format);
  bool SaveBuiltInStream(TStream& Stream, TQxFileFormatId Format);
  void RegistryLoadFile(const std::string& FileName, TQxFileFormatInfo* Entry, bool AsFileAs);
  void RegistryLoadStream(TStream& Stream, TQxFileFormatInfo* Entry, bool AsStreamAs);
  void ReadParamsBody(TStream& Stream, TQxFileFormatId Format);

  // The open video of the frame members and the open AVI file, with their frame counts and steps.
  std::unique_ptr<TQxDirectShow> FMedia, FAvi;
  std::unique_ptr<TQxTWainParams> FTWainParams;
  std::unique_ptr<TIOPrintPreviewParams> FPrintPreviewParams;
  TImage* FAttachedTImage = nullptr;
  std::unique_ptr<TQxWia> FWia;
  std::unique_ptr<TQxPsDocument> FPsDocument;
  std::unique_ptr<TStream> FPsStream;
  std::unique_ptr<TQxPdfDocument> FPdfDocument;
  std::unique_ptr<TStream> FPdfStream;
  std::unique_ptr<TQxDirectShow> FDShow;
  int32_t FMediaFrames = 0, FAviFrames = 0;
  int64_t FMediaStep = 1;
  double FMediaDelay = 0;

  TBitmap* FVclBitmap = nullptr;
  TQxBitmap* FWorkBitmap = nullptr;
  bool FOwnsBitmap = true;
  TQxView* FAttachedQuillot = nullptr;
  void* FChangeHandle = nullptr;
  TColor FOwnBackground = 0;
  std::unique_ptr<TFont> FPreviewFont;

  std::mutex FThreadLock;
  std::condition_variable FThreadsDone;
  std::vector<std::thread::id> FThreadList;
  int32_t FPendingThreads = 0;
};

// Square pixels: a new bitmap resampled so that DpiX = DpiY (the caller owns it), or Bitmap itself.
TQxBitmap* QxAdjustDPI(TQxBitmap* Bitmap, TIOParamsVals& Params, bool Filtered);

// Image counts and extension lookup.
int32_t QxImageCount(const std::string& FileName);
int32_t QxIcoFileImageCount(const std::string& FileName);
// Frames, pages or images of a file of that format; 0 on any error (missing file, bad data, no codec).
int32_t QxGifFileFrameCount(const std::string& FileName);
int32_t QxTiffFilePageCount(const std::string& FileName);
int32_t QxDcxFilePageCount(const std::string& FileName);
// Runs the save-parameters dialog for DoPreviews (the dialogs library installs it; false while unset).
extern bool (*QxPreviewsDialogHook)(TQuillotIO& IO, uint16_t PageSet);
int32_t QxFileTypeByExtension(const std::string& Extension);
