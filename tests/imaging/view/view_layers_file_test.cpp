// The layers file: its byte layout, round trips of every field and pixel, older versions, detection, the
// road through the I/O component, and damaged files.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/zstreams.h"
#include "platform/base/streams.h"
#include "view_fixture.h"

namespace {

int32_t I32(const TMemoryStream& S, int64_t At) {
  int32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(S.Memory()) + At, 4);
  return v;
}
int64_t I64(const TMemoryStream& S, int64_t At) {
  int64_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(S.Memory()) + At, 8);
  return v;
}

// A base picture and a named, translucent, positioned second layer with user data, not selectable.
std::unique_ptr<TQuillotView> TwoLayers() {
  auto v = MakeView(30, 20, 60, 40);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) v->CurrentBitmap()->SetPixel24(x, y, TQxRGB{uint8_t(x), uint8_t(y), 77});
  v->AddLayer();
  TQxLayer* l = v->CurrentLayer();
  l->Bitmap->Allocate(7, 5, TQxPixelFormat::qx24RGB);
  l->Bitmap->Fill(0x123456);
  l->Bitmap->SetAlpha(3, 2, 40);
  l->PosX = -4;
  l->PosY = 9;
  l->Opacity = 200;
  l->Name = "Schatten";
  l->Aux.Rate = 3.5;
  l->Aux.Source = 0;
  l->BlendOperation = 5;
  l->IsMask = false;
  l->DimOutside = true;
  l->Visible = false;
  l->UserData = std::malloc(3);
  std::memcpy(l->UserData, "abc", 3);
  l->UserDataLen = 3;
  l->Selectable = false;
  v->SetCurrentLayer(0);
  return v;
}

}  // namespace

TEST(LayersFile, OneLayerUncompressedLaysOutHeaderRecordAndBitmap) {
  auto v = MakeView(4, 3, 10, 10);
  v->CurrentLayer()->Name = "ab";
  TMemoryStream s;
  v->SaveLayersToStream(&s, -2);
  ASSERT_GE(s.Size(), 25 + 57 + 2 + 4);
  EXPECT_EQ(std::memcmp(s.Memory(), "QUILLOTLAYERS", 13), 0);
  EXPECT_EQ(I32(s, 13), 6);
  EXPECT_EQ(I32(s, 17), -2);
  EXPECT_EQ(I32(s, 21), 1);
  const int64_t recordEnd = 25 + 57 + 2;
  EXPECT_EQ(I64(s, recordEnd - 8), recordEnd);  // the bitmap follows the only record
  EXPECT_EQ(int64_t(I32(s, recordEnd)) + recordEnd + 4, s.Size());
  s.SetPosition(0);
  EXPECT_TRUE(QxIsLayersStream(&s));
  EXPECT_EQ(s.Position(), 0);
}

TEST(LayersFile, EveryFieldAndPixelSurvivesBothCompressions) {
  for (int32_t compression : {-1, -2, int32_t(qxffPNG)}) {
    auto src = TwoLayers();
    TMemoryStream s;
    src->SaveLayersToStream(&s, compression);
    EXPECT_EQ(src->CurrentLayerIndex(), 0) << "the current layer is put back";
    EXPECT_TRUE(src->RespectSelectable);

    auto dst = MakeView(5, 5, 60, 40);
    dst->AddLayer();
    dst->AddLayer();  // more layers than the file: the extra ones go
    s.SetPosition(0);
    ASSERT_TRUE(dst->LoadLayersFromStream(&s)) << compression;
    ASSERT_EQ(dst->LayerCount(), 2);
    EXPECT_EQ(dst->CurrentLayerIndex(), 1) << "the last layer read stays current";
    TQxBitmap* b0 = dst->GetLayer(0)->Bitmap;
    ASSERT_EQ(b0->Width(), 30) << compression;
    EXPECT_EQ(b0->GetPixel24(29, 19), (TQxRGB{29, 19, 77}));
    const TQxLayer* l = dst->GetLayer(1);
    EXPECT_EQ(l->PosX, -4);
    EXPECT_EQ(l->PosY, 9);
    EXPECT_EQ(l->Opacity, 200);
    EXPECT_EQ(l->Name, "Schatten");
    EXPECT_EQ(l->Aux.Rate, 3.5);
    EXPECT_EQ(l->Aux.Source, 0);
    EXPECT_EQ(l->BlendOperation, 5);
    EXPECT_TRUE(l->DimOutside);
    EXPECT_FALSE(l->Visible);
    EXPECT_FALSE(l->Selectable);
    ASSERT_EQ(l->UserDataLen, 3);
    EXPECT_EQ(std::memcmp(l->UserData, "abc", 3), 0);
    ASSERT_EQ(l->Bitmap->Width(), 7);
    EXPECT_EQ(l->Bitmap->GetPixel24(6, 4), (TQxRGB{0x12, 0x34, 0x56}));
    EXPECT_EQ(l->Bitmap->GetAlpha(3, 2), 40) << compression;
    EXPECT_EQ(l->Bitmap->GetAlpha(0, 0), 255);
  }
}

