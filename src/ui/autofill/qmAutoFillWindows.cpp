// The autofill wizard is not built yet: the entry editor keeps its button disabled. This file is
// replaced by the wizard's own module.
#include "autofill/qmAutoFillWindows.h"

#include <stdexcept>

namespace quillmar {

bool AutoFillWizardAvailable() {
  return false;
}

std::optional<std::string> RunAutoFillWizard(QWidget*, const std::vector<std::string>&,
                                             const std::vector<std::string>&) {
  throw std::logic_error("RunAutoFillWizard called while the autofill wizard is not available");
}

}  // namespace quillmar
