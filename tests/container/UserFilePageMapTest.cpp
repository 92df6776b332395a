#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "container/FreeSpaceManager.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "container/UserFilePageMapManager.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

struct Container {
  test::TempDir dir;
  std::unique_ptr<TPageFileManager> pfm;
  std::unique_ptr<TFreeSpaceManager> fsm;
  std::unique_ptr<TUserFilePageMapManager> maps;

  Container() { Open(true); }
  void Open(bool create) {
    maps.reset();
    fsm.reset();
    pfm.reset();
    pfm = std::make_unique<TPageFileManager>(dir.file("maps.qvt"), -1, 8, 2048, false, "", "", "pw",
                                             create ? TPageFileManager::fmCreate : 18u);
    fsm = std::make_unique<TFreeSpaceManager>(*pfm);
    maps = std::make_unique<TUserFilePageMapManager>(*pfm, *fsm);
  }
};

TEST(UserFilePageMap, PageAndMapCountsFollowTheSize) {
  Container c;
  const int32_t D = c.pfm->PageDataSize();
  ASSERT_EQ(D, 2016);
  ASSERT_EQ(c.maps->EntriesPerMapPage(), 504);

  TDIRItem a;
  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2016));
  const std::vector<int32_t>* m;
  const std::vector<int32_t>* d;
  c.maps->GetMaps(a, m, d);
  EXPECT_EQ(m->size(), 1u);
  EXPECT_EQ(d->size(), 1u);
  EXPECT_EQ(a.FileSize, 2016);

  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2017));
  c.maps->GetMaps(a, m, d);
  EXPECT_EQ(m->size(), 1u);
  EXPECT_EQ(d->size(), 2u);

  // The 505th data page starts a second map page.
  ASSERT_TRUE(c.maps->SetFileSize(a, true, int64_t(504) * D));
  c.maps->GetMaps(a, m, d);
  EXPECT_EQ(m->size(), 1u);
  ASSERT_TRUE(c.maps->SetFileSize(a, true, int64_t(504) * D + 1));
  c.maps->GetMaps(a, m, d);
  EXPECT_EQ(m->size(), 2u);
  EXPECT_EQ(d->size(), 505u);

  // Every page is distinct and marked used.
  std::set<int32_t> all(m->begin(), m->end());
  all.insert(d->begin(), d->end());
  EXPECT_EQ(all.size(), m->size() + d->size());
  for (int32_t p : all) EXPECT_FALSE(c.fsm->IsPageFree(p)) << p;
}

TEST(UserFilePageMap, ChainsReadBackFromDiskAfterReopen) {
  Container c;
  TDIRItem a, b;
  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2016 * 600));
  ASSERT_TRUE(c.maps->SetFileSize(b, true, 2016 * 3));
  // Interleave growth so that the two files' pages are mixed.
  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2016 * 1100 + 5));
  const std::vector<int32_t>* m;
  const std::vector<int32_t>* d;
  c.maps->GetMaps(a, m, d);
  std::vector<int32_t> mapsA = *m, dataA = *d;
  EXPECT_EQ(mapsA.size(), 3u);
  EXPECT_EQ(dataA.size(), 1101u);

  c.Open(false);
  c.maps->GetMaps(a, m, d);
  EXPECT_EQ(*m, mapsA);
  EXPECT_EQ(*d, dataA);

  std::vector<int32_t> range;
  ASSERT_TRUE(c.maps->GetPagesForRange(a, false, 10, 2010, range));
  EXPECT_EQ(range, (std::vector<int32_t>{dataA[0], dataA[1]}));
  ASSERT_TRUE(c.maps->GetPagesForRange(a, false, 1, 2016 * 1100 + 4, range));
  EXPECT_EQ(range, (std::vector<int32_t>{dataA[1100]}));
}

TEST(UserFilePageMap, ShrinkingFreesPagesAndDropsTheMapAtZero) {
  Container c;
  TDIRItem a;
  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2016 * 510));
  const std::vector<int32_t>* m;
  const std::vector<int32_t>* d;
  c.maps->GetMaps(a, m, d);
  std::vector<int32_t> mapsBefore = *m, dataBefore = *d;

  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2016 * 10));
  c.maps->GetMaps(a, m, d);
  EXPECT_EQ(m->size(), 1u);
  EXPECT_EQ(d->size(), 10u);
  EXPECT_TRUE(c.fsm->IsPageFree(mapsBefore[1]) || mapsBefore[1] >= c.pfm->TotalPageCount());
  for (size_t j = 10; j < dataBefore.size(); ++j)
    EXPECT_TRUE(c.fsm->IsPageFree(dataBefore[j]) || dataBefore[j] >= c.pfm->TotalPageCount());

  ASSERT_TRUE(c.maps->SetFileSize(a, true, 0));
  EXPECT_EQ(a.FirstMapPageNo, -1);
  EXPECT_EQ(a.FileSize, 0);
  EXPECT_EQ(c.fsm->HighestUsedPage(), 3);  // only PFS, GAM and SGAM remain in use
  EXPECT_THROW(c.maps->DeletePagesFromEOF(a, 1), ESFSError);
}

TEST(UserFilePageMap, DamagedChainsRaiseTheirMessages) {
  Container c;
  TDIRItem a;
  ASSERT_TRUE(c.maps->SetFileSize(a, true, 2016 * 600));
  // Claim more pages than the chain holds: the chain ends early.
  TDIRItem bigger = a;
  bigger.FileSize = int64_t(2016) * 2000;
  c.maps->ClearCaches();
  try {
    const std::vector<int32_t>* m;
    const std::vector<int32_t>* d;
    c.maps->GetMaps(bigger, m, d);
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
  }
  // A size no container can hold (a damaged item) is refused the same way, without allocating for it.
  TDIRItem absurd = a;
  absurd.FileSize = int64_t(1) << 52;
  c.maps->ClearCaches();
  try {
    const std::vector<int32_t>* m;
    const std::vector<int32_t>* d;
    c.maps->GetMaps(absurd, m, d);
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
  }
  TDIRItem none;
  try {
    const std::vector<int32_t>* m;
    const std::vector<int32_t>* d;
    c.maps->GetMaps(none, m, d);
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.FirstMapPageNo");
  }
  EXPECT_THROW(c.maps->AppendPages(a, 0, false), ESFSError);
}

}  // namespace
}  // namespace quillmar