TEST(LayersFile, TiffIsStoredAsPng) {
  auto v = TwoLayers();
  TMemoryStream s;
  v->SaveLayersToStream(&s, qxffTIFF);
  EXPECT_EQ(I32(s, 17), qxffPNG);
  const int64_t first = I64(s, 25 + 57 - 8);  // layer 0 has no name and no user data
  ASSERT_GT(first, 0);
  ASSERT_LT(first + 8, s.Size());
  EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(s.Memory()) + first, "\x89PNG", 4), 0);
}

TEST(LayersFile, WrongMagicAndVersionZeroChangeNothing) {
  auto v = TwoLayers();
  TMemoryStream s;
  v->SaveLayersToStream(&s, -2);
  for (int32_t version : {0, -3}) {
    std::memcpy(static_cast<uint8_t*>(s.Memory()) + 13, &version, 4);
    s.SetPosition(0);
    EXPECT_FALSE(QxIsLayersStream(&s));
    EXPECT_FALSE(v->LoadLayersFromStream(&s));
    EXPECT_EQ(v->LayerCount(), 2);
  }
  static_cast<uint8_t*>(s.Memory())[0] = 'X';
  s.SetPosition(0);
  EXPECT_FALSE(v->LoadLayersFromStream(&s));
  EXPECT_EQ(v->LayerCount(), 2);
}

// A version-2 record has 43 bytes: the fields that came later keep the values a new layer has.
TEST(LayersFile, VersionTwoLeavesLaterFieldsAlone) {
  auto v = TwoLayers();
  TMemoryStream s;
  v->SaveLayersToStream(&s, -2);
  // Rebuild the file as version 2: the same header, records cut to their version-2 fields.
  TMemoryStream old;
  auto put = [&](const void* p, int64_t n) { old.WriteBuffer(p, n); };
  put("QUILLOTLAYERS", 13);
  const int32_t two = 2, raw = -2, count = 2;
  put(&two, 4);
  put(&raw, 4);
  put(&count, 4);
  std::vector<int64_t> fixups;
  auto record = [&](const TQxLayer* l) {
    const uint8_t vis = l->Visible, box = l->ShowBox, clip = l->ClipToBase, locked = l->Locked;
    put(&vis, 1);
    put(&box, 1);
    put(&l->Opacity, 4);
    put(&l->PosX, 4);
    put(&l->PosY, 4);
    put(&clip, 1);
    put(&locked, 1);
    put(&l->Aux.Flag, 1);
    put(&l->Aux.Rate, 8);
    put(&l->Aux.Style, 1);
    put(&l->BlendOperation, 1);
    put(&l->Width, 4);
    put(&l->Height, 4);
    fixups.push_back(old.Position());
    const int64_t zero = 0;
    put(&zero, 8);
  };
  record(v->GetLayer(0));
  record(v->GetLayer(1));
  EXPECT_EQ(old.Position(), 25 + 2 * 43);
  for (int i = 0; i < 2; ++i) {
    TMemoryStream bits;
    v->GetLayer(i)->Bitmap->SaveRawToStream(&bits);
    const int64_t at = old.Position();
    old.SetPosition(fixups[size_t(i)]);
    put(&at, 8);
    old.SetPosition(at);
    const int32_t len = int32_t(bits.Size());
    put(&len, 4);
    put(bits.Memory(), len);
  }
  auto dst = MakeView(5, 5, 60, 40);
  old.SetPosition(0);
  ASSERT_TRUE(dst->LoadLayersFromStream(&old));
  const TQxLayer* l = dst->GetLayer(1);
  EXPECT_EQ(l->PosX, -4);
  EXPECT_EQ(l->Aux.Rate, 3.5);
  EXPECT_EQ(l->Name, "");
  EXPECT_EQ(l->Aux.Source, 1);
  EXPECT_TRUE(l->Selectable);
  EXPECT_FALSE(l->DimOutside);
  EXPECT_EQ(l->Bitmap->GetPixel24(0, 0), (TQxRGB{0x12, 0x34, 0x56}));
}

