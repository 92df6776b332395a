#include "autofill/QXAFWizard.h"

#include <QJsonObject>
#include <QWebEngineView>

#include "autofill/frmAssignFieldsPage.h"
#include "autofill/frmSelectURLPage.h"
#include "autofill/frmWelcomePage.h"
#include "autofill/qmWebEngine.h"

namespace quillmar {

TQXAFWizard::TQXAFWizard(QWidget* parent, std::vector<std::string> urls, std::vector<std::string> fieldNames)
    : TWizard(parent), urls_(std::move(urls)), fieldNames_(std::move(fieldNames)) {}

TQXAFWizard::~TQXAFWizard() = default;

void TQXAFWizard::CreatePages() {
  AddPage(new TfrmWelcomePage(this, 0));
  AddPage(new TfrmSelectURLPage(this, 1));
  assign_ = new TfrmAssignFieldsPage(this, 2);
  AddPage(assign_);
  // Large enough for the page in the browser and the lists of page 2 beside it.
  Window()->resize(880, 680);
}

void TQXAFWizard::Finish() {
  record_ = assign_->BuildRecord();
  TWizard::Finish();
}

void TQXAFWizard::PrepareShowPage(int, int, TWizardDirection, std::function<void()> ready) {
  listing_ = TqmFormListing();
  if (!browser_) {
    ready();
    return;
  }
  RunAutoFillScript(
      browser_->page(), QJsonObject{{QStringLiteral("op"), QStringLiteral("list")}},
      [this, ready](const QVariant& answer, const QString&) {
        listing_ = TqmFormListing::FromAnswer(answer);
        ready();
      },
      Guard());
}

}  // namespace quillmar
