#pragma once
// Progress of long operations (repair, backup, change of password), for a progress window with a
// Cancel button.
//
// The callback receives the fraction done (0 to 1, never going back) and a flag it sets to ask for
// a cancel. An operation calls it often enough that the caller's window stays alive (at least once
// per MiB of data it processes) and checks the flag each time; it honours a cancel up to the step
// that makes its work permanent (a final rename), and leaves everything as it was when it does. The
// caller tells a cancelled operation from a finished one by the operation's result, never by the
// flag: a cancel that comes after the point of no return is ignored.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

namespace quillmar {

using TqmProgress = std::function<void(double fraction, bool& cancel)>;

// Progress of one file's bytes (locking or unlocking a file): the bytes done and the file's size,
// reported at the start, at least once per MiB and at the end; setting cancel stops the work before
// it becomes permanent (the operation then reports that it did nothing).
using TqmByteProgress = std::function<void(int64_t done, int64_t total, bool& cancel)>;

// Maps the work of one operation, counted in units of any size (bytes, pages), onto the fraction
// of a callback, and remembers a cancel.
class TqmProgressMeter {
public:
  explicit TqmProgressMeter(TqmProgress progress, double totalUnits = 1)
      : progress_(std::move(progress)), total_(std::max(totalUnits, 1.0)) {}

  void SetTotal(double totalUnits) { total_ = std::max(totalUnits, 1.0); }
  double Done() const { return done_; }

  // Moves on by units and reports; false once a cancel was asked for.
  bool Advance(double units) { return At(done_ + units); }
  // Reports that doneUnits of the total are done (a value below the last one is not reported).
  bool At(double doneUnits) {
    done_ = std::max(done_, std::min(doneUnits, total_));
    if (progress_ && !cancelled_) progress_(done_ / total_, cancelled_);
    return !cancelled_;
  }
  bool Cancelled() const { return cancelled_; }

private:
  TqmProgress progress_;
  double total_;
  double done_ = 0;
  bool cancelled_ = false;
};

}  // namespace quillmar
