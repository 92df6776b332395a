#include "autofill/qmAutoFillWindows.h"

#include "autofill/QXAFWizard.h"
#include "autofill/frmAutoFillBrowser.h"
#include "autofill/qmWebEngine.h"
#include "core/qmGlobal.h"
#include "model/qmAutoFillRecord.h"
#include "shell/qmMessages.h"

namespace quillmar {

namespace {

class TqmWebFormFiller : public TqmAutoFillFiller {
public:
  bool FillWebForm(const std::string& autoFillText, const std::vector<std::string>& nameValues) override {
    // A record that names no form is the caller's to report (it says which entry).
    if (TqmAutoFillRecord record; !record.ParseText(autoFillText)) return false;
    return PerformAutoFill(autoFillText, nameValues) != nullptr;
  }
};

}  // namespace

bool AutoFillWizardAvailable() {
  return true;
}

std::optional<std::string> RunAutoFillWizard(QWidget* parent, const std::vector<std::string>& urls,
                                             const std::vector<std::string>& fieldNames) {
  if (const QString problem = WebEngineStartProblem(); !problem.isEmpty()) {
    ShowError(parent, problem);
    return std::nullopt;
  }
  TQXAFWizard wizard(parent, urls, fieldNames);
  wizard.CreatePages();
  if (!wizard.Execute()) return std::nullopt;
  return wizard.Record();
}

TfrmAutoFillBrowser* PerformAutoFill(const std::string& record, const std::vector<std::string>& nameValues) {
  TqmAutoFillRecord parsed;
  if (!parsed.ParseText(record)) {
    ShowWarning(nullptr,
                QStringLiteral("This entry's autofill record names no web form, so nothing can be filled. "
                               "Make one with the Web Page Autofill Wizard of the entry editor."));
    return nullptr;
  }
  if (const QString problem = WebEngineStartProblem(); !problem.isEmpty()) {
    ShowError(nullptr, problem);
    return nullptr;
  }
  auto* window = new TfrmAutoFillBrowser;
  TrackAutoFillWindow(window);
  window->show();
  window->Start(parsed, nameValues);
  return window;
}

TqmAutoFillFiller& AutoFillFiller() {
  static TqmWebFormFiller filler;
  return filler;
}

}  // namespace quillmar
