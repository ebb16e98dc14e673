// Reads arbitrary bytes as a TIFF-structured file into the page editor and writes it back; reads them as a
// maker note of every byte order and position and writes that back too.
#include "fuzz/io_common.inc"
#include "imaging/foundation/tiff_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    FuzzInput in(data, size);
    TQxTIFFHandler h;
    if (h.ReadFromStream(in.Stream) && h.PageCount() > 0) {
      TMemoryStream out;
      h.WriteStream(out, size % 3 == 0 ? 0 : -1);
      TQxTIFFHandler back;
      out.SetPosition(0);
      back.ReadFromStream(out);
    }
  }
  for (bool le : {true, false}) {
    TQxTagsHandler note;
    note.LoadFromBuffer(data, int64_t(size), int64_t(size % 977), le);
    TMemoryStream out;
    out.SetSize(int64_t(size % 31));
    out.SetPosition(out.Size());
    note.SaveToStream(out);
    TQxTagsHandler copy;
    copy.AssignFrom(note);
  }
  return 0;
}
