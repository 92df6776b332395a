#include "autofill/frmAutoFillBrowser.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include "autofill/qmWebEngine.h"
#include "base/SecureWipe.h"
#include "shell/qmMessages.h"
#include "widgets/qmPictures.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr int kProbeIntervalMs = 250;

QString Host(const QUrl& url) {
  return url.host().isEmpty() ? url.toString() : url.host();
}

}  // namespace

TfrmAutoFillBrowser::TfrmAutoFillBrowser(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmAutoFillBrowser"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("AutoFill - Brelkan Quillmar II"));
  setWindowIcon(ApplicationIcon());
  resize(1000, 720);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(8, 6, 8, 6);
  auto* label = new QLabel(QStringLiteral("Address:"), this);
  txtAddress_ = new QLineEdit(this);
  txtAddress_->setObjectName(QStringLiteral("txtAddress"));
  txtAddress_->setReadOnly(true);
  label->setBuddy(txtAddress_);
  row->addWidget(label);
  row->addWidget(txtAddress_, 1);
  layout->addLayout(row);

  webBrowser_ = new QWebEngineView(this);
  webBrowser_->setObjectName(QStringLiteral("webBrowser"));
  page_ = new TqmWebPage(this);
  webBrowser_->setPage(page_);
  layout->addWidget(webBrowser_, 1);

  auto* status = new QStatusBar(this);
  status->setSizeGripEnabled(false);
  lblStatus_ = new QLabel(status);
  lblStatus_->setObjectName(QStringLiteral("lblStatus"));
  lblStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status->addWidget(lblStatus_, 1);
  layout->addWidget(status);

  page_->NewWindow = [] {
    auto* other = new TfrmAutoFillBrowser;
    TrackAutoFillWindow(other);
    other->show();
    return static_cast<QWebEnginePage*>(other->Page());
  };
  connect(page_, &QWebEnginePage::urlChanged, this,
          [this](const QUrl& url) { txtAddress_->setText(url.toString()); });
  connect(page_, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
    setWindowTitle(title.isEmpty() ? QStringLiteral("AutoFill - Brelkan Quillmar II")
                                   : QStringLiteral("AutoFill - %1").arg(title));
  });
  connect(page_, &QWebEnginePage::loadStarted, this, &TfrmAutoFillBrowser::LoadStarted);
  connect(page_, &QWebEnginePage::loadFinished, this, &TfrmAutoFillBrowser::LoadFinished);
  connect(page_, &QWebEnginePage::renderProcessTerminated, this, [this] {
    if (Busy()) Finish(QStringLiteral("The page stopped working before it was filled. ") + Summary());
  });

  auto* close = new QShortcut(QKeySequence::Close, this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  auto* reload = new QShortcut(QKeySequence::Refresh, this);
  connect(reload, &QShortcut::activated, webBrowser_, &QWebEngineView::reload);
  auto* back = new QShortcut(QKeySequence::Back, this);
  connect(back, &QShortcut::activated, webBrowser_, &QWebEngineView::back);
  auto* forward = new QShortcut(QKeySequence::Forward, this);
  connect(forward, &QShortcut::activated, webBrowser_, &QWebEngineView::forward);
  auto* address = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
  connect(address, &QShortcut::activated, this, [this] {
    txtAddress_->setFocus();
    txtAddress_->selectAll();
  });

  probeTimer_.setSingleShot(true);
  connect(&probeTimer_, &QTimer::timeout, this, &TfrmAutoFillBrowser::Probe);
}

TfrmAutoFillBrowser::~TfrmAutoFillBrowser() {
  for (TTarget& t : targets_) WipeQString(t.value);
}

void TfrmAutoFillBrowser::Start(const TqmAutoFillRecord& record, const std::vector<std::string>& nameValues) {
  targets_.clear();
  for (const TqmAutoFillAssignment& a : record.Assignments) {
    std::string value = AutoFillValue(nameValues, a.FieldName);
    targets_.push_back({a, FromSafeText(value), QString()});
    WipeString(value);
  }
  unreadable_ = record.Unreadable;
  submit_ = record.Submit;
  recordUrl_ = QUrl::fromUserInput(FromSafeText(record.Address));
  if (!recordUrl_.isValid() || recordUrl_.isEmpty()) {
    stage_ = kLoading;
    Finish(
        QStringLiteral("The autofill record names no web address; nothing was filled. Run the Web Page "
                       "Autofill Wizard of the entry again."));
    return;
  }
  stage_ = kLoading;
  SetStatus(QStringLiteral("Loading %1 ...").arg(recordUrl_.toString()));
  webBrowser_->load(recordUrl_);
  webBrowser_->setFocus();
}

