#pragma once
// TContainerSecrets: what a container's key record is made from, as one value, so that the text key,
// the recovery question and its answer cannot be passed in one another's places. The question and
// answer are wiped when the value goes.
#include <string>

#include "base/SecureWipe.h"
#include "container/TextKey.h"

namespace quillmar {

struct TContainerSecrets {
  TTextKey Key;          // the password or derived key; empty: the container is not encrypted
  std::string Question;  // the recovery question, "" for none (a derived key takes none)
  std::string Answer;    // its answer

  ~TContainerSecrets() {
    WipeString(Question);
    WipeString(Answer);
  }
};

}  // namespace quillmar
