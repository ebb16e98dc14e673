#pragma once
// The reflection pipeline: the main window's free routines, usable without a window. The view holds
// layer 0 (the picture on an enlarged, transparent canvas) and the reflection layer (index 1); the hidden
// source view keeps the picture exactly as loaded so every rebuild starts from it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/color.h"

class TQuillotView;
class TQuillot;
class TQxBitmap;

// Side of the reflection: the Tag of the four side buttons.
enum : int32_t { qxSideLeft = 1, qxSideTop = 2, qxSideRight = 3, qxSideBottom = 4 };
// Colour mode of the reflection.
enum : int32_t { qxColorful = 0, qxGray = 1, qxBlackWhite = 2 };

void ResetLayers(TQuillotView* View);
int32_t AddReflectionLayer(TQuillotView* View);
// True when the picture loaded. The source is cleared first, so a failed load never leaves the previous
// picture behind under the new name; a reader that fails without raising (abort flag, no route for the
// extension, empty picture) is a failed load too.
bool LoadSourceImage(TQuillot* Source, const std::string& FileName);
void RestoreBaseLayer(TQuillotView* View, TQuillotView* Source);
void EnlargeCanvas(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space);
void PlaceReflectionLayer(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space, int32_t Layer);
void MirrorIntoLayer(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Layer);
void ApplyColorMode(TQuillotView* View, int32_t ColorMode, int32_t Layer);
void ApplyWave(TQuillotView* View, int32_t Amplitude, int32_t WaveLength, bool WaveOn, int32_t Layer, int32_t Phase);
void RampLayer(TQuillotView* View, int32_t StartOpacity, int32_t EndOpacity, int32_t Layer, int32_t SizePercent,
               int32_t Side);
void ApplyTransparencyRamp(TQuillotView* View, int32_t StartOpacity, int32_t EndOpacity, int32_t Side,
                           int32_t SizePercent);
void FlattenBaseLayers(TQuillotView* View, TColor Background, int32_t Count, bool KeepAlpha);
void FlattenReflectionLayer(TQuillotView* View, TColor Background, int32_t Layer, bool KeepAlpha);
void BuildReflection(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t StartOpacity,
                     int32_t EndOpacity, int32_t SizePercent, int32_t Space, int32_t Amplitude, int32_t WaveLength,
                     int32_t Phase, int32_t ColorMode, TColor Background, int32_t Layer, bool WaveOn,
                     bool KeepAlpha);
void BlendOntoColor(TQxBitmap* Bitmap, TColor Color);
// Save-format number 0..20 of a file name's extension (1..16 are the save dialog's filter entries).
int32_t SaveFilterIndexOf(const std::string& FileName);
// Directory of the executable, with a trailing path delimiter.
std::string GetAppDir();

// Transparency percent to opacity 0..255, rounded half to even.
int32_t TransparencyToOpacity(int32_t Transparency);
// Fits the picture when it is larger than the control in either direction, else shows it at 100 %.
void FitOrActualSize(TQuillotView* View);

// Every setting of the reflection, as the main window's controls hold them.
struct TReflectionSettings {
  int32_t Side = qxSideBottom;
  int32_t Space = 0;
  int32_t SizePercent = 100;
  int32_t TranBegin = 0;    // start transparency, percent
  int32_t TranEnd = 100;    // end transparency, percent
  int32_t ColorMode = qxColorful;
  bool WaveOn = false;
  int32_t Amplitude = 10;
  int32_t WaveLength = 30;
  int32_t Phase = 0;
  bool RemoveAlpha = false;
  TColor Background = clWhite;

  int32_t StartOpacity() const { return TransparencyToOpacity(TranBegin); }
  int32_t EndOpacity() const { return TransparencyToOpacity(TranEnd); }
};

// BuildReflection with the settings as the main window passes them.
void BuildReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer);

// What each setting handler redoes once a picture is loaded. A change of size, transparency, colour mode or
// wave touches only the reflection layer (steps 4-7 and 9); a change of space only the base layer and the
// placement (1-3 and 8); a change of the alpha setting or the background colour both layers (all but 3).
// A change of side, or opening a picture, runs the whole BuildReflection.
void RedoReflectionLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer);
void RedoBaseLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer);
void RedoBothLayers(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer);

// Saves what the view shows to FileName, the writer chosen by its extension. Raises Exception when
// nothing could be written (no writer for the extension, or the writer failed); an existing file of that
// name is then left as it was. PSD with the alpha channel kept holds the layers and their merged picture.
// Progress, when given, hears the writer's percentage as it goes.
using TSaveProgress = std::function<void(int32_t Percent)>;
void SaveReflection(TQuillotView* View, const std::string& FileName, const TReflectionSettings& S,
                    const TSaveProgress& Progress = nullptr);
// The same for several files. Formats whose writers take the picture row by row are written from the
// layers merged band by band as the writer goes; the others from one merge of the whole picture.
void SaveReflections(TQuillotView* View, const std::vector<std::string>& FileNames, const TReflectionSettings& S,
                     const TSaveProgress& Progress = nullptr);
// The same, every format written from one merge of the whole picture held in memory.
void SaveReflectionsFromWholeMerge(TQuillotView* View, const std::vector<std::string>& FileNames,
                                   const TReflectionSettings& S, const TSaveProgress& Progress = nullptr);