QString TfrmAutoFillBrowser::Status() const {
  return lblStatus_->text();
}

void TfrmAutoFillBrowser::SetStatus(const QString& text) {
  lblStatus_->setText(text);
}

void TfrmAutoFillBrowser::LoadStarted() {
  switch (stage_) {
    case kWaiting:
      // The page goes on to another one before it was filled: fill that one.
      ++generation_;
      probeTimer_.stop();
      stage_ = step_ == 1 ? kLoading : kNextLoading;
      break;
    case kAfterSubmit:
      ++generation_;
      probeTimer_.stop();
      stage_ = kNextLoading;
      SetStatus(Summary() + QStringLiteral(" Loading the next page ..."));
      break;
    default:
      break;
  }
}

void TfrmAutoFillBrowser::LoadFinished(bool ok) {
  if (stage_ != kLoading && stage_ != kNextLoading) return;
  const QUrl url = page_->url();
  if (stage_ == kLoading) {
    if (!ok) {
      Finish(
          QStringLiteral("The page %1 could not be loaded; nothing was filled.").arg(recordUrl_.toString()));
      return;
    }
    if (!AutoFillSameSite(ToUtf8(recordUrl_.toString(QUrl::FullyEncoded)),
                          ToUtf8(url.toString(QUrl::FullyEncoded)))) {
      stage_ = kAsking;
      const int generation = ++generation_;
      SetStatus(QStringLiteral("The page was sent on to %1.").arg(Host(url)));
      const bool fill =
          AskYesNo(this, QStringLiteral("The page of this entry was sent on to another site:\n\n%1\n\n"
                                        "The entry's autofill record was made for %2. Fill in the "
                                        "entry's values on this site anyway?")
                             .arg(url.toString(), Host(recordUrl_)));
      if (generation != generation_ || stage_ != kAsking) return;
      if (!fill) {
        Finish(
            QStringLiteral("Nothing was filled: the page is on %1, and this entry's record was made for %2.")
                .arg(Host(url), Host(recordUrl_)));
        return;
      }
    }
    filledUrl_ = url;
    BeginWaiting();
    return;
  }
  // The page after the first step's submit.
  if (!ok) {
    Finish(Summary() + QStringLiteral(" The next page could not be loaded."));
    return;
  }
  if (!AutoFillSameSite(ToUtf8(filledUrl_.toString(QUrl::FullyEncoded)),
                        ToUtf8(url.toString(QUrl::FullyEncoded)))) {
    Finish(Summary() +
           QStringLiteral(" The next page is on another site (%1); nothing more was filled.").arg(Host(url)));
    return;
  }
  BeginWaiting();
}

void TfrmAutoFillBrowser::BeginWaiting() {
  stage_ = kWaiting;
  ++generation_;
  waitClock_.restart();
  SetStatus(step_ == 1 ? QStringLiteral("Waiting for the form ...")
                       : Summary() + QStringLiteral(" Waiting for the next form ..."));
  Probe();
}

std::vector<size_t> TfrmAutoFillBrowser::Pending() const {
  std::vector<size_t> pending;
  for (size_t i = 0; i < targets_.size(); ++i)
    if (targets_[i].result != QLatin1String("filled") && targets_[i].result != QLatin1String("crossOrigin"))
      pending.push_back(i);
  return pending;
}

QJsonArray TfrmAutoFillBrowser::PendingTargets(bool withValues) const {
  QJsonArray list;
  for (size_t i : Pending()) {
    const TqmAutoFillAssignment& a = targets_[i].assignment;
    QJsonObject t{{QStringLiteral("frame"), a.Frame},
                  {QStringLiteral("form"), a.Form},
                  {QStringLiteral("input"), FromSafeText(a.Input)}};
    if (withValues) t.insert(QStringLiteral("value"), targets_[i].value);
    list.append(t);
  }
  return list;
}

void TfrmAutoFillBrowser::Probe() {
  if (stage_ != kWaiting && stage_ != kAfterSubmit) return;
  const int generation = generation_;
  const QJsonObject request{{QStringLiteral("op"), QStringLiteral("probe")},
                            {QStringLiteral("targets"), PendingTargets(false)}};
  RunAutoFillScript(
      page_, request,
      [this, generation](const QVariant& answer, const QString&) {
        if (generation != generation_) return;
        const QVariantMap m = answer.toMap();
        int present = 0;
        const QVariantList flags = m.value(QStringLiteral("present")).toList();
        for (const QVariant& f : flags) present += f.toBool() ? 1 : 0;
        const bool all = answer.isValid() && present == flags.size();
        const bool quiet = m.value(QStringLiteral("quietMs")).toInt() >= kQuietMs;
        const bool late = waitClock_.elapsed() >= kWaitLimitMs;
        if (stage_ == kWaiting) {
          if (all || quiet || late) {
            Fill();
            return;
          }
        } else if (m.value(QStringLiteral("url")).toString() == filledUrl_.toString()) {
          // After the first step's submit, in the same document.
          if (present > 0 && (all || quiet)) {
            Fill();
            return;
          }
          if (late) {
            Finish(Summary());
            return;
          }
        }
        probeTimer_.start(kProbeIntervalMs);
      },
      &guard_);
}

