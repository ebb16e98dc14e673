#pragma once
// GIF files: one frame read per call (the I/O component composes animations), one-frame files written,
// and a block walk that counts frames or drops one. The LZW data goes through the coders of lzw.h.

#include <cstdint>

class TStream;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;
struct TQxProgressInfo;

// Reads the frame Params.GifImageIndex names into Bitmap and counts the file's frames into FrameCount.
// A bad file sets Progress's abort flag. Mask receives the frame's transparency (created when nullptr,
// nullptr again when every pixel turns out opaque) unless NoMask.
void ReadGifStream(TStream* Stream, TQxBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                   TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& Mask, bool NoMask);
// Writes Bitmap as a complete one-frame GIF; a missing coder, a picture too large for the format or a
// short write sets the abort flag.
void WriteGifStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
// Drops frame Index (-1: none) and returns the number of frames left; with Save the file is rewritten, but
// only from a walk that reached a clean end. 0 for a file that is not a GIF.
int32_t GifRemoveFrame(const char* FileName, int32_t Index, bool Save);
// Copies Count bytes from Source to Dest, at most as many as Source has left.
void GifCopyBytes(TStream* Dest, TStream* Source, int64_t Count);
