#include "imaging/io/ps_pdf.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/pdf_objects.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/io/io_init.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace {

std::string LocalTime(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[64];
  std::strftime(buf, sizeof(buf), format, &tm);
  return buf;
}

void PutLine(TStream& s, const std::string& t) {
  const std::string l = t + "\r\n";
  s.WriteBuffer(l.data(), int64_t(l.size()));
}

int32_t RowBytes1(int32_t w) { return w / 8 + (w % 8 ? 1 : 0); }

void Report(TQxProgressInfo& p, int32_t row, double factor) {
  if (p.Assigned()) p.Report(int32_t(std::trunc(row * factor)));
}

// ASCII85 text of a block: the characters and how many of them are digits.
void Ascii85(const std::vector<uint8_t>& in, std::string& out, int64_t& digits) {
  std::string buf(static_cast<size_t>(QxAscii85MaxLength(static_cast<int64_t>(in.size()))), 0);
  const uint8_t* src = in.data();
  char* dest = buf.data();
  const int64_t n = QxAscii85Encode(src, int64_t(in.size()), dest, digits);
  out.append(buf.data(), size_t(n));
}

std::vector<uint8_t> RunLength(const uint8_t* data, size_t n) {
  std::vector<uint8_t> out(static_cast<size_t>(QxRunLengthMaxLength(static_cast<int64_t>(n))));
  out.resize(size_t(QxRunLengthEncode(data, int64_t(n), out.data())));
  return out;
}

// The rows of a 1-bit picture through one of the plugged-in CCITT coders; false when that coder is missing.
bool CcittRows(TQxBitmap* b, bool g4, TQxProgressInfo& progress, std::vector<uint8_t>& out) {
  auto coder = g4 ? QxCodecServices.CCITTEncodeG4 : QxCodecServices.CCITTEncodeG3_2D;
  if (!coder) return false;
  std::atomic<bool> local{false};
  std::atomic<bool>& aborting = progress.AbortFlag ? *progress.AbortFlag : local;
  TMemoryStream ms;
  void* ref = nullptr;
  int32_t bits = 0;
  uint8_t pending = 0;
  const int32_t w = b->Width();
  for (int32_t y = 0; y < b->Height(); ++y) coder(b->Scanline(y), w, &ms, 1, aborting, ref, bits, pending);
  coder(nullptr, w, &ms, 1, aborting, ref, bits, pending);
  // The coder hands back the bits of a last partial byte; they end the closing code.
  if (bits > 0) ms.WriteBuffer(&pending, 1);
  const auto* p = static_cast<const uint8_t*>(ms.Memory());
  out.assign(p, p + ms.Size());
  while (out.size() % 4) out.push_back(0);
  return true;
}

std::vector<uint8_t> Rows1(TQxBitmap* b, TQxProgressInfo& progress, double factor) {
  const int32_t r = RowBytes1(b->Width());
  std::vector<uint8_t> out;
  out.reserve(size_t(r) * b->Height());
  for (int32_t y = 0; y < b->Height(); ++y) {
    const uint8_t* row = b->Scanline(y);
    out.insert(out.end(), row, row + r);
    Report(progress, y, factor);
  }
  return out;
}

// Rows of RowBytes bytes each through the TIFF LZW coder (PDF's LZWDecode reads the same code), one strip;
// false when no coder is registered.
bool Lzw(const TIOParamsVals& params, const std::vector<uint8_t>& rows, size_t rowBytes, std::vector<uint8_t>& out) {
  using TEncode = void (*)(const uint8_t* Data, int32_t Count, TStream* Stream, void*& State);
  TQxLzwHook hook = params.TiffLzwCompress ? params.TiffLzwCompress : QxTiffLzwEncodeHook;
  if (!hook || rowBytes == 0 || rowBytes > size_t(INT32_MAX)) return false;
  const auto encode = reinterpret_cast<TEncode>(hook);
  TMemoryStream ms;
  void* state = nullptr;
  for (size_t at = 0; at + rowBytes <= rows.size(); at += rowBytes) encode(rows.data() + at, int32_t(rowBytes), &ms, state);
  encode(nullptr, 0, &ms, state);
  const auto* p = static_cast<const uint8_t*>(ms.Memory());
  out.assign(p, p + ms.Size());
  return true;
}

std::vector<uint8_t> Jpeg(TQxBitmap* b, TIOParamsVals& params, TQxProgressInfo& progress) {
  TMemoryStream ms;
  WriteJpegStream(&ms, b, params, progress);
  const auto* p = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(p, p + ms.Size());
}

// Sets BitsPerSample and SamplesPerPixel from the bitmap; true for a 1-bit picture.
bool OneBit(TQxBitmap* b, TIOParamsVals& params) {
  const bool one = b->PixelFormat() == TQxPixelFormat::qx1g;
  params.BitsPerSample = one ? 1 : 8;
  params.SamplesPerPixel = one ? 1 : 3;
  return one;
}

}  // namespace

