#pragma once
// TOrderedPipeline: bulk work cut into batches that pass through a few steps on several threads, in
// the order they were made, with memory bounded by a fixed set of batch buffers ("slots") that the
// caller owns and the steps fill and read by index.
//
//   produce(slot)          fills slot with the next batch; false when there is none (the slot is
//                          then unused). One thread, batch after batch: it may read a source in order.
//   stages[i].work(slot, w) transforms the batch; every batch passes stage 0, 1, ... in turn. A
//                          parallel stage may work on several batches at once, in any order; a serial
//                          stage takes them one at a time in the order they were produced (a chain
//                          that carries state from one batch to the next). w (0 <= w < threads) is the
//                          worker running it, for state a thread keeps to itself (cipher objects).
//   consume(slot)          on the calling thread, batches in the order produced (writes, progress).
//                          It may throw to stop the work, which is how a cancel leaves.
//
// With threads == 1 Run does everything on the calling thread, one batch after the other (produce,
// the stages, consume): the one-thread path, with no thread started. Otherwise one producer thread and
// `threads` stage workers run beside the caller, and at most `slots` batches are in flight.
//
// Failure: the first exception of any step stops the pipeline. No step starts after it; steps already
// running finish; every thread is joined; then Run rethrows that exception. Run never returns or
// throws while a thread it started still runs. What consume did before the failure stays done (the
// caller discards partial output).
#include <cstddef>
#include <functional>
#include <vector>

namespace quillmar {

class TOrderedPipeline {
public:
  using TProduce = std::function<bool(size_t slot)>;
  using TWork = std::function<void(size_t slot, int worker)>;
  using TConsume = std::function<void(size_t slot)>;
  struct TStage {
    bool parallel = false;
    TWork work;
  };

  // REQUIRES: slots >= 1, threads >= 1.
  static void Run(size_t slots, int threads, const TProduce& produce, const std::vector<TStage>& stages,
                  const TConsume& consume);
};

}  // namespace quillmar
