#pragma once
// PCX images and DCX files (whole PCX images behind a table of their positions).
#include <cstdint>
#include <vector>

class TStream;
class TQxBitmap;
class TIOParamsVals;
struct TQxProgressInfo;

// Magic at the start of a DCX file, and the most table entries the readers look at.
constexpr uint32_t DcxMagic = 987654321;
constexpr int32_t DcxMaxPages = 1024;

// Reads one PCX image whose header is at the stream position; DataSize is its length from the header on
// (cut to what the stream holds). A bad header or undecodable data sets the abort flag.
void ReadPcxStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize,
                   TQxProgressInfo& Progress, bool ParamsOnly);
// Writes a qx1g or qx24RGB bitmap as one PCX image at the stream position.
void WritePcxStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);

// The DCX at the stream position: probe, page count, reading page DcxImageIndex. Positions in the table
// count from where the DCX starts. The probe and the count restore the position.
bool IsDcxStream(TStream* Stream);
int32_t DcxPageCount(TStream* Stream);
void ReadDcxStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly);
// Rebuilds the whole stream (a DCX from position 0, or empty) with the bitmap as a new page before page
// DcxImageIndex, or last when the index equals the page count.
void InsertDcxPage(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);

// The page positions from the stream position up to the 0 entry, at most Limit entries (the stream's end
// also ends the table).
std::vector<uint32_t> DcxReadTable(TStream* Stream, int64_t Limit);
// Each page's bytes: up to the nearest greater position of another page, or to StreamEnd (both relative
// to the DCX start).
std::vector<int64_t> DcxPageSizes(const std::vector<uint32_t>& Table, int64_t StreamEnd);
// Run-length codes Count bytes of Source taken every Step bytes from Offset; an odd Count gets a 0 byte
// so that the line keeps its even length. Dest needs 2 * Count + 2 bytes. Returns the bytes written.
int32_t PcxEncodeLine(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t Step, int32_t Offset);

void QxRegisterPcxCodecs();