// ---- PostScript -------------------------------------------------------------------------------------------

std::unique_ptr<TQxPsDocument> PsWriteHeader(TStream* Stream, TIOParamsVals& Params) {
  auto doc = std::make_unique<TQxPsDocument>();
  PutLine(*Stream, "%!PS-Adobe-3.0");
  PutLine(*Stream, "%%Title: " + Params.PsTitle);
  PutLine(*Stream, "%%CreationDate: " + LocalTime("%a %b %d %H:%M:%S %Y"));
  PutLine(*Stream, "%%DocumentData: Clean7Bit");
  PutLine(*Stream, "%%LanguageLevel: 2");
  doc->PagesLinePos = Stream->Position();
  PutLine(*Stream, "%%Pages: 0     ");
  PutLine(*Stream, "%%BoundingBox: 0 0 " + std::to_string(Params.PsPaperWidth - 1) + " " +
                       std::to_string(Params.PsPaperHeight - 1));
  PutLine(*Stream, "%%EndComments");
  doc->NextPagePos = Stream->Position();
  return doc;
}

void PsWritePage(TQxPsDocument* State, TStream* Stream, TQxBitmap* Bitmap, TQxProgressInfo& Progress,
                 TIOParamsVals& Params) {
  if (!State || !Stream || !Bitmap || Bitmap->IsEmpty()) {
    Progress.Abort();
    return;
  }
  char line[16] = {};
  Stream->SetPosition(State->PagesLinePos);
  Stream->Read(line, 15);
  int32_t count = 1;
  {
    std::string field(line + 9, line + 15);
    field.erase(0, field.find_first_not_of(' '));
    try {
      count = std::stoi(field);
    } catch (...) {
      count = 1;
    }
  }
  const int32_t page = count + 1;
  char pages[32];
  std::snprintf(pages, sizeof(pages), "%%%%Pages: %-6d", std::clamp(page, 0, 999999));
  Stream->SetPosition(State->PagesLinePos);
  Stream->WriteBuffer(pages, 15);
  Stream->SetPosition(State->NextPagePos);

  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  int32_t fw = 0, fh = 0;
  QxFitSize(w, h, Params.PsPaperWidth, Params.PsPaperHeight, fw, fh);
  const bool one = OneBit(Bitmap, Params);
  const double factor = 100.0 / h;

  PutLine(*Stream, "%%Page: " + std::to_string(page) + " " + std::to_string(page));
  PutLine(*Stream, "0 " + std::to_string(Params.PsPaperHeight) + " translate");
  PutLine(*Stream, std::to_string(fw) + " -" + std::to_string(fh) + " scale");
  PutLine(*Stream, std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(Params.BitsPerSample));
  PutLine(*Stream, "[ " + std::to_string(w) + " 0 0 " + std::to_string(h) + " 0 0 ]");

  std::string data;
  data.reserve(1 << 20);
  int64_t digits = 0;
  std::string operatorLine;
  if (one) {
    // Every compression writes its data: without its coder (or for DCT, which has none for 1 bit) a
    // picture falls back to RunLength.
    std::vector<uint8_t> ccitt;
    const int32_t c = Params.PsCompression;
    const bool useCcitt = (c == 1 || c == 2) && CcittRows(Bitmap, c == 1, Progress, ccitt);
    if (useCcitt) {
      PutLine(*Stream, "currentfile /ASCII85Decode filter << /K " + std::string(c == 1 ? "-1" : "1") +
                           " /BlackIs1 true /Columns " + std::to_string(w) + " /Rows " + std::to_string(h) +
                           " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >>"
                           " /CCITTFaxDecode filter");
      Ascii85(ccitt, data, digits);
    } else {
      PutLine(*Stream, "currentfile /ASCII85Decode filter /RunLengthDecode filter");
      const auto rows = Rows1(Bitmap, Progress, factor);
      Ascii85(RunLength(rows.data(), rows.size()), data, digits);
    }
    operatorLine = "image";
  } else if (Params.PsCompression == 3) {
    PutLine(*Stream, "currentfile /ASCII85Decode filter << >> /DCTDecode filter");
    PutLine(*Stream, "false 3");
    Ascii85(Jpeg(Bitmap, Params, Progress), data, digits);
    operatorLine = "colorimage";
  } else {
    for (const char* s : {"rstr", "gstr", "bstr"}) PutLine(*Stream, std::string("/") + s + " " + std::to_string(w) + " string def");
    for (const char* s : {"rstr", "gstr", "bstr"})
      PutLine(*Stream, std::string("{currentfile /ASCII85Decode filter /RunLengthDecode filter ") + s +
                           " readstring pop}");
    PutLine(*Stream, "true 3");
    std::vector<uint8_t> channel(static_cast<size_t>(w));
    for (int32_t y = 0; y < h && !Progress.Aborting(); ++y) {
      const uint8_t* row = Bitmap->Scanline(y);
      for (int c : {2, 1, 0}) {
        for (int32_t x = 0; x < w; ++x) channel[x] = row[3 * x + c];
        Ascii85(RunLength(channel.data(), channel.size()), data, digits);
      }
      Report(Progress, y + 1, factor);
    }
    operatorLine = "colorimage";
  }
  // The count covers every byte between this comment and %%EndData: the operator line and the data
  // with its line breaks and end markers.
  const size_t dataBytes = operatorLine.size() + 2 + data.size();
  PutLine(*Stream, "%%BeginData:      " + std::to_string(dataBytes) + " ASCII Bytes");
  PutLine(*Stream, operatorLine);
  Stream->WriteBuffer(data.data(), int64_t(data.size()));
  PutLine(*Stream, "%%EndData");
  PutLine(*Stream, "showpage");
  State->NextPagePos = Stream->Position();
}

