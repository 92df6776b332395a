#include "safe/LockedFileCipher.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/misc.h>
#include <cryptopp/secblock.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/OrderedPipeline.h"
#include "base/WorkerThreads.h"

namespace quillmar {

namespace {

constexpr size_t kBlock = 8;

}  // namespace

struct TLockedFileChain::TImpl {
  CryptoPP::Blowfish::Encryption enc;
  CryptoPP::Blowfish::Decryption dec;
  CryptoPP::FixedSizeSecBlock<uint8_t, kBlock> chain;  // the last cipher block (or the initial value)
};

TLockedFileChain::TLockedFileChain(std::string_view password, TDirection direction)
    : impl_(std::make_unique<TImpl>()), direction_(direction) {
  CryptoPP::SecByteBlock key(CryptoPP::SHA1::DIGESTSIZE);
  CryptoPP::SHA1().CalculateDigest(key, reinterpret_cast<const CryptoPP::byte*>(password.data()),
                                   password.size());
  impl_->enc.SetKey(key, key.size());
  if (direction == TDirection::Decrypt) impl_->dec.SetKey(key, key.size());
  std::memset(impl_->chain, 0, kBlock);
  impl_->enc.ProcessBlock(impl_->chain);
}

TLockedFileChain::TLockedFileChain(const uint8_t* key, size_t keyLength, const uint8_t* initialValue,
                                   TDirection direction)
    : impl_(std::make_unique<TImpl>()), direction_(direction) {
  impl_->enc.SetKey(key, keyLength);
  if (direction == TDirection::Decrypt) impl_->dec.SetKey(key, keyLength);
  std::memcpy(impl_->chain, initialValue, kBlock);
}

TLockedFileChain::~TLockedFileChain() = default;

void TLockedFileChain::Process(const uint8_t* in, uint8_t* out, size_t count, bool final) {
  if (finished_) throw std::logic_error("TLockedFileChain::Process called after the final piece");
  size_t tail = count % kBlock;
  if (tail != 0 && !final)
    throw std::logic_error("TLockedFileChain::Process: only the final piece may end in a partial block");
  size_t full = count - tail;
  uint8_t* reg = impl_->chain;

  if (direction_ == TDirection::Encrypt) {
    if (full > 0) {
      // The cipher's own loop XORs each plain block with the cipher block before it as it goes, so the
      // chain value is read straight from the output and never copied per block (the chain is serial:
      // every instruction per block counts). In place is fine: each block is read before it is written.
      constexpr auto xorInput = CryptoPP::BlockTransformation::BT_XorInput;
      impl_->enc.AdvancedProcessBlocks(in, reg, out, kBlock, xorInput);
      if (full > kBlock)
        impl_->enc.AdvancedProcessBlocks(in + kBlock, out, out + kBlock, full - kBlock, xorInput);
      std::memcpy(reg, out + full - kBlock, kBlock);
    }
  } else {
    CryptoPP::FixedSizeSecBlock<uint8_t, kBlock> cipher;
    for (size_t i = 0; i < full; i += kBlock) {
      std::memcpy(cipher, in + i, kBlock);  // kept before out (possibly the same buffer) is written
      impl_->dec.ProcessAndXorBlock(cipher, reg, out + i);
      std::memcpy(reg, cipher, kBlock);
    }
  }

  if (tail != 0) {
    CryptoPP::FixedSizeSecBlock<uint8_t, kBlock> pad;
    impl_->enc.ProcessBlock(reg, pad);
    for (size_t j = 0; j < tail; ++j) out[full + j] = static_cast<uint8_t>(in[full + j] ^ pad[j]);
  }
  if (final) finished_ = true;
}

const uint8_t* TLockedFileChain::ChainValue() const {
  return impl_->chain;
}

void TLockedFileChain::ContinueFrom(const uint8_t* chainValue) {
  std::memcpy(impl_->chain, chainValue, kBlock);
  finished_ = false;
}

namespace {

// Reads into buf until it is full or the source ends; returns the number of bytes read.
size_t ReadPiece(TStream& source, uint8_t* buf, size_t size) {
  size_t got = 0;
  while (got < size) {
    int64_t n = source.Read(buf + got, static_cast<int64_t>(size - got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// Consecutive pieces of the file, in one buffer: every piece but the last of the file is whole.
struct TBatch {
  CryptoPP::SecByteBlock bytes;
  size_t length = 0;
  size_t pieces = 0;
  bool final = false;           // holds the file's last piece
  uint8_t before[kBlock] = {};  // the cipher block before the batch (the initial value for the first)
};

using TBatchStep = std::function<void(TBatch& batch, int worker)>;
struct TBatchStage {
  bool parallel;
  TBatchStep work;
};

// Runs source through the stages batch by batch into dest (TOrderedPipeline): pieces are read on the
// producer thread, the stages transform each batch in place, and the calling thread writes the pieces
// in order and reports progress after each. `initial` is the chain's initial value; each batch carries
// the cipher block before it, which the source delivered (for decryptions that start mid-file).
void Pump(TStream& source, TStream& dest, const TCipherProgress& progress, size_t pieceSize,
          const uint8_t* initial, int threads, const std::vector<TBatchStage>& stages) {
  if (pieceSize == 0 || pieceSize % kBlock != 0)
    throw std::logic_error("TLockedFileCipher: the piece size must be a non-zero multiple of 8");
  const int64_t start = source.Position();
  int64_t total = source.Size() - start;
  if (total < 0) total = 0;
  const size_t piecesPerBatch = std::max<size_t>(1, TLockedFileCipher::kBatchSize / pieceSize);
  std::vector<TBatch> batches(threads == 1 ? 1 : size_t(threads) * 2 + 2);
  for (TBatch& b : batches) b.bytes.New(piecesPerBatch * pieceSize);

  // Producer state.
  int64_t read = 0;
  bool sourceEnded = false;
  uint8_t lastCipher[kBlock];
  std::memcpy(lastCipher, initial, kBlock);
  auto produce = [&](size_t slot) {
    if (sourceEnded) return false;
    TBatch& b = batches[slot];
    std::memcpy(b.before, lastCipher, kBlock);
    b.length = b.pieces = 0;
    b.final = false;
    while (b.pieces < piecesPerBatch && !b.final) {
      const size_t got = ReadPiece(source, b.bytes.data() + b.length, pieceSize);
      // A source that ends before its size did not deliver every byte (a damaged page): the result
      // would be cut short, so the whole operation fails.
      if (got < pieceSize && read + static_cast<int64_t>(got) < total) {
        const int64_t offset = start + read + static_cast<int64_t>(got);
        throw EUnreadableData(
            "Stream read error: the bytes from offset " + std::to_string(offset) + " on cannot be read",
            offset);
      }
      b.final = got < pieceSize;
      b.length += got;
      read += static_cast<int64_t>(got);
      ++b.pieces;
    }
    sourceEnded = b.final;
    if (b.length >= kBlock)
      std::memcpy(lastCipher, b.bytes.data() + (b.length / kBlock - 1) * kBlock, kBlock);
    return true;
  };

  std::vector<TOrderedPipeline::TStage> pipelineStages;
  for (const TBatchStage& stage : stages)
    pipelineStages.push_back(
        {stage.parallel, [&batches, &stage](size_t slot, int worker) { stage.work(batches[slot], worker); }});

  int64_t done = 0;
  int lastPercent = -1;
  auto consume = [&](size_t slot) {
    const TBatch& b = batches[slot];
    for (size_t j = 0; j < b.pieces; ++j) {
      const size_t at = j * pieceSize;
      const size_t count = std::min(pieceSize, b.length - std::min(b.length, at));
      const bool finalPiece = b.final && j + 1 == b.pieces;
      dest.WriteBuffer(b.bytes.data() + at, static_cast<int64_t>(count));
      done += static_cast<int64_t>(count);
      if (progress) {
        int percent = finalPiece
                          ? 100
                          : (total > 0 ? static_cast<int>(std::min<int64_t>(done, total) * 100 / total) : 0);
        if (percent != lastPercent) {
          lastPercent = percent;
          progress(percent);
        }
      }
    }
  };
  TOrderedPipeline::Run(batches.size(), threads, produce, pipelineStages, consume);
}

// The threads for the bytes from the source's position on: a file of one batch gains nothing from
// several.
int ThreadsFor(TStream& source) {
  return source.Size() - source.Position() <= int64_t(TLockedFileCipher::kBatchSize) ? 1
                                                                                     : WorkerThreadCount();
}

// One chain per worker thread, each continuing from the cipher block before its batch.
TBatchStage ParallelDecryption(std::vector<std::unique_ptr<TLockedFileChain>>& chains) {
  return {true, [&chains](TBatch& b, int worker) {
            TLockedFileChain& chain = *chains[size_t(worker)];
            chain.ContinueFrom(b.before);
            chain.Process(b.bytes.data(), b.bytes.data(), b.length, b.final);
          }};
}

std::vector<std::unique_ptr<TLockedFileChain>> DecryptionChains(std::string_view password, int threads) {
  std::vector<std::unique_ptr<TLockedFileChain>> chains;
  for (int i = 0; i < threads; ++i)
    chains.push_back(std::make_unique<TLockedFileChain>(password, TLockedFileChain::TDirection::Decrypt));
  return chains;
}

// The chain continuing through the batches one after the other (encryption cannot be split).
TBatchStage SerialEncryption(TLockedFileChain& chain) {
  return {false,
          [&chain](TBatch& b, int) { chain.Process(b.bytes.data(), b.bytes.data(), b.length, b.final); }};
}

}  // namespace

void TLockedFileCipher::Encrypt(TStream& source, TStream& dest, std::string_view password,
                                const TCipherProgress& progress, size_t pieceSize) {
  TLockedFileChain chain(password, TLockedFileChain::TDirection::Encrypt);
  uint8_t initial[kBlock];
  std::memcpy(initial, chain.ChainValue(), kBlock);
  Pump(source, dest, progress, pieceSize, initial, ThreadsFor(source), {SerialEncryption(chain)});
}

void TLockedFileCipher::Decrypt(TStream& source, TStream& dest, std::string_view password,
                                const TCipherProgress& progress, size_t pieceSize) {
  const int threads = ThreadsFor(source);
  auto chains = DecryptionChains(password, threads);
  uint8_t initial[kBlock];
  std::memcpy(initial, chains[0]->ChainValue(), kBlock);
  Pump(source, dest, progress, pieceSize, initial, threads, {ParallelDecryption(chains)});
}

void TLockedFileCipher::Rekey(TStream& source, TStream& dest, std::string_view oldPassword,
                              std::string_view newPassword, const TCipherProgress& progress,
                              size_t pieceSize) {
  const int threads = ThreadsFor(source);
  auto decrypt = DecryptionChains(oldPassword, threads);
  TLockedFileChain encrypt(newPassword, TLockedFileChain::TDirection::Encrypt);
  uint8_t initial[kBlock];
  std::memcpy(initial, decrypt[0]->ChainValue(), kBlock);
  // The plain batch lives only in its buffer between the two stages, and is encrypted in place.
  Pump(source, dest, progress, pieceSize, initial, threads,
       {ParallelDecryption(decrypt), SerialEncryption(encrypt)});
}

}  // namespace quillmar
