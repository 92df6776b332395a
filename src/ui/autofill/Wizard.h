#pragma once
// TWizard: a small wizard framework. It owns the pages and the wizard window (TfrmWizard) and keeps
// the current page index (-1 before the start).
//
// ShowPage(i, direction):
//   1. When a page is current: ask it CanLeave(direction), then page i CanEnter(direction); stop at
//      the first no. Then tell the current page OnLeave. The first page shown is asked nothing.
//   2. Page i BeforeShow.
//   3. GetCaptions with the window's current caption, title and subtitle; GetImages; and
//      GetPanelVisibility with the current visibility of the title band and the left panel.
//   4. The old page is hidden and taken out; page i fills the page area; the current index is i.
//   5. UpdateButtons: Prev enabled unless i is 0; Next visible unless i is the last page (and the
//      default button again); Finish visible only on the last page.
//   6. Page i AdjustButtons, then AfterShow.
// Pages that answer CanLeave or CanEnter from the state of something asynchronous (a web page's
// content) get it first: PrepareShowPage runs before step 1 and calls on when that state is there;
// meanwhile the buttons other than Cancel are disabled and given back afterwards. Nothing waits for it
// in a nested event loop.
//
// GoNext shows NextPageIndex forward; GoPrev PrevPageIndex backward; Finish closes the window with
// OK; Cancel closes it with Cancel at once, without a question (Escape too).
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "autofill/frmBaseWizardPage.h"
#include "autofill/frmWizard.h"

class QWidget;

namespace quillmar {

class TWizard : public QObject {
  Q_OBJECT
public:
  explicit TWizard(QWidget* parent);
  ~TWizard() override;

  // Registers the pages (AddPage), in order.
  virtual void CreatePages() = 0;
  // Shows the first page and runs the window modally; true when it ended with Finish.
  // REQUIRES: CreatePages registered at least one page.
  virtual bool Execute();
  virtual void GoNext();
  virtual void GoPrev();
  virtual void Finish();
  virtual void Cancel();
  virtual int NextPageIndex() const;
  virtual int PrevPageIndex() const;

  void ShowPage(int index, TWizardDirection direction);
  void UpdateButtons();

  TfrmWizard* Window() const { return window_.get(); }
  int CurrentIndex() const { return current_; }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TfrmBaseWizardPage* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
  // A change of page waits for PrepareShowPage.
  bool Busy() const { return busy_; }

protected:
  // Takes the page into the window (the window owns it).
  void AddPage(TfrmBaseWizardPage* page);
  // Gets what the pages answer CanLeave and CanEnter from, then calls ready (base: at once). ready
  // must be called at most once; it does nothing once the wizard is gone or its window closed.
  virtual void PrepareShowPage(int from, int to, TWizardDirection direction, std::function<void()> ready);
  // An object that lives exactly as long as the wizard can take answers: gone before the window and
  // its pages are destroyed.
  QObject* Guard() const { return guard_.get(); }

private:
  void Enter(int index, TWizardDirection direction);

  std::unique_ptr<TfrmWizard> window_;
  std::vector<TfrmBaseWizardPage*> pages_;  // owned by the window
  int current_ = -1;
  bool busy_ = false;
  std::unique_ptr<QObject> guard_;  // declared last: destroyed first
};

}  // namespace quillmar
