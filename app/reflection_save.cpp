// Saving what the view shows: the layers merged (band by band as a writer takes rows, or whole), the
// background applied where the format cannot carry the alpha channel, and each file written beside its
// name first so that a failed save leaves the old file as it was.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/reflection.h"
#include "imaging/codecs/psd.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/layer.h"
#include "imaging/view/merged_rows.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/base/files.h"
#include "platform/base/lists.h"
#include "platform/base/streams.h"
#include "platform/base/strings.h"

namespace {

// With the alpha channel removed the layers were already blended onto the background when built; the
// view shows them without alpha, and so must the file: merging with their alpha would fade them twice.
// Their alpha channels are set aside for the merge (no copies of the layers) and put back afterwards.
class TAlphaAside {
 public:
  TAlphaAside(TQuillotView* View, bool Active) {
    if (!Active) return;
    for (int32_t i = 0; i < View->LayerCount(); ++i) {
      TQxBitmap* B = View->GetLayer(i)->Bitmap;
      if (B->HasAlphaChannel()) FAside.emplace_back(B, B->SetAlphaChannel(nullptr));
    }
  }
  ~TAlphaAside() {
    for (auto& [B, A] : FAside) B->SetAlphaChannel(std::move(A));
  }
  TAlphaAside(const TAlphaAside&) = delete;
  TAlphaAside& operator=(const TAlphaAside&) = delete;

 private:
  std::vector<std::pair<TQxBitmap*, std::unique_ptr<TQxBitmap>>> FAside;
};

// A layer over a bitmap it does not own, placed at the origin at the bitmap's own size.
std::unique_ptr<TQxLayer> WrapBitmap(TQxBitmap* B) {
  auto L = std::make_unique<TQxLayer>(nullptr, B, true);
  L->OwnsBitmap = false;
  return L;
}

// The view's layers merged in index order into layer 0 of a new view, which writes the files. Layer 0
// and the accumulated result are read where they are, never copied.
std::unique_ptr<TQuillotView> MergeForSave(TQuillotView* View, bool RemoveAlpha) {
  auto Temp = std::make_unique<TQuillotView>(nullptr);
  TQxBitmap* Dest = Temp->GetLayer(0)->Bitmap;
  const int32_t Count = View->LayerCount();
  if (Count < 2) {
    Dest->AssignFrom(View->GetLayer(0)->Bitmap);
    if (RemoveAlpha) Dest->RemoveAlphaChannel(false);
    return Temp;
  }
  TAlphaAside Aside(View, RemoveAlpha);
  TQxBitmap Spare;
  TQxBitmap* Acc = View->GetLayer(0)->Bitmap;
  for (int32_t i = 1; i < Count; ++i) {
    // The last merge lands in the temporary view; earlier ones alternate between it and a spare.
    TQxBitmap* Out = ((Count - 1 - i) % 2 == 0) ? Dest : &Spare;
    auto Base = WrapBitmap(Acc);
    QxMergeLayers(Base.get(), View->GetLayer(i), nullptr, Out, TResampleFilter::rfNone, 0, false);
    Acc = Out;
  }
  return Temp;
}

// A name beside FileName, with its extension, that no user file is expected to have.
std::string TempNameBeside(const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  const std::string Name = ExtractFileName(FileName);
  return ExtractFilePath(FileName) + "." + Name.substr(0, Name.size() - Ext.size()) + ".saving-" +
         std::to_string(::getpid()) + Ext;
}

// Writes through Write into a file beside FileName and moves it over FileName only when the writer
// succeeded, so a save that fails midway leaves the old file as it was.
// Why FileName could not be written, in words about the file the user chose: the scratch file written
// first is ours, and its name means nothing to the user.
std::string CannotSave(const std::string& FileName, const std::string& Temp, const std::string& Reason) {
  std::string Dir = ExtractFileDir(FileName);
  if (Dir.empty()) Dir = ".";
  if (access(Dir.c_str(), W_OK) != 0) {
    const int Err = errno;
    return "Cannot save \"" + FileName + "\": the folder \"" + Dir + "\" cannot be written (" +
           std::strerror(Err) + ")";
  }
  std::string Why = StringReplace(Reason, Temp, FileName, rfReplaceAll);
  return "Cannot save \"" + FileName + "\"" + (Why.empty() ? std::string() : ": " + Why);
}

void WriteReplacing(const std::string& FileName, const std::function<bool(const std::string&)>& Write) {
  const std::string Temp = TempNameBeside(FileName);
  bool Done = false;
  try {
    Done = Write(Temp) && FileExists(Temp);
  } catch (const EAbort&) {
    DeleteFile(Temp);
    throw;
  } catch (const std::exception& E) {
    DeleteFile(Temp);
    throw Exception(CannotSave(FileName, Temp, E.what()));
  } catch (...) {
    DeleteFile(Temp);
    throw;
  }
  if (!Done) {
    DeleteFile(Temp);
    throw Exception("Cannot save \"" + FileName + "\"");
  }
  if (!RenameFile(Temp, FileName)) {
    DeleteFile(Temp);
    throw Exception(CannotSave(FileName, Temp, ""));
  }
}

bool SaveThroughIO(TQuillotIO* IO, const std::string& FileName) {
  IO->Aborting = false;
  IO->SaveToFile(FileName);
  // A name no writer takes writes nothing; that is a failure the user must hear of.
  return !IO->Aborting;
}

// A PSD file with the view's layers as its layers and the merged picture as its composite. The writer
// converts layers in place, so a layer it would change is handed over as a copy.
bool SaveLayeredPsd(TQuillotView* View, TQxBitmap* Merged, TIOParamsVals& Params, const std::string& FileName) {
  std::vector<std::unique_ptr<TQxLayer>> Copies;
  TList Layers;
  for (int32_t i = 0; i < View->LayerCount(); ++i) {
    TQxLayer* L = View->GetLayer(i);
    if (L->Bitmap->PixelFormat() == TQxPixelFormat::qx24RGB && L->Bitmap->HasAlphaChannel()) {
      Layers.Add(L);
      continue;
    }
    auto C = std::make_unique<TQxLayer>(nullptr, nullptr, false);
    C->CopyPropertiesFrom(L);
    C->Bitmap->AssignFrom(L->Bitmap);
    Layers.Add(C.get());
    Copies.push_back(std::move(C));
  }
  std::atomic<bool> Abort{false};
  TQxProgressInfo Progress;
  Progress.AbortFlag = &Abort;
  {
    TFileStream Stream(FileName, fmCreate);
    WritePsdStream(&Stream, Params, Progress, Merged, &Layers);
  }
  return !Abort.load();
}

}  // namespace

