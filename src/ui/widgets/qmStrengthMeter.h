#pragma once
// TqmStrengthMeter: the bar under a password box: how hard the password is to guess, in estimated
// bits (core/qmPasswordStrength.h), coloured by band, with the band's name and the bits beside it
// ("Fair, 45 bits"). Empty for an empty password.
//
// The estimate looks at the first kEstimatedCharacters characters only (a longer password is at
// least that strong): the estimator's cost grows fast with the length, and no stored value may
// make a window hang.
#include <QWidget>

#include "core/qmPasswordStrength.h"

namespace quillmar {

class TqmStrengthMeter : public QWidget {
  Q_OBJECT
public:
  static constexpr int kEstimatedCharacters = 128;

  explicit TqmStrengthMeter(QWidget* parent = nullptr);

  // Estimates the password (its copies are wiped).
  void SetPassword(const QString& password);
  const TqmStrength& Strength() const { return strength_; }
  // What the meter shows beside the bar ("" for an empty password).
  QString Text() const;

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  TqmStrength strength_;
  bool empty_ = true;
  bool cut_ = false;
};

}  // namespace quillmar