void PsWriteTrailer(std::unique_ptr<TQxPsDocument> State, TStream* Stream) {
  if (!State || !Stream) return;
  Stream->SetPosition(State->NextPagePos);
  PutLine(*Stream, "%%Trailer");
  PutLine(*Stream, "%%EOF");
}

void WritePsStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  auto doc = PsWriteHeader(Stream, Params);
  PsWritePage(doc.get(), Stream, Bitmap, Progress, Params);
  PsWriteTrailer(std::move(doc), Stream);
}

// ---- PDF ------------------------------------------------------------------------------------------------------

TQxPdfDocument::TQxPdfDocument() = default;

TQxPdfDocument::~TQxPdfDocument() {
  for (auto* o : Objects) delete o;
}

std::unique_ptr<TQxPdfDocument> PdfCreateDocument() {
  auto doc = std::make_unique<TQxPdfDocument>();
  doc->Catalog = QxPDFAddCatalog(doc->Objects);
  auto* res = new TQxPDFDictionaryObject();
  auto* procs = new TQxPDFArrayObject();
  procs->Add(new TQxPDFNameObject("PDF"));
  procs->Add(new TQxPDFNameObject("ImageB"));
  res->Add("ProcSet", procs);
  res->Add("XObject", new TQxPDFDictionaryObject());
  res->OwnedElsewhere = true;
  QxPDFAddObject(doc->Objects, res);
  doc->Resources = res;
  return doc;
}

