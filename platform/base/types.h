#pragma once
// Points, sizes and rectangles. Rectangles exclude their right and bottom edge.
#include <algorithm>
#include <cstdint>

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int32_t AX, int32_t AY) : X(AX), Y(AY) {}
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  constexpr TSize() = default;
  constexpr TSize(int32_t ACx, int32_t ACy) : cx(ACx), cy(ACy) {}
  friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int32_t ALeft, int32_t ATop, int32_t ARight, int32_t ABottom)
      : Left(ALeft), Top(ATop), Right(ARight), Bottom(ABottom) {}
  constexpr int32_t Width() const { return Right - Left; }
  constexpr int32_t Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TPoint Point(int32_t X, int32_t Y) { return {X, Y}; }
constexpr TRect Rect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  return {Left, Top, Right, Bottom};
}
constexpr TRect Bounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  return {Left, Top, Left + Width, Top + Height};
}

constexpr bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

// Dest becomes the common part of A and B, or all zero when they do not meet; true when not empty.
constexpr bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B) {
  TRect R(std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom));
  if (IsRectEmpty(R)) {
    Dest = TRect();
    return false;
  }
  Dest = R;
  return true;
}

// Dest becomes the smallest rectangle holding both; an empty rectangle does not count.
constexpr bool UnionRect(TRect& Dest, const TRect& A, const TRect& B) {
  if (IsRectEmpty(A)) {
    Dest = IsRectEmpty(B) ? TRect() : B;
  } else if (IsRectEmpty(B)) {
    Dest = A;
  } else {
    Dest = TRect(std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
                 std::max(A.Bottom, B.Bottom));
  }
  return !IsRectEmpty(Dest);
}

constexpr bool OffsetRect(TRect& R, int32_t DX, int32_t DY) {
  R.Left += DX;
  R.Right += DX;
  R.Top += DY;
  R.Bottom += DY;
  return true;
}

constexpr bool InflateRect(TRect& R, int32_t DX, int32_t DY) {
  R.Left -= DX;
  R.Right += DX;
  R.Top -= DY;
  R.Bottom += DY;
  return true;
}

constexpr bool PtInRect(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

constexpr bool EqualRect(const TRect& A, const TRect& B) { return A == B; }