// A layer count far beyond the data, names and user data longer than the file, and bitmap offsets past
// its end load what is there and stop.
TEST(LayersFile, DamagedFilesLoadWhatTheyHold) {
  auto v = TwoLayers();
  TMemoryStream s;
  v->SaveLayersToStream(&s, -1);
  auto* m = static_cast<uint8_t*>(s.Memory());
  const int32_t huge = 1 << 30;
  std::memcpy(m + 21, &huge, 4);
  auto dst = MakeView(5, 5, 60, 40);
  s.SetPosition(0);
  EXPECT_TRUE(dst->LoadLayersFromStream(&s));
  EXPECT_LE(dst->LayerCount(), 3);

  // Cut in the middle of the second record.
  TMemoryStream cut;
  cut.WriteBuffer(s.Memory(), 25 + 57 + 20);
  cut.SetPosition(0);
  EXPECT_TRUE(dst->LoadLayersFromStream(&cut));
  EXPECT_EQ(dst->LayerCount(), 2);

  // Layer 1's name length (38 bytes into its record, which follows layer 0's 57) points past the end.
  TMemoryStream name;
  name.WriteBuffer(s.Memory(), s.Size());
  const int32_t longName = 1 << 28;
  std::memcpy(static_cast<uint8_t*>(name.Memory()) + 25 + 57 + 38, &longName, 4);
  name.SetPosition(0);
  EXPECT_TRUE(dst->LoadLayersFromStream(&name));
  EXPECT_EQ(dst->GetLayer(0)->Bitmap->Width(), 30);
  EXPECT_NE(dst->GetLayer(dst->LayerCount() - 1)->Name.size(), size_t(1) << 28);
}

// A compressed layer bitmap is inflated no further than its raw header says, and one stating more pixels
// than the view's reader allows is not loaded.
TEST(LayersFile, CompressedLayersStopAtTheirStatedSizeAndThePixelLimit) {
  auto v = MakeView(4, 3, 10, 10);
  v->CurrentBitmap()->Fill(0x405060);
  TMemoryStream s;
  v->SaveLayersToStream(&s, -1);
  const int64_t at = I64(s, 25 + 57 - 8);
  const int32_t len = I32(s, at);
  ASSERT_EQ(at + 4 + len, s.Size());
  uint8_t* raw = nullptr;
  int32_t rawLen = 0;
  ZDecompressBuffer(static_cast<const uint8_t*>(s.Memory()) + at + 4, len, raw, 0, rawLen);
  // The same pixels followed by 64 MB of zeros, which only a reader ignoring the header would inflate.
  std::vector<uint8_t> bomb(raw, raw + rawLen);
  delete[] raw;
  bomb.resize(bomb.size() + (64 << 20));
  TMemoryStream file;
  file.WriteBuffer(s.Memory(), at);
  TMemoryStream packed;
  {
    TZCompressionStream z(packed, 3);
    z.Write(bomb.data(), int64_t(bomb.size()));
  }
  const int32_t packedLen = int32_t(packed.Size());
  file.WriteBuffer(&packedLen, 4);
  file.WriteBuffer(packed.Memory(), packed.Size());
  for (int64_t limit : {QxDefaultMaxPixels, int64_t(11)}) {
    SCOPED_TRACE(limit);
    auto dst = MakeView(5, 5, 10, 10);
    dst->GetIO()->Params->MaxPixels = limit;
    file.SetPosition(0);
    EXPECT_TRUE(dst->LoadLayersFromStream(&file));
    TQxBitmap* b = dst->GetLayer(0)->Bitmap;
    if (limit == 11) {
      EXPECT_NE(b->Width(), 4);
    } else {
      ASSERT_EQ(b->Width(), 4);
      EXPECT_EQ(b->GetPixel24(3, 2), (TQxRGB{0x40, 0x50, 0x60}));
    }
  }
}