void PdfAddImagePage(TQxPdfDocument* Document, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  if (!Document || !Bitmap || Bitmap->IsEmpty()) {
    Progress.Abort();
    return;
  }
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  const double factor = 100.0 / h;
  auto image = std::make_unique<TQxPDFStreamObject>();
  TQxPDFDictionaryObject& dict = *image->Dictionary;
  if (OneBit(Bitmap, Params)) {
    if (Params.PdfCompression == 4) Params.PdfCompression = 3;
    std::vector<uint8_t> ccitt;
    const int32_t c = Params.PdfCompression;
    if ((c == 2 || c == 3) && CcittRows(Bitmap, c == 2, Progress, ccitt)) {
      image->Data = std::move(ccitt);
      dict.Add("Filter", new TQxPDFNameObject("CCITTFaxDecode"));
      auto* parms = new TQxPDFDictionaryObject();
      parms->Add("K", new TQxPDFNumericObject(c == 2 ? -1 : 1));
      parms->Add("BlackIs1", new TQxPDFBooleanObject(true));
      parms->Add("Columns", new TQxPDFNumericObject(w));
      parms->Add("Rows", new TQxPDFNumericObject(h));
      parms->Add("EndOfLine", new TQxPDFBooleanObject(false));
      parms->Add("Uncompressed", new TQxPDFBooleanObject(true));
      parms->Add("EncodedByteAlign", new TQxPDFBooleanObject(false));
      parms->Add("EndOfBlock", new TQxPDFBooleanObject(false));
      dict.Add("DecodeParms", parms);
    } else {
      // RunLength, LZW through the TIFF coder, or, without a coder for what was asked, the rows
      // uncompressed rather than not at all.
      const auto rows = Rows1(Bitmap, Progress, factor);
      if (c == 1) {
        image->Data = RunLength(rows.data(), rows.size());
        auto* filters = new TQxPDFArrayObject();
        filters->Add(new TQxPDFNameObject("RunLengthDecode"));
        dict.Add("Filter", filters);
      } else if (c == 5 && Lzw(Params, rows, size_t(RowBytes1(w)), image->Data)) {
        dict.Add("Filter", new TQxPDFNameObject("LZWDecode"));
      } else {
        image->Data = rows;
        // Without an LZW coder the rows go uncompressed, and the parameter says so.
        if (c == 5) Params.PdfCompression = 0;
      }
    }
    dict.Add("ColorSpace", new TQxPDFNameObject("DeviceGray"));
    dict.Add("BitsPerComponent", new TQxPDFNumericObject(1));
  } else {
    if (Params.PdfCompression == 4) {
      image->Data = Jpeg(Bitmap, Params, Progress);
      dict.Add("Filter", new TQxPDFNameObject("DCTDecode"));
      dict.Add("ColorSpace", new TQxPDFNameObject(Params.JpegColorSpace == 1 ? "DeviceGray" : "DeviceRGB"));
    } else {
      image->Data.resize(size_t(w) * 3 * h);
      uint8_t* d = image->Data.data();
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = Bitmap->Scanline(y);
        for (int32_t x = 0; x < w; ++x, d += 3) {
          d[0] = row[3 * x + 2];
          d[1] = row[3 * x + 1];
          d[2] = row[3 * x];
        }
        Report(Progress, y, factor);
      }
      if (Params.PdfCompression == 5) {
        std::vector<uint8_t> packed;
        if (Lzw(Params, image->Data, size_t(w) * 3, packed)) {
          image->Data = std::move(packed);
          dict.Add("Filter", new TQxPDFNameObject("LZWDecode"));
        } else {
          Params.PdfCompression = 0;  // written uncompressed: no LZW coder
        }
      }
      dict.Add("ColorSpace", new TQxPDFNameObject("DeviceRGB"));
    }
    dict.Add("BitsPerComponent", new TQxPDFNumericObject(8));
  }
  dict.Insert(0, "Type", new TQxPDFNameObject("XObject"));
  dict.Insert(1, "Subtype", new TQxPDFNameObject("Image"));
  dict.Add("Width", new TQxPDFNumericObject(w));
  dict.Add("Height", new TQxPDFNumericObject(h));
  TQxPDFStreamObject* img = image.release();
  QxPDFAddObject(Document->Objects, img);
  Document->Images.push_back(img);
  const size_t k = Document->Images.size();

  int32_t fw = 0, fh = 0;
  QxFitSize(w, h, Params.PdfPaperWidth, Params.PdfPaperHeight, fw, fh);
  const std::string content = "q\n" + std::to_string(fw) + " 0 0 " + std::to_string(fh) + " 0 " +
                              std::to_string(Params.PdfPaperHeight - fh) + " cm\n/lm" + std::to_string(k) +
                              " Do\nQ";
  TQxPDFStreamObject* contents = TQxPDFStreamObject::CreateWithData(content.data(), content.size()).release();
  QxPDFAddObject(Document->Objects, contents);
  Document->Contents.push_back(contents);
  if (auto* xobjects = dynamic_cast<TQxPDFDictionaryObject*>(Document->Resources->Find("XObject")))
    xobjects->Add("lm" + std::to_string(k), new TQxPDFRefObject(img->ObjectNumber, 0));
  auto* box = new TQxPDFArrayObject();
  box->Add(new TQxPDFNumericObject(0));
  box->Add(new TQxPDFNumericObject(0));
  box->Add(new TQxPDFNumericObject(Params.PdfPaperWidth));
  box->Add(new TQxPDFNumericObject(Params.PdfPaperHeight));
  QxPDFAddPage(Document->Objects, Document->Pages, Document->Resources, contents->ObjectNumber, box);
}

void PdfWriteTrailer(std::unique_ptr<TQxPdfDocument> Document, TStream* Stream, TIOParamsVals& Params) {
  if (!Document || !Stream) return;
  QxPDFAddPages(Document->Objects, Document->Pages);
  auto* info = new TQxPDFDictionaryObject();
  const std::pair<const char*, const std::string*> texts[] = {
      {"Title", &Params.PdfTitle},     {"Author", &Params.PdfAuthor},   {"Subject", &Params.PdfSubject},
      {"Keywords", &Params.PdfKeywords}, {"Creator", &Params.PdfCreator}, {"Producer", &Params.PdfProducer}};
  for (const auto& [key, text] : texts)
    if (!text->empty()) info->Add(key, new TQxPDFStringObject(*text));
  info->Add("CreationDate", new TQxPDFStringObject("D:" + LocalTime("%Y%m%d%H%M%S")));
  QxPDFAddObject(Document->Objects, info);
  QxPDFWriteHeader(*Stream);
  QxPDFWriteObjects(*Stream, Document->Objects);
  QxPDFWriteTrailer(*Stream, Document->Objects, *info);
}

void WritePdfStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  auto doc = PdfCreateDocument();
  PdfAddImagePage(doc.get(), Bitmap, Params, Progress);
  PdfWriteTrailer(std::move(doc), Stream, Params);
}
