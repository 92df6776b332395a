#include "core/qmPasswordHealth.h"

#include <algorithm>

#include "base/CodePage.h"
#include "base/SecureWipe.h"
#include "core/qmPasswordStrength.h"

namespace quillmar {

namespace {

struct TPassword {
  const std::string* value;  // the field's own value: no copy of the secret is made
  TqmRepositoryTree::TItem item;
  int field;
  size_t position;  // of the entry in display order
};

}  // namespace

std::vector<TqmHealthFinding> CheckPasswordHealth(TqmRepositoryTree& tree, const TCodePage& codePage,
                                                  const std::function<bool()>& cancelled) {
  std::vector<TPassword> filled;
  std::vector<TqmHealthFinding> weak;
  std::vector<TqmHealthFinding> empty;
  size_t position = 0;
  bool stop = false;
  std::function<void(TqmRepositoryTree::TNode&)> walk = [&](TqmRepositoryTree::TNode& node) {
    tree.Load(node);
    for (auto& sub : node.categories) {
      if (stop) return;
      walk(*sub);
    }
    for (auto& e : node.entries) {
      if (stop || (cancelled && cancelled())) {
        stop = true;
        return;
      }
      const TqmRepositoryTree::TItem item{&node, e.get()};
      for (int i = 0; i < e->Fields().Count(); ++i) {
        const TqmField& f = e->FieldAt(i);
        if (f.FieldType() != ftPassword) continue;
        if (f.Value().empty()) {
          if (f.IsRequired()) empty.push_back({TqmHealthProblem::EmptyRequired, item, i});
          continue;
        }
        filled.push_back({&f.Value(), item, i, position});
        std::string text;
        try {
          text = codePage.ToUtf8(f.Value());
        } catch (const ECodePageError&) {
          text = f.Value();  // a byte without meaning: estimate the bytes as they are
        }
        const double bits = EstimateStrength(text).bits;
        WipeString(text);
        if (bits < kWeakPasswordBits) weak.push_back({TqmHealthProblem::Weak, item, i, -1, bits});
      }
      ++position;
    }
  };
  walk(tree.Root());

  // Equal passwords side by side, each run in display order; runs of two or more entries are groups.
  std::stable_sort(filled.begin(), filled.end(),
                   [](const TPassword& a, const TPassword& b) { return *a.value < *b.value; });
  std::vector<std::vector<const TPassword*>> groups;
  for (size_t i = 0; i < filled.size();) {
    size_t j = i;
    std::vector<const TPassword*> run;
    for (; j < filled.size() && *filled[j].value == *filled[i].value; ++j)
      if (run.empty() || run.back()->item != filled[j].item) run.push_back(&filled[j]);
    if (run.size() > 1) groups.push_back(std::move(run));
    i = j;
  }
  std::sort(groups.begin(), groups.end(),
            [](const auto& a, const auto& b) { return a.front()->position < b.front()->position; });

  std::vector<TqmHealthFinding> findings;
  for (size_t g = 0; g < groups.size(); ++g)
    for (const TPassword* p : groups[g])
      findings.push_back({TqmHealthProblem::Reused, p->item, p->field, static_cast<int>(g)});
  findings.insert(findings.end(), weak.begin(), weak.end());
  findings.insert(findings.end(), empty.begin(), empty.end());
  return findings;
}

}  // namespace quillmar
