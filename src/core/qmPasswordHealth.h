#pragma once
// The password health report: which entries of the repository have a password that another entry
// uses too, one that is weak, or a required password field left empty. Only "Password Field" fields
// count. Nothing is written and no password is copied beyond the strength estimate's own wiped copy.
#include <functional>
#include <string>
#include <vector>

#include "core/qmRepositoryTree.h"

namespace quillmar {

class TCodePage;

enum class TqmHealthProblem { Reused, Weak, EmptyRequired };

struct TqmHealthFinding {
  TqmHealthProblem Problem = TqmHealthProblem::Weak;
  TqmRepositoryTree::TItem Item;  // the entry
  int Field = -1;                 // the index of its Password Field concerned
  int Group = -1;                 // Reused: entries with the same Group share one password (from 0)
  double Bits = 0;                // Weak: the estimate, in bits
};

// Passwords estimated below this many bits are weak.
inline constexpr double kWeakPasswordBits = 50;

// Reads every entry of the tree (loading what is not loaded yet) and reports, in this order: the
// groups of entries sharing one password (a group per password used by two or more entries, groups
// and their entries in display order; an entry is listed once per group), then the weak passwords,
// then the empty required password fields, each in display order. The strength is estimated on the
// text converted from the Safe's code page. `cancelled` (when given) is asked between entries; when
// it answers true the result so far is returned.
std::vector<TqmHealthFinding> CheckPasswordHealth(TqmRepositoryTree& tree, const TCodePage& codePage,
                                                  const std::function<bool()>& cancelled = {});

}  // namespace quillmar
