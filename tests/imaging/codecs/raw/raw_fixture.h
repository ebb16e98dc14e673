#pragma once
// Running identification and single loaders over synthetic files in memory.
#include <memory>

#include "imaging/codecs/raw/camera_raw_internal.h"
#include "platform/base/streams.h"
#include "raw_builder.h"

namespace rawtest {

struct RawRun {
  TMemoryStream S;
  std::unique_ptr<TQxRawContext> C = std::make_unique<TQxRawContext>();
  explicit RawRun(const Bytes& File) {
    if (!File.empty()) S.Write(File.data(), int64_t(File.size()));
    S.SetPosition(0);
    C->Stream = &S;
    C->FileSize = int64_t(File.size());
  }
  int Identify() {
    QxRawPrepareContext(*C);
    return identify_camera(*C);
  }
  // A store of the visible size for a loader run directly.
  void Store(int High, int Wide, uint32_t Pattern) {
    C->ImageHeight = C->StoreHeight = High;
    C->ImageWidth = C->StoreWidth = Wide;
    if (!C->SensorHeight) C->SensorHeight = High;
    if (!C->SensorWidth) C->SensorWidth = Wide;
    C->CfaPattern = Pattern;
    C->PastEnd = 0;
    C->AllocateStore(int64_t(High) * Wide);
  }
  // The value of the photosite's own colour.
  int At(int Row, int Col) const { return C->Pixels[size_t(Row) * C->StoreWidth + Col][C->ColorAt(Row, Col)]; }
  const uint16_t* Cell(int Row, int Col) const { return C->Pixels[size_t(Row) * C->StoreWidth + Col]; }
};

}  // namespace rawtest
