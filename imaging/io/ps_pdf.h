#pragma once
// PostScript level 2 and PDF 1.4 writers: one picture per page, fitted to the paper from its top-left corner.

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;
class TQxPDFObject;
class TQxPDFDictionaryObject;
class TQxPDFStreamObject;

// A PostScript document between its header and its trailer.
struct TQxPsDocument {
  int64_t PagesLinePos = 0;  // where the "%%Pages: " line starts
  int64_t NextPagePos = 0;   // where the next page (or the trailer) goes
};

// The bitmap must be qx1g or qx24RGB (the I/O component converts others first).
void WritePsStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
std::unique_ptr<TQxPsDocument> PsWriteHeader(TStream* Stream, TIOParamsVals& Params);
void PsWritePage(TQxPsDocument* State, TStream* Stream, TQxBitmap* Bitmap, TQxProgressInfo& Progress,
                 TIOParamsVals& Params);
// Writes the trailer and frees State (nullptr: nothing).
void PsWriteTrailer(std::unique_ptr<TQxPsDocument> State, TStream* Stream);

// A PDF document being built; written whole by PdfWriteTrailer.
struct TQxPdfDocument {
  TQxPdfDocument();
  ~TQxPdfDocument();
  TQxPdfDocument(const TQxPdfDocument&) = delete;
  TQxPdfDocument& operator=(const TQxPdfDocument&) = delete;
  std::vector<TQxPDFObject*> Objects;  // every indirect object; owned
  std::vector<TQxPDFDictionaryObject*> Pages;
  std::vector<TQxPDFStreamObject*> Images;
  std::vector<TQxPDFStreamObject*> Contents;
  TQxPDFDictionaryObject* Resources = nullptr;
  TQxPDFDictionaryObject* Catalog = nullptr;
};

void WritePdfStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
std::unique_ptr<TQxPdfDocument> PdfCreateDocument();
void PdfAddImagePage(TQxPdfDocument* Document, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
// Writes the whole file and frees the document (nullptr: nothing).
void PdfWriteTrailer(std::unique_ptr<TQxPdfDocument> Document, TStream* Stream, TIOParamsVals& Params);
