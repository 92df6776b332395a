#pragma once
// TfrmWizard: the window of a wizard (Wizard.h): a title band with a picture, the title and the
// subtitle; a left panel with a picture; the page area; and the buttons "< &Prev" (disabled at
// start), "&Next >" (the default button), "&Cancel" and "&Finish" (hidden at start). Its caption is
// "Wizard" until a page sets it. It has no title-bar buttons and is shown modally; Escape, like
// Cancel, ends the wizard at once.
#include <QDialog>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quillmar {

class TfrmWizard : public QDialog {
  Q_OBJECT
public:
  explicit TfrmWizard(QWidget* parent);

  QPushButton* Prev() const { return btnPrev_; }
  QPushButton* Next() const { return btnNext_; }
  QPushButton* Cancel() const { return btnCancel_; }
  QPushButton* Finish() const { return btnFinish_; }
  QFrame* TitleBand() const { return pnlTitle_; }
  QFrame* LeftPanel() const { return pnlLeft_; }
  QWidget* PageArea() const { return pnlPage_; }

  QString Title() const;
  QString Subtitle() const;
  void SetTitles(const QString& title, const QString& subtitle);
  QPixmap TopPicture() const;
  QPixmap LeftPicture() const;
  void SetPictures(const QPixmap& left, const QPixmap& top);

  // Places page into the page area, filling it (the page shown before is hidden and taken out).
  void PlacePage(QWidget* page);

  // What Escape and closing the window do (the wizard's Cancel).
  std::function<void()> OnCancel;
  void reject() override;

private:
  QFrame* pnlTitle_;
  QLabel* imgTop_;
  QLabel* lblTitle_;
  QLabel* lblSubtitle_;
  QFrame* pnlLeft_;
  QLabel* imgLeft_;
  QWidget* pnlPage_;
  QVBoxLayout* pageLayout_;
  QWidget* placed_ = nullptr;
  QPushButton* btnPrev_;
  QPushButton* btnNext_;
  QPushButton* btnCancel_;
  QPushButton* btnFinish_;
};

}  // namespace quillmar
