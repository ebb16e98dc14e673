// The desktop's icon of a file, from the MIME database and the icon theme, read through the ICO reader.
#include <gtest/gtest.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/shell_icon.h"
#include "io_test_util.h"

TEST(ShellIcon, TypesByExtension) {
  if (QxMimeTypeOfFile("a.txt").empty()) GTEST_SKIP() << "the shared MIME database is needed";
  const std::pair<const char*, const char*> Cases[] = {{"notes.txt", "text/plain"},
                                                       {"/some/dir/PHOTO.PNG", "image/png"},
                                                       {"archive.tar.gz", "application/x-compressed-tar"},
                                                       {"no-extension", ""}};
  for (const auto& [Name, Type] : Cases) EXPECT_EQ(QxMimeTypeOfFile(Name), Type) << Name;
}

// The icons of a ".txt" and a ".png" file equal the theme's pictures, their clear pixels as alpha 0; a
// screenshot of both over a checkerboard goes beside the test binary.
TEST(ShellIcon, IconsAreTheThemesPicturesWithTheirMask) {
  const std::string TxtIcon = QxMimeIconPath("text/plain"), PngIcon = QxMimeIconPath("image/png");
  if (TxtIcon.empty() || PngIcon.empty() || !qvio::HavePillow()) GTEST_SKIP() << "an icon theme and Pillow are needed";
  EXPECT_NE(TxtIcon, PngIcon);
  TQxBitmap Sheet;
  ASSERT_TRUE(Sheet.Allocate(2 * 40, 40, TQxPixelFormat::qx24RGB));
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 80; ++x) Sheet.SetPixel24(x, y, ((x / 4 + y / 4) & 1) ? TQxRGB{200, 200, 200} : TQxRGB{255, 255, 255});
  int Slot = 0;
  for (const auto& [Name, Theme] : {std::pair{"notes.txt", TxtIcon}, std::pair{"picture.png", PngIcon}}) {
    TQxBitmap B;
    QxShellFileIcon(Name, &B);
    ASSERT_FALSE(B.IsEmpty()) << Name;
    int W = 0, H = 0;
    const auto Want = qvio::PillowPixels(Theme, "RGBA", &W, &H);
    ASSERT_EQ(B.Width(), W);
    ASSERT_EQ(B.Height(), H);
    ASSERT_TRUE(B.HasAlphaChannel()) << Name;
    int Clear = 0;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* w = &Want[size_t(y * W + x) * 4];
        const uint8_t A = B.GetAlphaChannel()->Scanline(y)[x];
        if (w[3] == 0) {
          EXPECT_EQ(A, 0) << Name << " " << x << "," << y;
          ++Clear;
          continue;
        }
        EXPECT_NE(A, 0) << Name << " " << x << "," << y;
        const uint8_t* p = B.Scanline(y) + 3 * x;
        EXPECT_EQ((std::array<int, 3>{p[2], p[1], p[0]}), (std::array<int, 3>{w[0], w[1], w[2]})) << Name << " " << x << "," << y;
        // Over the sheet, weighted by the picture's own alpha.
        if (x < 40 && y < 40) {
          uint8_t* d = Sheet.Scanline(y) + 3 * (Slot * 40 + x);
          for (int c = 0; c < 3; ++c) d[c] = uint8_t((w[2 - c] * w[3] + d[c] * (255 - w[3])) / 255);
        }
      }
    EXPECT_GT(Clear, 0) << Name << ": an icon has clear corners";
    ++Slot;
  }
  TQxBitmap* Out = &Sheet;
  TQuillotIO IO(Out);
  IO.SaveToFile("shell_icons.png");  // beside the test binary
  EXPECT_FALSE(IO.Aborting);
  // A name the desktop knows nothing of still gets the generic icon.
  TQxBitmap G;
  QxShellFileIcon("mystery.qqqzz", &G);
  EXPECT_FALSE(G.IsEmpty());
}
