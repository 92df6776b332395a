#pragma once
// Running a Safe's key derivation for the login: the question before a costly one, and progress
// while a long one runs.
//
// A Safe file says in its header how costly its key derivation is, and anyone can write any cost
// there (TKeyDerivation: the header checksum proves nothing). What this program makes stays within
// 1 GiB and 10 passes; beyond that (Costly) the user is asked first, with the cost and about how long
// it takes on this computer (CostlyDerivationQuestion).
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "container/TextKey.h"
#include "safe/qmProgress.h"

namespace quillmar {

// "about 40 seconds", "about 15 minutes", "about 2 hours".
std::string DurationText(double seconds);

// The question before a costly derivation of the Safe safeName: its cost, that this program never
// makes such a Safe, and about how long opening it takes here (one small timed derivation, a few
// milliseconds, measures this computer). REQUIRES: derivation.Costly().
std::string CostlyDerivationQuestion(const std::string& safeName, const TKeyDerivation& derivation);

// The text key for password (TTextKey::Derive). When progress is given and the derivation is expected
// to take over a second, it runs on a thread of its own while this thread reports progress every
// tenth of a second: the fraction is estimated from the time spent (Argon2 reports none) and stays
// below 1 until the key is made. A cancel asked for through progress returns at once by throwing
// EDerivationCancelled; the derivation cannot be interrupted, so it finishes on its thread (using a
// core and its memory until then) and its key is wiped unused. Errors of the derivation pass through.
// estimateSeconds (tests): the expected time, instead of EstimateDerivationSeconds'.
TTextKey DeriveWithProgress(std::string_view password, const TKeyDerivation& derivation,
                            const TqmProgress& progress, double estimateSeconds = -1);

class EDerivationCancelled : public EQuillmarError {
public:
  EDerivationCancelled()
      : EQuillmarError("Opening the Safe was cancelled while its key was being derived.") {}
};

}  // namespace quillmar
