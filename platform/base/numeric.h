#pragma once
// The exact numeric rules the whole program shares. Round is half-to-even, never std::round.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <concepts>
#include <type_traits>

// Nearest integer, halves to the even neighbour (127.5 -> 128, 178.5 -> 178).
inline int64_t Round(double X) { return static_cast<int64_t>(std::nearbyint(X)); }
inline int64_t Round(long double X) { return static_cast<int64_t>(std::nearbyint(X)); }
inline int64_t Round(float X) { return static_cast<int64_t>(std::nearbyint(static_cast<double>(X))); }

template <std::integral T>
constexpr int64_t Round(T X) { return static_cast<int64_t>(X); }

// Toward zero.
inline int64_t Trunc(double X) { return static_cast<int64_t>(std::trunc(X)); }
inline int64_t Trunc(long double X) { return static_cast<int64_t>(std::trunc(X)); }
inline int64_t Trunc(float X) { return static_cast<int64_t>(std::trunc(static_cast<double>(X))); }

template <std::integral T>
constexpr int64_t Trunc(T X) { return static_cast<int64_t>(X); }

// Toward minus and plus infinity.
inline int64_t Floor(double X) { return static_cast<int64_t>(std::floor(X)); }
inline int64_t Floor(long double X) { return static_cast<int64_t>(std::floor(X)); }
inline int64_t Ceil(double X) { return static_cast<int64_t>(std::ceil(X)); }
inline int64_t Ceil(long double X) { return static_cast<int64_t>(std::ceil(X)); }

// Fractional part with the sign of X.
inline double Frac(double X) { return X - std::trunc(X); }
inline long double Frac(long double X) { return X - std::trunc(X); }
inline double Int(double X) { return std::trunc(X); }

// Integer division and remainder truncate toward zero (the remainder takes the dividend's sign).
template <typename T>
constexpr T Div(T A, T B) {
  static_assert(std::is_integral_v<T>);
  return A / B;
}
template <typename T>
constexpr T Mod(T A, T B) {
  static_assert(std::is_integral_v<T>);
  return A % B;
}

// Logical shift right: a negative value is shifted as its unsigned bit pattern.
constexpr int32_t Shr(int32_t V, unsigned N) { return static_cast<int32_t>(static_cast<uint32_t>(V) >> N); }
constexpr int64_t Shr(int64_t V, unsigned N) { return static_cast<int64_t>(static_cast<uint64_t>(V) >> N); }
constexpr uint32_t Shr(uint32_t V, unsigned N) { return V >> N; }
// Shift left without the undefined behaviour of shifting a negative signed value.
constexpr int32_t Shl(int32_t V, unsigned N) { return static_cast<int32_t>(static_cast<uint32_t>(V) << N); }
constexpr int64_t Shl(int64_t V, unsigned N) { return static_cast<int64_t>(static_cast<uint64_t>(V) << N); }
// Arithmetic shift right (sign kept), where a Part asks for it.
constexpr int32_t Sar(int32_t V, unsigned N) { return V >= 0 ? (V >> N) : ~((~V) >> N); }

template <typename T>
constexpr T Min(T A, T B) { return B < A ? B : A; }
template <typename T>
constexpr T Max(T A, T B) { return A < B ? B : A; }
template <typename T>
constexpr T EnsureRange(T V, T Lo, T Hi) { return V < Lo ? Lo : (V > Hi ? Hi : V); }
template <typename T>
constexpr T Sqr(T V) { return V * V; }
template <typename T>
constexpr int Sign(T V) { return V > T(0) ? 1 : (V < T(0) ? -1 : 0); }

constexpr double Pi = 3.14159265358979323846;

// A x B / C over a 64-bit product, rounded to the nearest integer with halves away from zero; -1 when C
// is 0 or the result does not fit in 32 bits.
constexpr int32_t MulDiv(int32_t A, int32_t B, int32_t C) {
  if (C == 0) return -1;
  int64_t N = static_cast<int64_t>(A) * B;
  int64_t D = C;
  if (D < 0) {
    N = -N;
    D = -D;
  }
  int64_t Q = N >= 0 ? (N + D / 2) / D : -((-N + D / 2) / D);
  if (Q > INT32_MAX || Q < INT32_MIN) return -1;
  return static_cast<int32_t>(Q);
}
