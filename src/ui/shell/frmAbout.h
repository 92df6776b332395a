#pragma once
// TfrmAbout: the About window (modal). It shows the program's version ("%d.%d.%d.%d"); a click on
// its picture closes it, as do OK and Escape.
#include <QDialog>

class QLabel;

namespace quillmar {

class TqmGlobal;

class TfrmAbout : public QDialog {
  Q_OBJECT
public:
  TfrmAbout(const TqmGlobal& g, QWidget* parent);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QLabel* picture_;
};

}  // namespace quillmar
