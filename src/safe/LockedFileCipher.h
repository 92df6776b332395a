#pragma once
// The cipher of locked files: the files of the File Locker are stored in the Safe encrypted under
// the master password, on top of the container's own encryption.
//
// Format (the container file has exactly the length of the plain file):
//  - key: the SHA-1 digest (20 bytes) of the master password's 8-bit text, as a 160-bit Blowfish key;
//  - initial chain value: eight zero bytes encrypted once with the key;
//  - the whole file is one CBC chain of 8-byte blocks: each plain block is XORed with the previous
//    cipher block (the first with the initial value), then encrypted;
//  - when the length is not a multiple of 8, the chain value (the last cipher block, or the initial
//    value for a file shorter than 8 bytes) is encrypted once more and the last 1 to 7 bytes are
//    XORed with the first bytes of the result.
// The chain never restarts, so the bytes do not depend on how the file is cut into pieces.
//
// Streaming: Encrypt, Decrypt and Rekey read the source from its position to its end in pieces of
// pieceSize bytes (8192 by default) and write the result to the destination at its position, in
// pieces of the same size, with memory bounded whatever the file size (a few batches of kBatchSize
// bytes per thread). Key material and plain pieces are wiped.
//
// Threads (WorkerThreadCount(), base/WorkerThreads.h): the source is read on a thread of its own,
// batch after batch, and the destination written on the calling thread, so the disk and the
// container's own cipher work run beside the chain. Decryption needs only the cipher block before
// each block, so the batches of a file are decrypted on all threads at once; encryption is one chain
// and runs on one thread, batch after batch. The bytes written are the same whatever the number of
// threads. With one thread everything runs on the calling thread. Progress is reported on the
// calling thread; when the source, the destination, the progress callback or a cipher step throws,
// the work stops, every thread is joined, and the exception comes out of the call.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "base/Stream.h"

namespace quillmar {

// Called with a whole-number percent (0 to 100) each time it changes; 100 comes last, also for an
// empty source.
using TCipherProgress = std::function<void(int percent)>;

// One chain in one direction. Feed it the file in order: every call but the last must pass a
// multiple of 8 bytes; the last call (final = true) may pass any length, and ends the chain.
class TLockedFileChain {
public:
  enum class TDirection { Encrypt, Decrypt };

  TLockedFileChain(std::string_view password, TDirection direction);
  // The same chaining under a raw Blowfish key (4 to 56 bytes) and an explicit 8-byte initial value.
  TLockedFileChain(const uint8_t* key, size_t keyLength, const uint8_t* initialValue, TDirection direction);
  ~TLockedFileChain();
  TLockedFileChain(const TLockedFileChain&) = delete;
  TLockedFileChain& operator=(const TLockedFileChain&) = delete;

  // Transforms count bytes from in to out; in and out are either the same buffer or do not overlap.
  // REQUIRES: count % 8 == 0 unless final; not called again after a final call.
  // Violations throw std::logic_error.
  void Process(const uint8_t* in, uint8_t* out, size_t count, bool final);
  bool Finished() const { return finished_; }

  // The current chain value: the last cipher block processed, or the initial value (8 bytes).
  const uint8_t* ChainValue() const;
  // Continues the chain from chainValue (8 bytes: the cipher block just before the next byte to be
  // processed, or the initial value at the start of the file), as if everything before it had been
  // processed; a finished chain may go on. This is what lets one file be decrypted in independent
  // parts, each from the cipher block before it.
  void ContinueFrom(const uint8_t* chainValue);

private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
  TDirection direction_;
  bool finished_ = false;
};

class TLockedFileCipher {
public:
  static constexpr size_t kPieceSize = 8192;
  // The threads share the work in batches of about this many bytes (whole pieces).
  static constexpr size_t kBatchSize = size_t(256) << 10;

  // REQUIRES for all three: pieceSize a non-zero multiple of 8. Errors of the streams propagate
  // (EStreamError); a source that ends before its size throws EUnreadableData with the offset of the
  // first byte it did not deliver. What was written to dest by then is incomplete and is the
  // caller's to discard.
  static void Encrypt(TStream& source, TStream& dest, std::string_view password,
                      const TCipherProgress& progress = {}, size_t pieceSize = kPieceSize);
  static void Decrypt(TStream& source, TStream& dest, std::string_view password,
                      const TCipherProgress& progress = {}, size_t pieceSize = kPieceSize);
  // Decrypts source with oldPassword and encrypts the result with newPassword into dest in one pass;
  // the plain bytes exist only one piece at a time.
  static void Rekey(TStream& source, TStream& dest, std::string_view oldPassword,
                    std::string_view newPassword, const TCipherProgress& progress = {},
                    size_t pieceSize = kPieceSize);
};

}  // namespace quillmar
