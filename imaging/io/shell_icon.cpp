#include "imaging/io/shell_icon.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/png_codec.h"
#include "platform/base/streams.h"

namespace {

const char* const kMimeDirs[] = {"/usr/share/mime", "/usr/local/share/mime"};
const char* const kIconThemes[] = {"/usr/share/icons/Adwaita", "/usr/share/icons/hicolor"};
const char* const kIconSizes[] = {"32x32", "48x48", "24x24", "64x64"};

std::string Lower(std::string S) {
  for (auto& C : S) C = char(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

// Reads "weight:type:pattern[:flags]" lines of globs2 and "type:icon" lines of generic-icons.
std::string Lookup(const std::string& File, const std::string& Key, bool Globs) {
  for (const char* Dir : kMimeDirs) {
    std::ifstream F(std::string(Dir) + "/" + File);
    std::string Line;
    int Best = -1;
    std::string Found;
    while (std::getline(F, Line)) {
      if (Line.empty() || Line[0] == '#') continue;
      if (!Globs) {
        const size_t C = Line.find(':');
        if (C != std::string::npos && Line.compare(0, C, Key) == 0) return Line.substr(C + 1);
        continue;
      }
      std::vector<std::string> Part;
      std::stringstream SS(Line);
      std::string P;
      while (std::getline(SS, P, ':')) Part.push_back(P);
      if (Part.size() < 3) continue;
      const bool CaseSensitive = Part.size() > 3 && Part[3].find("cs") != std::string::npos;
      const std::string Pattern = CaseSensitive ? Part[2] : Lower(Part[2]);
      // Only plain extension patterns: "*.txt".
      if (Pattern.size() < 3 || Pattern.compare(0, 2, "*.") != 0 || Pattern.find_first_of("*?[", 2) != std::string::npos)
        continue;
      const std::string Ext = Pattern.substr(1);
      const std::string Name = CaseSensitive ? Key : Lower(Key);
      if (Name.size() < Ext.size() || Name.compare(Name.size() - Ext.size(), Ext.size(), Ext) != 0) continue;
      const int Weight = std::atoi(Part[0].c_str()) * 1000 + int(Ext.size());  // heavier, then longer
      if (Weight > Best) {
        Best = Weight;
        Found = Part[1];
      }
    }
    if (!Found.empty()) return Found;
  }
  return {};
}

std::string ThemeIcon(const std::string& Name) {
  for (const char* Theme : kIconThemes)
    for (const char* Size : kIconSizes) {
      const std::string P = std::string(Theme) + "/" + Size + "/mimetypes/" + Name + ".png";
      if (QxFileExists(P)) return P;
    }
  return {};
}

void Put16(std::vector<uint8_t>& V, uint32_t X) { V.insert(V.end(), {uint8_t(X), uint8_t(X >> 8)}); }
void Put32(std::vector<uint8_t>& V, uint32_t X) {
  V.insert(V.end(), {uint8_t(X), uint8_t(X >> 8), uint8_t(X >> 16), uint8_t(X >> 24)});
}

// A one-image icon of Picture: a 32-bit colour bitmap and a 1-bit mask (set where the picture is clear).
std::vector<uint8_t> OneImageIco(TQxBitmap& Picture) {
  const int32_t W = Picture.Width(), H = Picture.Height();
  TQxBitmap* Alpha = Picture.HasAlphaChannel() ? Picture.GetAlphaChannel() : nullptr;
  const int32_t MaskRow = ((W + 31) / 32) * 4;
  std::vector<uint8_t> Dib;
  Put32(Dib, 40);
  Put32(Dib, uint32_t(W));
  Put32(Dib, uint32_t(H * 2));
  Put16(Dib, 1);
  Put16(Dib, 32);
  Put32(Dib, 0);
  Put32(Dib, uint32_t(W * H * 4 + MaskRow * H));
  for (int i = 0; i < 4; ++i) Put32(Dib, 0);
  for (int32_t Y = H - 1; Y >= 0; --Y) {
    const uint8_t* Row = Picture.Scanline(Y);
    std::vector<uint8_t> A(size_t(W), 255);
    if (Alpha) std::memcpy(A.data(), Alpha->Scanline(Y), size_t(W));
    for (int32_t X = 0; X < W; ++X) Dib.insert(Dib.end(), {Row[3 * X], Row[3 * X + 1], Row[3 * X + 2], A[size_t(X)]});
  }
  for (int32_t Y = H - 1; Y >= 0; --Y) {
    std::vector<uint8_t> M(size_t(MaskRow), 0);
    if (Alpha) {
      const uint8_t* A = Alpha->Scanline(Y);
      for (int32_t X = 0; X < W; ++X)
        if (A[X] == 0) M[size_t(X / 8)] |= uint8_t(0x80 >> (X % 8));
    }
    Dib.insert(Dib.end(), M.begin(), M.end());
  }
  std::vector<uint8_t> Ico;
  Put16(Ico, 0);
  Put16(Ico, 1);
  Put16(Ico, 1);
  Ico.insert(Ico.end(), {uint8_t(W >= 256 ? 0 : W), uint8_t(H >= 256 ? 0 : H), 0, 0});
  Put16(Ico, 1);
  Put16(Ico, 32);
  Put32(Ico, uint32_t(Dib.size()));
  Put32(Ico, 22);
  Ico.insert(Ico.end(), Dib.begin(), Dib.end());
  return Ico;
}

}  // namespace

std::string QxMimeTypeOfFile(const std::string& FileName) {
  const size_t Slash = FileName.find_last_of('/');
  return Lookup("globs2", Slash == std::string::npos ? FileName : FileName.substr(Slash + 1), true);
}

std::string QxMimeIconPath(const std::string& MimeType) {
  std::string Type = MimeType.empty() ? "application/octet-stream" : MimeType;
  std::string Name = Type;
  std::replace(Name.begin(), Name.end(), '/', '-');
  if (std::string P = ThemeIcon(Name); !P.empty()) return P;
  if (std::string G = Lookup("generic-icons", Type, false); !G.empty())
    if (std::string P = ThemeIcon(G); !P.empty()) return P;
  const std::string Media = Type.substr(0, Type.find('/'));
  for (const std::string& G : {Media + "-x-generic", std::string("application-x-generic")})
    if (std::string P = ThemeIcon(G); !P.empty()) return P;
  return {};
}

void QxShellFileIcon(const std::string& FileName, TQxBitmap* Bitmap) {
  if (!Bitmap) return;
  TIOParamsVals Params;
  TQxProgressInfo Progress;
  std::unique_ptr<TQxMask> Mask;
  std::vector<uint8_t> Ico;
  const std::string Path = QxMimeIconPath(QxMimeTypeOfFile(FileName));
  if (!Path.empty()) {
    try {
      TQxBitmap Picture;
      TQxWideFileStream F(Path, fmOpenRead | fmShareDenyWrite);
      ReadPngStream(F, Picture, Params, Progress, false);
      if (!Picture.IsEmpty() && Picture.Width() <= 256 && Picture.Height() <= 256) {
        if (Picture.PixelFormat() != TQxPixelFormat::qx24RGB) Picture.SetPixelFormat(TQxPixelFormat::qx24RGB);
        Ico = OneImageIco(Picture);
      }
    } catch (...) {
      Ico.clear();
    }
  }
  TMemoryStream S;
  if (!Ico.empty()) S.Write(Ico.data(), int64_t(Ico.size()));
  S.SetPosition(0);
  TIOParamsVals IcoParams;
  TQxProgressInfo IcoProgress;
  ReadIcoStream(S, *Bitmap, IcoParams, false, IcoProgress, Mask, false);
  if (Mask && !Bitmap->IsEmpty()) Bitmap->GetAlphaChannel()->AlphaFromMask(Mask.get());
}