void TfrmAutoFillBrowser::Fill() {
  const std::vector<size_t> pending = Pending();
  stage_ = kFilling;
  const int generation = ++generation_;
  QJsonObject request{{QStringLiteral("op"), QStringLiteral("fill")},
                      {QStringLiteral("targets"), PendingTargets(true)},
                      {QStringLiteral("submit"), submit_}};
  RunAutoFillScript(
      page_, request,
      [this, generation, pending](const QVariant& answer, const QString& error) {
        if (generation != generation_) return;
        if (!answer.isValid()) {
          Finish(QStringLiteral("The page did not take the values (%1). ").arg(error) + Summary());
          return;
        }
        const QVariantMap m = answer.toMap();
        const QVariantList results = m.value(QStringLiteral("results")).toList();
        for (size_t k = 0; k < pending.size() && k < static_cast<size_t>(results.size()); ++k)
          targets_[pending[k]].result = results[static_cast<qsizetype>(k)].toString();
        submitted_ = m.value(QStringLiteral("submitted")).toBool();
        submitReason_ = m.value(QStringLiteral("reason")).toString();
        if (step_ == 1 && submitted_ && !Pending().empty()) {
          // A two-step login: what is left may come on the next page or later in this one.
          step_ = 2;
          stage_ = kAfterSubmit;
          waitClock_.restart();
          SetStatus(Summary() + QStringLiteral(" Waiting for the next step ..."));
          probeTimer_.start(kProbeIntervalMs);
          return;
        }
        Finish(Summary());
      },
      &guard_);
  // The values have gone to the page; the request's copy of them is not needed any more.
  request = QJsonObject();
}

QString TfrmAutoFillBrowser::Summary() const {
  int filled = 0;
  QStringList missing;
  QStringList foreign;
  for (const TTarget& t : targets_) {
    const QString where = QStringLiteral("%1 (%2)").arg(FromSafeText(t.assignment.FieldName),
                                                        FromSafeText(t.assignment.Location()));
    if (t.result == QLatin1String("filled"))
      ++filled;
    else if (t.result == QLatin1String("crossOrigin"))
      foreign << where;
    else if (!t.result.isEmpty())
      missing << where;
  }
  const int total = static_cast<int>(targets_.size() + unreadable_.size());
  QString text = QStringLiteral("Filled %1 of %2 fields%3.")
                     .arg(filled)
                     .arg(total)
                     .arg(step_ == 2 && filled > 0 ? QStringLiteral(" in two steps") : QString());
  if (!missing.isEmpty()) text += QStringLiteral(" Not found: %1.").arg(missing.join(QStringLiteral(", ")));
  if (!foreign.isEmpty())
    text += QStringLiteral(" Not filled, in a frame of another site: %1.")
                .arg(foreign.join(QStringLiteral(", ")));
  if (!unreadable_.empty()) {
    QStringList names;
    for (const std::string& u : unreadable_) names << FromSafeText(u);
    text += QStringLiteral(" Not understood in the record: %1.").arg(names.join(QStringLiteral(", ")));
  }
  if (submit_) {
    if (submitted_)
      text += QStringLiteral(" The form was submitted.");
    else if (submitReason_ == QLatin1String("emptyPassword"))
      text += QStringLiteral(" The form was not submitted: it still has an empty password box.");
    else if (submitReason_ == QLatin1String("noForm"))
      text += QStringLiteral(" The form was not submitted: no form was found.");
    else if (submitReason_ == QLatin1String("noButton"))
      text += QStringLiteral(" The form was not submitted: no button follows the filled boxes.");
    else if (stage_ == kDone || stage_ == kFilling)
      text += QStringLiteral(" The form was not submitted.");
  }
  return text;
}

void TfrmAutoFillBrowser::Finish(const QString& status) {
  probeTimer_.stop();
  ++generation_;
  stage_ = kDone;
  for (TTarget& t : targets_) WipeQString(t.value);
  SetStatus(status);
  emit fillDone();
}

}  // namespace quillmar
