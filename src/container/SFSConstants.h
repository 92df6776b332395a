#pragma once
// The container engine's open-mode bits and error codes, defined once. The engine's classes take them
// over by deriving from TSFSConstants, so that TPageFileManager::fmCreate, TSingleFileSystem::ErrNoSpace
// and TDIRManager::ErrNoSpace are one and the same constant.
#include <cstdint>

namespace quillmar {

struct TSFSConstants {
  // --- Open modes --------------------------------------------------------------------------------------
  // The low two bits say how a container or a file in it is opened: none set is read-only.
  static constexpr uint32_t fmReadOnly = 0;
  static constexpr uint32_t fmWrite = 1;
  static constexpr uint32_t fmReadWrite = 2;
  static constexpr uint32_t fmAccessMask = 3;
  // An exclusive lock on the container.
  static constexpr uint32_t fmExclusive = 0x10;
  // Read-only with the others allowed to read but not to write: a shared lock.
  static constexpr uint32_t fmShareDenyWrite = 0x20;
  // Creates (read/write, exclusive), replacing what has that name.
  static constexpr uint32_t fmCreate = 0xFFFF;
  // The mode a container (or a file in it) is changed through: read/write under an exclusive lock.
  static constexpr uint32_t fmReadWriteExclusive = fmReadWrite | fmExclusive;

  // --- Error codes (LastError) ---------------------------------------------------------------------------
  static constexpr int32_t ErrNone = 0;
  static constexpr int32_t ErrUnknownHandle = -6;    // no open file has this handle
  static constexpr int32_t ErrReadPageHeader = -7;   // page header could not be read in full
  static constexpr int32_t ErrWritePageHeader = -8;  // page header could not be written in full
  static constexpr int32_t ErrReadPageData = -9;     // payload could not be read in full
  static constexpr int32_t ErrWritePageData = -10;   // payload could not be written in full
  static constexpr int32_t ErrChecksum = -11;        // payload checksum mismatch
  static constexpr int32_t ErrDecrypt = -12;         // unknown encryption type, or no key to decrypt with
  static constexpr int32_t ErrEncrypt = -13;         // no key to encrypt with
  static constexpr int32_t ErrNoPageBuffer = -14;
  static constexpr int32_t ErrRenameFailed = -15;
  static constexpr int32_t ErrCannotReplace = -16;  // an existing file could not be replaced
  static constexpr int32_t ErrNoSpace = -17;        // the container could not grow

  // Results of the directory's searches (FindFirst/FindNext), positive as the system's own.
  static constexpr int ErrPathNotFound = 3;
  static constexpr int ErrInvalidHandle = 6;
  static constexpr int ErrNoMoreFiles = 18;
};

// True when a container or a file opened with this mode may not be written.
constexpr bool IsReadOnlyMode(uint32_t mode) {
  return (mode & TSFSConstants::fmAccessMask) == 0;
}

}  // namespace quillmar