namespace {

// Formats whose writers read the merged picture through its rows, in whatever order and as often as they
// need, and change nothing in it: they are written from the layers merged a band of rows at a time, with
// no merged copy held whole. GIF and ICO set a transparent colour in the picture's alpha channel first.
bool WrittenFromBands(int32_t Fmt) {
  switch (Fmt) {
    case 1: case 3: case 4: case 5: case 7: case 8: case 9: case 10: case 11: case 12: case 13: case 14: case 15:
    case 16:
      return true;
    default:
      return false;
  }
}

bool KeepsAlphaIn(int32_t Fmt, const TReflectionSettings& S) {
  return !S.RemoveAlpha && (Fmt == 1 || Fmt == 7 || Fmt == 16);
}
bool TransparentIn(int32_t Fmt) { return Fmt == 2 || Fmt == 6; }

}  // namespace

void SaveReflection(TQuillotView* View, const std::string& FileName, const TReflectionSettings& S,
                    const TSaveProgress& Progress) {
  SaveReflections(View, {FileName}, S, Progress);
}

void SaveReflections(TQuillotView* View, const std::vector<std::string>& FileNames, const TReflectionSettings& S,
                     const TSaveProgress& Progress) {
  if (FileNames.empty()) return;
  bool Bands = View->LayerCount() == 2;
  for (const std::string& Name : FileNames) Bands = Bands && WrittenFromBands(SaveFilterIndexOf(Name));
  if (!Bands) {
    SaveReflectionsFromWholeMerge(View, FileNames, S, Progress);
    return;
  }
  // The merge is made again for each file, a band at a time as the writer asks for rows; first for the
  // files that keep the alpha channel, then blended onto the background for the rest.
  TAlphaAside Aside(View, S.RemoveAlpha);
  auto Base = WrapBitmap(View->GetLayer(0)->Bitmap);
  TQxMergedRows Merged(Base.get(), View->GetLayer(1), TResampleFilter::rfNone, 0);
  TQuillotIO IO(&Merged);
  IO.Params->AssignParams(*View->GetIO()->Params);
  if (Progress) IO.OnProgress = [&Progress](TObject*, int32_t Per) { Progress(Per); };
  for (const std::string& Name : FileNames) {
    const int32_t Fmt = SaveFilterIndexOf(Name);
    if (!KeepsAlphaIn(Fmt, S)) continue;
    WriteReplacing(Name, [&](const std::string& To) {
      return Fmt == 16 ? SaveLayeredPsd(View, &Merged, *IO.Params, To) : SaveThroughIO(&IO, To);
    });
  }
  for (const std::string& Name : FileNames) {
    if (KeepsAlphaIn(SaveFilterIndexOf(Name), S)) continue;
    Merged.FlattenOnto(S.Background);
    WriteReplacing(Name, [&](const std::string& To) { return SaveThroughIO(&IO, To); });
  }
}

void SaveReflectionsFromWholeMerge(TQuillotView* View, const std::vector<std::string>& FileNames,
                                   const TReflectionSettings& S, const TSaveProgress& Progress) {
  if (FileNames.empty()) return;
  auto Temp = MergeForSave(View, S.RemoveAlpha);
  Temp->SetCurrentLayer(0);
  Temp->SetBackground(S.Background);
  TQxBitmap* Merged = Temp->GetLayer(0)->Bitmap;
  TQuillotIO* IO = Temp->GetIO();
  IO->Params->AssignParams(*View->GetIO()->Params);
  if (Progress) IO->OnProgress = [&Progress](TObject*, int32_t Per) { Progress(Per); };

  // One merge serves every file: first the files that keep the alpha channel, then the picture is
  // blended onto the background once for the rest, and last GIF and ICO, whose transparent colour
  // changes the picture's alpha channel.
  for (const std::string& Name : FileNames) {
    const int32_t Fmt = SaveFilterIndexOf(Name);
    if (!KeepsAlphaIn(Fmt, S)) continue;
    WriteReplacing(Name, [&](const std::string& To) {
      return Fmt == 16 ? SaveLayeredPsd(View, Merged, *IO->Params, To) : SaveThroughIO(IO, To);
    });
  }
  bool Flattened = false;
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& Name : FileNames) {
      const int32_t Fmt = SaveFilterIndexOf(Name);
      if (KeepsAlphaIn(Fmt, S) || TransparentIn(Fmt) != (pass == 1)) continue;
      if (!Flattened) {
        Temp->RemoveAlphaChannel(true);
        Flattened = true;
      }
      if (TransparentIn(Fmt)) {
        const TQxRGB Bg = QxTColorToRGB(S.Background);
        Temp->GetProc()->SetTransparentColors(Bg, Bg, 0);
      }
      WriteReplacing(Name, [&](const std::string& To) { return SaveThroughIO(IO, To); });
    }
  }
}