TEST(LayersFile, TheIOComponentFlattensAFileWithoutAView) {
  auto v = TwoLayers();
  v->GetLayer(1)->Visible = true;
  v->GetLayer(1)->Opacity = 255;
  v->GetLayer(1)->PosX = 2;
  v->GetLayer(1)->BlendOperation = 0;
  const std::string path = std::filesystem::temp_directory_path() / ("layers_" + std::to_string(getpid()) + ".lyr");
  v->SaveLayersToFile(path, -1);
  TQxBitmap target;
  TQuillotIO io(&target);
  io.LoadFromFile(path);
  EXPECT_FALSE(io.Aborting.load());
  EXPECT_EQ(io.Params->FileType, qxffLayers);
  ASSERT_EQ(target.Width(), 30);
  // The second layer over the base at full alpha and opacity: its own colour.
  EXPECT_EQ(target.GetPixel24(3, 10), (TQxRGB{0x12, 0x34, 0x56}));
  EXPECT_EQ(target.GetPixel24(20, 2), (TQxRGB{20, 2, 77}));

  // Attached to a view, the view takes the layers themselves.
  auto w = MakeView(5, 5, 60, 40);
  w->GetIO()->LoadFromFile(path);
  EXPECT_EQ(w->LayerCount(), 2);
  std::filesystem::remove(path);
}

// A layer bitmap "stored" in a format that turns out to be this very layers file again must not load the
// file inside itself without end.
TEST(LayersFile, ALayerThatPointsBackAtTheFileEndsTheLoad) {
  auto v = MakeView(4, 3, 10, 10);
  TMemoryStream s;
  v->SaveLayersToStream(&s, -2);
  auto* m = static_cast<uint8_t*>(s.Memory());
  for (int32_t compression : {0, int32_t(qxffLayers)}) {
    std::memcpy(m + 17, &compression, 4);
    const int64_t zero = 0;
    std::memcpy(m + 25 + 57 - 8, &zero, 8);  // the bitmap offset points at the file's start
    auto dst = MakeView(5, 5, 10, 10);
    s.SetPosition(0);
    EXPECT_TRUE(dst->LoadLayersFromStream(&s));
    EXPECT_EQ(dst->LayerCount(), 1);
  }
}

// The processing component's undo keeps a view's layers as a layers file: undoing puts every layer back.
TEST(LayersFile, UndoOfAllLayersRestoresThem) {
  auto v = TwoLayers();
  TQuillotProc* proc = v->GetProc();
  proc->SetAutoUndo(false);
  proc->SaveUndo(TQxUndoSource::qxuObjectsAndLayers);
  v->AddLayer();
  v->GetLayer(1)->PosX = 50;
  v->GetLayer(0)->Bitmap->Fill(0);
  proc->Undo();
  ASSERT_EQ(v->LayerCount(), 2);
  EXPECT_EQ(v->GetLayer(1)->PosX, -4);
  EXPECT_EQ(v->GetLayer(1)->Name, "Schatten");
  EXPECT_EQ(v->GetLayer(0)->Bitmap->GetPixel24(29, 19), (TQxRGB{29, 19, 77}));
}
