#include "autofill/Wizard.h"

#include <QFrame>
#include <QPointer>
#include <QPushButton>
#include <stdexcept>

namespace quillmar {

TWizard::TWizard(QWidget* parent)
    : window_(std::make_unique<TfrmWizard>(parent)), guard_(std::make_unique<QObject>()) {
  TfrmWizard* w = window_.get();
  connect(w->Next(), &QPushButton::clicked, this, [this] { GoNext(); });
  connect(w->Prev(), &QPushButton::clicked, this, [this] { GoPrev(); });
  connect(w->Finish(), &QPushButton::clicked, this, [this] { Finish(); });
  connect(w->Cancel(), &QPushButton::clicked, this, [this] { Cancel(); });
  w->OnCancel = [this] { Cancel(); };
}

TWizard::~TWizard() {
  // Answers that arrive while the pages go away find no wizard.
  guard_.reset();
  window_.reset();
}

void TWizard::AddPage(TfrmBaseWizardPage* page) {
  page->setParent(window_->PageArea());
  page->hide();
  pages_.push_back(page);
}

bool TWizard::Execute() {
  if (pages_.empty()) throw std::logic_error("TWizard::Execute without pages");
  current_ = -1;
  ShowPage(0, TWizardDirection::Forward);
  return window_->exec() == QDialog::Accepted;
}

void TWizard::GoNext() {
  ShowPage(NextPageIndex(), TWizardDirection::Forward);
}

void TWizard::GoPrev() {
  ShowPage(PrevPageIndex(), TWizardDirection::Backward);
}

void TWizard::Finish() {
  window_->done(QDialog::Accepted);
}

void TWizard::Cancel() {
  window_->done(QDialog::Rejected);
}

int TWizard::NextPageIndex() const {
  return current_ < PageCount() - 1 ? current_ + 1 : current_;
}

int TWizard::PrevPageIndex() const {
  return current_ > 0 ? current_ - 1 : current_;
}

void TWizard::PrepareShowPage(int, int, TWizardDirection, std::function<void()> ready) {
  ready();
}

void TWizard::ShowPage(int index, TWizardDirection direction) {
  if (index < 0 || index >= PageCount() || busy_) return;
  if (current_ < 0) {
    Enter(index, direction);
    return;
  }
  // The buttons wait with the wizard; Cancel stays.
  TfrmWizard* w = window_.get();
  QPushButton* held[] = {w->Prev(), w->Next(), w->Finish()};
  bool enabled[3];
  for (int i = 0; i < 3; ++i) {
    enabled[i] = held[i]->isEnabled();
    held[i]->setEnabled(false);
  }
  busy_ = true;
  QPointer<QObject> guard(guard_.get());
  PrepareShowPage(current_, index, direction, [this, guard, index, direction, held, enabled] {
    if (guard.isNull() || !busy_) return;
    busy_ = false;
    for (int i = 0; i < 3; ++i) held[i]->setEnabled(enabled[i]);
    if (!window_->isVisible()) return;  // cancelled meanwhile
    TfrmBaseWizardPage* from = pages_[static_cast<size_t>(current_)];
    if (!from->CanLeave(direction)) return;
    if (!pages_[static_cast<size_t>(index)]->CanEnter(direction)) return;
    from->OnLeave();
    Enter(index, direction);
  });
}

void TWizard::Enter(int index, TWizardDirection) {
  TfrmWizard* w = window_.get();
  TfrmBaseWizardPage* page = pages_[static_cast<size_t>(index)];
  page->BeforeShow();

  QString caption = w->windowTitle();
  QString title = w->Title();
  QString subtitle = w->Subtitle();
  page->GetCaptions(caption, title, subtitle);
  w->setWindowTitle(caption);
  w->SetTitles(title, subtitle);
  QPixmap left = w->LeftPicture();
  QPixmap top = w->TopPicture();
  page->GetImages(left, top);
  w->SetPictures(left, top);
  bool titleBand = !w->TitleBand()->isHidden();
  bool leftPanel = !w->LeftPanel()->isHidden();
  page->GetPanelVisibility(titleBand, leftPanel);
  w->TitleBand()->setVisible(titleBand);
  w->LeftPanel()->setVisible(leftPanel);

  w->PlacePage(page);
  current_ = index;
  UpdateButtons();
  page->AdjustButtons(w->Next(), w->Prev(), w->Finish(), w->Cancel());
  page->AfterShow();
}

void TWizard::UpdateButtons() {
  TfrmWizard* w = window_.get();
  const bool last = current_ == PageCount() - 1;
  w->Prev()->setEnabled(current_ != 0);
  w->Next()->setVisible(!last);
  w->Next()->setDefault(!last);
  w->Finish()->setVisible(last);
}

}  // namespace quillmar
