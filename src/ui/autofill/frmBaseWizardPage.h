#pragma once
// TfrmBaseWizardPage: the base of a wizard's pages, shown one at a time in the wizard window's page
// area. The wizard (Wizard.h) asks the pages through the virtual operations below as it changes
// pages; the base answers as a page that changes nothing would.
#include <QPixmap>
#include <QString>
#include <QWidget>

class QPushButton;

namespace quillmar {

class TWizard;

enum class TWizardDirection { Forward, Backward };

class TfrmBaseWizardPage : public QWidget {
  Q_OBJECT
public:
  TfrmBaseWizardPage(TWizard* wizard, int index);

  TWizard* Wizard() const { return wizard_; }
  int Index() const { return index_; }
  // True until the page has been shown once.
  bool FirstShow() const { return firstShow_; }

  // Called with the window's current caption, title and subtitle: a page changes what it sets.
  virtual void GetCaptions(QString& caption, QString& title, QString& subtitle);
  // The left and top pictures (base: none).
  virtual void GetImages(QPixmap& left, QPixmap& top);
  // Called with the current visibility of the title band and the left panel (base: unchanged).
  virtual void GetPanelVisibility(bool& titleBand, bool& leftPanel);
  // After the wizard has set the buttons' visibility for the page (base: nothing).
  virtual void AdjustButtons(QPushButton* next, QPushButton* prev, QPushButton* finish, QPushButton* cancel);
  virtual void BeforeShow();
  // Base: clears FirstShow.
  virtual void AfterShow();
  virtual void OnLeave();
  // Whether the page may be left, or entered, in that direction (base: yes). A page that says no
  // tells the user why.
  virtual bool CanLeave(TWizardDirection direction);
  virtual bool CanEnter(TWizardDirection direction);

private:
  TWizard* wizard_;
  int index_;
  bool firstShow_ = true;
};

}  // namespace quillmar
