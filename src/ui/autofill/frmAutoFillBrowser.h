#pragma once
// TfrmAutoFillBrowser: the program's own browser window that fills a web form from an entry's
// autofill record (model/qmAutoFillRecord.h): the page, its address (read-only) and a status line
// that says what happened. It is not modal and stays open when the fill is over; each fill has a
// window of its own. A page that opens a new window (target=_blank, window.open) gets another one of
// these windows, without a fill.
//
// The fill:
//  1. The record's address is loaded (an address without a scheme is taken as http).
//  2. The page must be on the record's site (model: AutoFillSameSite). A page that was sent on to
//     another site is filled only after the user says Yes (default No).
//  3. Forms built by the page's scripts may come late: the fill waits until every assigned input
//     exists, or the page has not changed for 1 s, at most 10 s.
//  4. Each assignment's value (the entry's field of that name, letter case ignored; empty when the
//     entry has none) is set as typing would set it; an input that is missing is skipped and named in
//     the status line. Inputs in a frame of another site are never filled.
//  5. When the record asks for it, the form of the last assignment whose form was found is submitted
//     the way its submit button would (the page's own handlers run), unless it still shows an empty
//     password box: half-filled logins count as failed attempts. The inputs outside any form are
//     "submitted" by clicking the first button after the last filled input.
//  6. Two-step logins: when inputs were left over and the form was submitted, they are filled (and
//     submitted) once they appear, in the same document or on the next page of the same site.
// The entry's values are wiped from the window when the fill is over.
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <string>
#include <vector>

#include "model/qmAutoFillRecord.h"

class QJsonArray;
class QLabel;
class QLineEdit;
class QWebEngineView;

namespace quillmar {

class TqmWebPage;

class TfrmAutoFillBrowser : public QWidget {
  Q_OBJECT
public:
  explicit TfrmAutoFillBrowser(QWidget* parent = nullptr);
  ~TfrmAutoFillBrowser() override;

  // Loads the record's address and fills its page with the values of the name-value list (lines of
  // Name "=" Value, Safe text).
  void Start(const TqmAutoFillRecord& record, const std::vector<std::string>& nameValues);

  // The status line.
  QString Status() const;
  // The fill is over (done, refused or failed); a window without a fill is never busy.
  bool Busy() const { return stage_ != kIdle && stage_ != kDone; }
  QWebEngineView* View() const { return webBrowser_; }
  TqmWebPage* Page() const { return page_; }

  // How long a fill waits for late inputs, and for the page to be quiet.
  static constexpr int kWaitLimitMs = 10000;
  static constexpr int kQuietMs = 1000;

signals:
  // The fill is over; Status() says how it went.
  void fillDone();

private:
  enum TStage { kIdle, kLoading, kAsking, kWaiting, kFilling, kAfterSubmit, kNextLoading, kDone };
  struct TTarget {
    TqmAutoFillAssignment assignment;
    QString value;
    QString result;  // "" until tried; "filled" or why not (the page script's answer)
  };

  void LoadStarted();
  void LoadFinished(bool ok);
  void BeginWaiting();
  void Probe();
  void Fill();
  void Finish(const QString& status);
  QString Summary() const;
  QJsonArray PendingTargets(bool withValues) const;
  std::vector<size_t> Pending() const;
  void SetStatus(const QString& text);

  QLineEdit* txtAddress_;
  QWebEngineView* webBrowser_;
  TqmWebPage* page_;
  QLabel* lblStatus_;

  TStage stage_ = kIdle;
  int step_ = 1;
  int generation_ = 0;  // answers of an earlier stage are dropped
  std::vector<TTarget> targets_;
  std::vector<std::string> unreadable_;
  bool submit_ = false;
  bool submitted_ = false;
  QString submitReason_;
  QUrl recordUrl_;
  QUrl filledUrl_;  // the page of the first step
  QElapsedTimer waitClock_;
  QTimer probeTimer_;
  QObject guard_;  // gone before the page: answers that come late find no window
};

}  // namespace quillmar
