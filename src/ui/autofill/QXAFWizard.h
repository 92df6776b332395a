#pragma once
// TQXAFWizard: the web-form autofill wizard. Its pages: the welcome page (0), the choice of the login
// page in an embedded browser (1) and the matching of the entry's fields with the page's inputs (2).
// Finish builds the autofill record from page 2 (model/qmAutoFillRecord.h) before the window closes.
//
// Shared state of one run: the URL list and the field name list handed in by the caller (Safe text),
// the captured address, the embedded browser of page 1 (used by pages 1 and 2), the listing of the
// browser's document that a change of page fetches before the pages are asked (pages 1 and 2 answer
// CanLeave and CanEnter from it), and the resulting record.
#include <QString>
#include <string>
#include <vector>

#include "autofill/Wizard.h"
#include "autofill/qmFormListing.h"

class QWebEngineView;

namespace quillmar {

class TfrmAssignFieldsPage;

class TQXAFWizard : public TWizard {
  Q_OBJECT
public:
  TQXAFWizard(QWidget* parent, std::vector<std::string> urls, std::vector<std::string> fieldNames);
  ~TQXAFWizard() override;

  void CreatePages() override;
  void Finish() override;

  const std::vector<std::string>& Urls() const { return urls_; }
  const std::vector<std::string>& FieldNames() const { return fieldNames_; }
  const QString& CapturedAddress() const { return captured_; }
  void SetCapturedAddress(const QString& address) { captured_ = address; }
  QWebEngineView* Browser() const { return browser_; }
  void SetBrowser(QWebEngineView* browser) { browser_ = browser; }
  const TqmFormListing& Listing() const { return listing_; }
  // The record built by Finish ("" before).
  const std::string& Record() const { return record_; }

protected:
  void PrepareShowPage(int from, int to, TWizardDirection direction, std::function<void()> ready) override;

private:
  std::vector<std::string> urls_;
  std::vector<std::string> fieldNames_;
  QString captured_;
  QWebEngineView* browser_ = nullptr;
  TqmFormListing listing_;
  std::string record_;
  TfrmAssignFieldsPage* assign_ = nullptr;
};

}  // namespace quillmar
