#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "base/DurableFile.h"
#include "base/Exception.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

mode_t ModeOf(const fs::path& p) {
  struct stat st;
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(DurableFile, ReplacesTheTargetWithAnExactCopy) {
  TempDir dir;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  WriteFileBytes(dir.file("src"), bytes);
  WriteFileBytes(dir.file("dst"), "old content");
  ReplaceFileWithCopy(dir.file("src"), dir.file("dst"));
  EXPECT_EQ(ReadFileBytes(dir.file("dst")), bytes);
  EXPECT_EQ(ModeOf(dir.file("dst")), 0600u);
  // Nothing but the two files is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(DurableFile, AFailedCopyLeavesTheTargetAsItWas) {
  TempDir dir;
  WriteFileBytes(dir.file("dst"), "old content");
  EXPECT_THROW(ReplaceFileWithCopy(dir.file("missing"), dir.file("dst")), EQuillmarError);
  EXPECT_THROW(ReplaceFileWithCopy(dir.path().string(), dir.file("dst")), EQuillmarError);
  EXPECT_EQ(ReadFileBytes(dir.file("dst")), "old content");
  // A target folder that cannot take the file.
  WriteFileBytes(dir.file("src"), "new");
  try {
    ReplaceFileWithCopy(dir.file("src"), dir.file("nofolder/dst"));
    ADD_FAILURE() << "copy into a missing folder succeeded";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot be written"), std::string::npos) << e.what();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(DurableFile, ReplaceWithBytesWritesThemWholeOrLeavesTheTarget) {
  TempDir dir;
  WriteFileBytes(dir.file("quillmar.ini"), "old");
  std::string bytes(3 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + 1);
  ReplaceFileWithBytes(dir.file("quillmar.ini"), bytes);
  EXPECT_TRUE(ReadFileBytes(dir.file("quillmar.ini")) == bytes);
  EXPECT_EQ(ModeOf(dir.file("quillmar.ini")), 0600u);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
  ReplaceFileWithBytes(dir.file("empty"), "");
  EXPECT_EQ(ReadFileBytes(dir.file("empty")), "");

  // A target that cannot be replaced (a folder of that name): the error names it, nothing is left.
  fs::create_directory(dir.path() / "taken");
  WriteFileBytes((dir.path() / "taken" / "inside").string(), "x");
  try {
    ReplaceFileWithBytes(dir.file("taken"), "new");
    ADD_FAILURE() << "a folder was replaced by a file";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("taken"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFileBytes((dir.path() / "taken" / "inside").string()), "x");
  EXPECT_EQ(EntriesIn(dir.path()), 3u);
  EXPECT_THROW(ReplaceFileWithBytes(dir.file("nofolder/x"), "new"), EQuillmarError);
}

TEST(DurableFile, FolderSyncAndTheTransferLoops) {
  TempDir dir;
  EXPECT_TRUE(SyncFolderOf(dir.file("anything")));
  EXPECT_FALSE(SyncFolderOf(dir.file("missing/anything")));
  // A name without a folder is synced in the current folder.
  EXPECT_TRUE(SyncFolderOf("plain-name"));

  // Through a pipe, writes and reads come in pieces smaller than asked for; the loops join them.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string bytes(50000, 'q');
  ASSERT_EQ(::fcntl(fds[1], F_SETFL, 0), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    const bool ok = WriteAll(fds[1], bytes.data(), bytes.size());
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  std::string got(bytes.size() + 10, '\0');
  EXPECT_EQ(ReadAll(fds[0], got.data(), got.size()), static_cast<int64_t>(bytes.size()));
  got.resize(bytes.size());
  EXPECT_EQ(got, bytes);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(WriteAll(-1, "x", 1));
  EXPECT_EQ(ReadAll(-1, got.data(), 1), -1);
}

TEST(DurableFile, ReplaceFileTakesWhatTheFillWritesAndHonoursItsOutcome) {
  TempDir dir;
  const std::string target = dir.file("target");
  WriteFileBytes(target, "old content");

  // The stream can be written, sought, read back and resized before the file is put in place.
  EXPECT_TRUE(ReplaceFile(target, [](TStream& out) {
    EXPECT_EQ(out.Size(), 0);
    out.WriteString("hello world, and more");
    out.SetSize(11);
    out.Seek(0, TSeekOrigin::Begin);
    EXPECT_EQ(out.ReadString(5), "hello");
    out.Seek(6, TSeekOrigin::Begin);
    out.WriteString("WORLD");
    return true;
  }));
  EXPECT_EQ(ReadFileBytes(target), "hello WORLD");
  EXPECT_EQ(ModeOf(target), 0600u);

  // A fill that gives up, or throws, leaves the target and no temporary file.
  EXPECT_FALSE(ReplaceFile(target, [](TStream& out) {
    out.WriteString("half");
    return false;
  }));
  try {
    ReplaceFile(target, [](TStream& out) -> bool {
      out.WriteString("half");
      throw EUnreadableData("source damaged", 4);
    });
    ADD_FAILURE() << "the fill's exception was swallowed";
  } catch (const EUnreadableData& e) {
    // Passed through as it was thrown: callers tell a damaged source from a failed write.
    EXPECT_EQ(e.Offset(), 4);
  }
  EXPECT_EQ(ReadFileBytes(target), "hello WORLD");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);

  // Another mode is given to the file (the umask still applies).
  const mode_t mask = ::umask(022);
  ReplaceFileWithBytes(dir.file("shared"), "x", 0644);
  ::umask(mask);
  EXPECT_EQ(ModeOf(dir.file("shared")), 0644u);
}

TEST(DurableFile, AFileWithANameAsLongAsTheSystemAllowsIsReplaced) {
  // The temporary name beside it must not grow past the limit on a name's length.
  TempDir dir;
  std::string name(63, 'n');
  name += "\xc3\xa9\xc3\xa9\xc3\xa9";  // a character across the first 64 bytes
  name += std::string(255 - name.size(), 'e');
  const std::string target = (dir.path() / name).string();
  WriteFileBytes(target, "old");
  ReplaceFileWithBytes(target, "new");
  EXPECT_EQ(ReadFileBytes(target), "new");
  WriteFileBytes(dir.file("src"), "copied");
  EXPECT_TRUE(ReplaceFileWithCopy(dir.file("src"), target));
  EXPECT_EQ(ReadFileBytes(target), "copied");
  EXPECT_EQ(EntriesIn(dir.path()), 2u);
}

TEST(DurableFile, AWriteThatFailsHalfwayNamesTheTargetAndLeavesItAsItWas) {
  TempDir dir;
  const std::string target = dir.file("target");
  WriteFileBytes(target, "old content");
  // In a child whose files may not grow past 4 KiB, writes fail (EFBIG) part of the way through.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      4096, 4096
    };
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    int code = 1;
    try {
      ReplaceFileWithBytes(target, std::string(100000, 'x'));
    } catch (const EDurableFileError& e) {
      const std::string message = e.what();
      const bool named = message.find("The file " + target + " cannot be written: ") == 0;
      code = named && !e.Reason().empty() && message.find(e.Reason()) != std::string::npos ? 0 : 2;
    } catch (...) {
      code = 3;
    }
    // The same through a fill that writes piece by piece.
    try {
      ReplaceFile(target, [](TStream& out) {
        const std::string piece(1000, 'y');
        for (int i = 0; i < 10; ++i) out.WriteBuffer(piece.data(), int64_t(piece.size()));
        return true;
      });
      code = code ? code : 4;
    } catch (const EDurableFileError&) {
    } catch (...) {
      code = code ? code : 5;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileBytes(target), "old content");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace quillmar
