#include "imaging/foundation/qx_lists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/base/streams.h"

TEST(QxList, CapacityGrowsByDoublingAndShrinksOnDelete) {
  TQxIntegerList L;
  std::vector<int32_t> Caps;
  for (int32_t I = 0; I < 5; ++I) {
    L.AddValue(I * 10);
    Caps.push_back(L.Capacity());
  }
  EXPECT_EQ(Caps, (std::vector<int32_t>{1, 2, 4, 4, 8}));
  TQxIntegerList M;
  for (int32_t I = 0; I < 4; ++I) M.AddValue(I);
  M.SetCount(10);
  EXPECT_EQ(M.Capacity(), 10);
  EXPECT_EQ(M.GetItem(3), 3);

  L.Delete(-1);
  L.Delete(L.Count());
  EXPECT_EQ(L.Count(), 5);
  L.Delete(1);
  EXPECT_EQ(L.Count(), 4);
  EXPECT_EQ(L.Capacity(), 4);
  EXPECT_EQ(L.GetItem(1), 20);
  TQxIntegerList One;
  One.AddValue(1);
  One.Delete(0);
  EXPECT_EQ(One.Count(), 0);
  EXPECT_EQ(One.Capacity(), 0);
}

TEST(QxList, CopyFromTakesItemsExtrasAndExactCapacity) {
  TQxDoubleList Src;
  for (double D : {1.5, 2.5, 3.5}) Src.AddValue(D);
  Src.Extra[2] = 9;
  TQxDoubleList Dst;
  Dst.SetCount(100);
  Dst.CopyFrom(nullptr);
  EXPECT_EQ(Dst.Count(), 100);
  Dst.CopyFrom(&Src);
  EXPECT_EQ(Dst.Count(), 3);
  EXPECT_EQ(Dst.Capacity(), 3);
  EXPECT_EQ(Dst.Extra[2], 9);
  Dst.AddValue(4.5);
  EXPECT_EQ(Dst.Capacity(), 6);
  EXPECT_EQ(Dst.GetItem(2), 3.5);
  Dst.Clear();
  EXPECT_EQ(Dst.ItemSize(), 8);
  EXPECT_EQ(Dst.Extra[2], 0);

  struct TRec { int32_t A; int16_t B; };
  TQxRecordList R(sizeof(TRec));
  TRec In{7, 3};
  R.Add(&In);
  EXPECT_EQ(static_cast<TRec*>(R.GetItem(0))->A, 7);
}

TEST(QxByteArray, GrowsInBlocksAndAppendsOnlyWhatWasRead) {
  TQxByteArray A(16);
  EXPECT_EQ(A.Capacity(), 16);
  for (int I = 0; I < 17; ++I) A.AddByte(static_cast<uint8_t>(I));
  EXPECT_EQ(A.Capacity(), 33);
  A.SetByteCount(2);  // far below: shrinks to size + block
  EXPECT_EQ(A.Capacity(), 18);
  EXPECT_EQ(A.Data()[1], 1);

  TMemoryStream M;
  M.WriteBuffer("xyz", 3);
  M.SetPosition(0);
  EXPECT_EQ(A.AppendFromStream(&M, 10), 3);
  EXPECT_EQ(A.Size(), 5);
  EXPECT_EQ(std::memcmp(A.Data(), "\x00\x01xyz", 5), 0);
  // A huge count against a short stream allocates nothing extra.
  EXPECT_EQ(A.AppendFromStream(&M, 0x7FFFFFF0), 0);
  EXPECT_EQ(A.Size(), 5);
}

namespace {
class TAddThread : public TThread {
 public:
  TAddThread(std::atomic<int>* Sum, int V) : TThread(true), FSum(Sum), FV(V) {}

 protected:
  void Execute() override { *FSum += FV; }

 private:
  std::atomic<int>* FSum;
  int FV;
};
}  // namespace

TEST(QxThreadPool, StartsOnAddAndWaitsForAll) {
  std::atomic<int> Sum{0};
  {
    TQxThreadPool P;
    for (int I = 1; I <= 4; ++I) P.Add(new TAddThread(&Sum, I));
    P.WaitAll();
    EXPECT_EQ(Sum, 10);
    EXPECT_EQ(P.Count(), 0);
    P.Add(new TAddThread(&Sum, 5));
  }  // the destructor waits too
  EXPECT_EQ(Sum, 15);
  EXPECT_GE(QxProcessorCoreCount(), 1);

  TQxWideStrings W;
  W.Add("a/ü.png");
  EXPECT_EQ(W.GetItem(0), "a/ü.png");
  EXPECT_THROW(W.GetItem(1), EListError);
}
