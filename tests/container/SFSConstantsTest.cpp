#include <gtest/gtest.h>

#include "container/DIRManager.h"
#include "container/PageFileManager.h"
#include "container/SFSConstants.h"
#include "container/SingleFileSystem.h"
#include "container/UserFilePageMapManager.h"

namespace quillmar {
namespace {

TEST(SFSConstantsTest, ReadOnlyModeIsOneWithoutAWriteBit) {
  EXPECT_TRUE(IsReadOnlyMode(TSFSConstants::fmReadOnly));
  EXPECT_TRUE(IsReadOnlyMode(TSFSConstants::fmShareDenyWrite));  // the shared lock of a reader
  EXPECT_TRUE(IsReadOnlyMode(TSFSConstants::fmExclusive));       // a lock alone grants no writing
  EXPECT_TRUE(IsReadOnlyMode(TSFSConstants::fmExclusive | TSFSConstants::fmShareDenyWrite));
  EXPECT_FALSE(IsReadOnlyMode(TSFSConstants::fmWrite));
  EXPECT_FALSE(IsReadOnlyMode(TSFSConstants::fmReadWrite));
  EXPECT_FALSE(IsReadOnlyMode(TSFSConstants::fmWrite | TSFSConstants::fmReadWrite));
  EXPECT_FALSE(IsReadOnlyMode(TSFSConstants::fmReadWriteExclusive));
  EXPECT_FALSE(IsReadOnlyMode(TSFSConstants::fmCreate));
}

TEST(SFSConstantsTest, TheModesAndCodesKeepTheirStoredValues) {
  // Callers and stored settings pass these as numbers: their values may not move.
  EXPECT_EQ(TSFSConstants::fmReadWriteExclusive, 18u);
  EXPECT_EQ(TSFSConstants::fmShareDenyWrite, 0x20u);
  EXPECT_EQ(TSFSConstants::fmCreate, 0xFFFFu);
  EXPECT_EQ(TSingleFileSystem::ErrNoSpace, -17);
  // Every layer reports running out of space with the same code.
  EXPECT_EQ(TDIRManager::ErrNoSpace, TSingleFileSystem::ErrNoSpace);
  EXPECT_EQ(TUserFilePageMapManager::ErrNoSpace, TSingleFileSystem::ErrNoSpace);
  EXPECT_EQ(TPageFileManager::fmCreate, TSingleFileSystem::fmCreate);
}

}  // namespace
}  // namespace quillmar
