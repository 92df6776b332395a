#include "filelocker/frmFileLocker.h"

#include <strings.h>

#include <QAction>
#include <QCoreApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QThread>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "core/qmGlobal.h"
#include "core/qmLockerCommands.h"
#include "core/qmLockerItems.h"
#include "filelocker/qmLockerModel.h"
#include "filelocker/ssFileLockerListView.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmOpenWith.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kMsgDelete[] = "Delete?";
constexpr char kMsgNameExists[] = "Name already exists!";
// How many problems one message names; the rest are counted.
constexpr size_t kListedProblems = 12;

using TClock = std::chrono::steady_clock;

// Runs f on the window thread (a question from the worker of a long run) and waits for its result.
template <class F>
auto OnWindowThread(F&& f) -> decltype(f()) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) return f();
  decltype(f()) result{};
  QMetaObject::invokeMethod(
      app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
  return result;
}

// One line per problem: what (a disk path as it is, a Safe path as Safe text) and why.
QString ProblemList(const std::vector<TqmLockerProblem>& problems, bool safePaths = false) {
  QString text;
  for (size_t i = 0; i < problems.size() && i < kListedProblems; ++i)
    text += QStringLiteral("\n- %1: %2")
                .arg(safePaths ? FromSafeText(problems[i].Path) : FromUtf8(problems[i].Path),
                     FromMessage(problems[i].Reason));
  if (problems.size() > kListedProblems)
    text += QStringLiteral("\n  ... and %1 more").arg(problems.size() - kListedProblems);
  return text;
}

QString MiB(int64_t bytes) {
  return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}

}  // namespace

TfrmFileLocker::TfrmFileLocker(TqmShell& shell, QWidget* parent)
    : TqmTabWindow(parent),
      shell_(shell),
      currentFolder_(TqmSFSWrapper::FileLockerRoot()),
      sortKey_(locker::kInitialSort) {
  setObjectName(QStringLiteral("TfrmFileLocker"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(16);
  list_ = new TssFileLockerListView(this);
  layout->addWidget(list_, 1);

  lockFile_ = AddAction("lockFile", QStringLiteral("Lock File"), QStringLiteral("Lock selected file"),
                        QKeySequence(Qt::CTRL | Qt::Key_L), &TfrmFileLocker::LockFileCommand);
  lockFolder_ = AddAction("lockFolder", QStringLiteral("Lock Folder"),
                          QStringLiteral("Lock a folder with everything in it"), QKeySequence(),
                          &TfrmFileLocker::LockFolderCommand);
  openFile_ = AddAction("openFile", QStringLiteral("Open File"),
                        QStringLiteral("Open selected file with application associated."),
                        QKeySequence(Qt::CTRL | Qt::Key_O), &TfrmFileLocker::OpenFileCommand);
  unlockFile_ = AddAction("unlockFile", QStringLiteral("Unlock/Remove File"),
                          QStringLiteral("Unlock and remove selected file from safe."),
                          QKeySequence(Qt::CTRL | Qt::Key_U), &TfrmFileLocker::UnlockFileCommand);
  deleteItem_ = AddAction("deleteItem", QStringLiteral("Delete File or Folder"),
                          QStringLiteral("Delete selected file or folder."), QKeySequence(Qt::Key_Delete),
                          &TfrmFileLocker::DeleteCommand);
  sendFile_ = AddAction("sendFile", QStringLiteral("Send File via Zavozo Rero"), QString(), QKeySequence(),
                        &TfrmFileLocker::SendFileCommand);
  renameItem_ =
      AddAction("renameItem", QStringLiteral("Rename"), QStringLiteral("Rename selected file or folder"),
                QKeySequence(Qt::Key_F2), &TfrmFileLocker::RenameCommand);
  createFolder_ = AddAction("createFolder", QStringLiteral("Create Folder"), QString(),
                            QKeySequence(Qt::CTRL | Qt::Key_N), &TfrmFileLocker::CreateFolderCommand);

  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("mnuFileLocker"));
  menu_->addActions({lockFile_, lockFolder_, openFile_, unlockFile_, deleteItem_});
  menu_->addSeparator();
  menu_->addAction(sendFile_);
  menu_->addSeparator();
  menu_->addActions({renameItem_, createFolder_});

  // The links at the right, with the notes below them.
  auto* right = new QWidget(this);
  right->setObjectName(QStringLiteral("pnlCommands"));
  right->setFixedWidth(230);
  links_ = new QVBoxLayout(right);
  links_->setContentsMargins(0, 0, 0, 0);
  links_->setSpacing(4);
  AddLink(lockFile_, QStringLiteral("Selected file will be locked into safe"));
  AddLink(openFile_, QStringLiteral("Selected file will be opened with assosiated program"));
  AddLink(unlockFile_,
          QStringLiteral("Selected file will be removed from safe and put back into selected directory"));
  AddLink(deleteItem_, QStringLiteral("Selected file will be permanent deleted"));
  AddLink(renameItem_, QString());
  links_->addSpacing(18);
  for (const QString& note :
       {QStringLiteral("Rigth mouse click selected file(s) for mouse options"),
        QStringLiteral("Use rigth mouse-click context menu in the file manager to lock files")}) {
    auto* label = new QLabel(note, right);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #4a5563;"));
    links_->addWidget(label);
    links_->addSpacing(6);
  }
  links_->addStretch(1);
  layout->addWidget(right);

  TqmLockerModel* model = list_->Model();
  connect(model, &TqmLockerModel::RenameRequested, this, &TfrmFileLocker::RenameTo, Qt::QueuedConnection);
  connect(list_, &TssFileLockerListView::Activated, this, &TfrmFileLocker::ActivateRow);
  connect(list_, &TssFileLockerListView::UpRequested, this, &TfrmFileLocker::GoUp);
  connect(list_, &TssFileLockerListView::DragRequested, this, &TfrmFileLocker::DragOut);
  connect(list_, &TssFileLockerListView::SelectionChanged, this, &TfrmFileLocker::UpdateCommands);
  connect(list_, &TssFileLockerListView::ContextMenuRequested, this, [this](const QPoint& pos) {
    UpdateCommands();
    menu_->popup(pos);
  });
  connect(list_, &TssFileLockerListView::HeaderClicked, this, [this](int column) {
    sortKey_ = NextSortKey(sortKey_, column);
    list_->Model()->Sort(sortKey_);
    list_->DetailsView()->header()->setSortIndicator(SortColumn(sortKey_),
                                                     sortKey_ < 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
  });
  list_->DetailsView()->header()->setSortIndicator(0, Qt::AscendingOrder);
  setFocusProxy(list_->View());
  UpdateCommands();
}

QAction* TfrmFileLocker::AddAction(const char* name, const QString& caption, const QString& hint,
                                   const QKeySequence& key, void (TfrmFileLocker::*slot)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  action->setToolTip(hint.isEmpty() ? caption : hint);
  action->setStatusTip(hint);
  if (!key.isEmpty()) {
    action->setShortcut(key);
    // Only while the File Locker has the focus: the other tabs have keys of their own.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }
  connect(action, &QAction::triggered, this, slot);
  addAction(action);
  return action;
}

void TfrmFileLocker::AddLink(QAction* action, const QString& note) {
  QWidget* panel = links_->parentWidget();
  auto* link = new TqmHotLabel(action->text(), panel);
  QString name = action->objectName();
  link->setObjectName(QStringLiteral("lnk") + name.at(0).toUpper() + name.mid(1));
  // The link's hint is the note shown below it; a link without one takes the command's.
  if (!note.isEmpty()) link->setToolTip(note);
  link->SetAction(action);
  links_->addWidget(link);
  if (!note.isEmpty()) {
    auto* label = new QLabel(note, panel);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #4a5563; margin-left: 8px;"));
    links_->addWidget(label);
  }
  links_->addSpacing(8);
}

// --- The list ----------------------------------------------------------------------------------------------

void TfrmFileLocker::TabShown() {
  Refresh();
  // The tab's keys (Ctrl+L, Ctrl+N, ...) work at once after a switch to it.
  list_->View()->setFocus();
}

int TfrmFileLocker::ViewStyle() const {
  return list_->ViewStyle();
}

void TfrmFileLocker::SetViewStyle(int style) {
  list_->SetViewStyle(style);
  setFocusProxy(list_->View());
}

void TfrmFileLocker::Refresh(const std::string& folder) {
  currentFolder_ = folder;
  TqmGlobal& g = shell_.Global();
  std::vector<TqmLockerItem> items;
  if (g.SafeOpen()) {
    try {
      items = LockerItems(folder, g.ListLockerFolder(folder), g.OpenedCopyPaths());
    } catch (const std::exception& e) {
      ShowError(shell_.Window(),
                QStringLiteral("The folder could not be read from the Safe.\n\n") + FromMessage(e.what()));
    }
  }
  list_->Model()->SetItems(std::move(items), sortKey_);
  list_->Selection()->clear();
  UpdateCommands();
}

void TfrmFileLocker::SafeChangedElsewhere(const TqmSafeChanges& changes) {
  // A change of the folder shown, or of one above it (which may have taken it away), is seen here.
  bool shown = changes.Unknown;
  for (const std::string& folder : changes.LockerFolders)
    shown = shown || (folder.size() <= currentFolder_.size() &&
                      ::strncasecmp(folder.c_str(), currentFolder_.c_str(), folder.size()) == 0);
  if (!shown) return;
  std::vector<std::string> selected;
  for (const TqmLockerItem* item : SelectedItems())
    if (!item->IsUp()) selected.push_back(item->Name);
  const TqmLockerItem* current = list_->Model()->ItemAt(list_->Selection()->currentIndex().row());
  const std::string currentName = current && !current->IsUp() ? current->Name : std::string();
  // A name being edited in place: loading the folder anew closes the editor, so it is opened again on
  // the same item with what was typed, unless the item is gone.
  const TInlineEdit edit = list_->InlineEdit();
  // The folder shown, or the nearest one above it that is still there.
  std::string folder = currentFolder_;
  try {
    while (!IsLockerRoot(folder)) {
      const std::string parent = LockerParentFolder(folder);
      const std::string name = folder.substr(parent.size(), folder.size() - parent.size() - 1);
      if (FindLockerItem(LockerItems(parent, shell_.Global().ListLockerFolder(parent)), name) >= 0) break;
      folder = parent;
    }
  } catch (const std::exception&) {
    // The listing below says why the Safe cannot be read.
  }
  Refresh(folder);
  for (const std::string& name : selected)
    if (const int row = list_->Model()->RowOf(name); row >= 0)
      list_->Selection()->select(list_->Model()->index(row, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
  if (const int row = currentName.empty() ? -1 : list_->Model()->RowOf(currentName); row >= 0)
    list_->Selection()->setCurrentIndex(list_->Model()->index(row, 0), QItemSelectionModel::NoUpdate);
  if (const int row = edit.Row < 0 ? -1 : list_->Model()->RowOf(edit.Name); row >= 0)
    list_->ResumeInlineEdit(row, edit);
  UpdateCommands();
}

std::vector<const TqmLockerItem*> TfrmFileLocker::SelectedItems() const {
  std::vector<const TqmLockerItem*> items;
  for (int row : list_->SelectedRows())
    if (const TqmLockerItem* item = list_->Model()->ItemAt(row)) items.push_back(item);
  return items;
}

const TqmLockerItem* TfrmFileLocker::SelectedFile() const {
  const auto items = SelectedItems();
  return items.size() == 1 && items[0]->IsFile() ? items[0] : nullptr;
}

void TfrmFileLocker::UpdateCommands() {
  const auto items = SelectedItems();
  bool hasUp = false;
  for (const TqmLockerItem* item : items) hasUp = hasUp || item->IsUp();
  const bool one = items.size() == 1;
  const bool file = SelectedFile() != nullptr;
  const bool some = !items.empty() && !hasUp;
  openFile_->setEnabled(file);
  sendFile_->setEnabled(file);
  unlockFile_->setEnabled(some);
  deleteItem_->setEnabled(some);
  renameItem_->setEnabled(one && !hasUp);
}

void TfrmFileLocker::ActivateRow(int row) {
  const TqmLockerItem* item = list_->Model()->ItemAt(row);
  if (!item) return;
  if (item->IsUp()) {
    GoUp();
  } else if (item->IsFolder()) {
    Refresh(LockerSubfolder(currentFolder_, item->Name));
  } else {
    list_->SelectRow(row);
    OpenFileCommand();
  }
}

void TfrmFileLocker::GoUp() {
  if (IsLockerRoot(currentFolder_)) return;
  const std::string left = currentFolder_;
  Refresh(LockerParentFolder(currentFolder_));
  // The folder just left is where the user goes on from.
  std::string name = left.substr(0, left.size() - 1);
  name = name.substr(name.find_last_of('\\') + 1);
  const int row = list_->Model()->RowOf(name);
  if (row >= 0)
    list_->Selection()->setCurrentIndex(list_->Model()->index(row, 0), QItemSelectionModel::NoUpdate);
}

// --- Runs with progress ------------------------------------------------------------------------------------

QString TfrmFileLocker::StatusText(const QString& verb, const TqmLockerStatus& s, double seconds) const {
  QString text = QStringLiteral("%1 file %2 of %3: %4")
                     .arg(verb)
                     .arg(s.FileNumber)
                     .arg(s.FileCount)
                     .arg(FromSafeText(s.Name));
  text += QStringLiteral("\n%1 of %2 MiB").arg(MiB(s.Done), MiB(s.Total));
  if (seconds > 0.5 && s.Done > 0)
    text +=
        QStringLiteral(", %1 MiB/s").arg(MiB(static_cast<int64_t>(static_cast<double>(s.Done) / seconds)));
  return text;
}

namespace {

// The progress of a run of files, told to the progress window: the fraction of the bytes (of the files
// when there are no bytes), and the text at each new file (at most 25 times a second) and a few times a
// second.
class TRunProgress {
public:
  TRunProgress(QObject* context, QString verb,
               std::function<QString(const QString&, const TqmLockerStatus&, double)> text)
      : context_(context), verb_(std::move(verb)), text_(std::move(text)) {}

  TqmLockerProgress Bind(const TqmProgress& progress) {
    return [this, progress](const TqmLockerStatus& s, bool& cancel) {
      const double fraction = s.Total > 0       ? static_cast<double>(s.Done) / static_cast<double>(s.Total)
                              : s.FileCount > 0 ? static_cast<double>(s.FileNumber) / s.FileCount
                                                : 0.0;
      if (progress) progress(std::min(1.0, fraction), cancel);
      const auto now = TClock::now();
      // A new file is named at once, unless one was named just now: a run of many small files would
      // otherwise send the window a text for every file.
      const auto since = now - lastText_;
      if (since > std::chrono::milliseconds(200) ||
          (s.FileNumber != lastFile_ && since > std::chrono::milliseconds(40))) {
        lastFile_ = s.FileNumber;
        lastText_ = now;
        const QString text = text_(verb_, s, std::chrono::duration<double>(now - start_).count());
        QMetaObject::invokeMethod(
            context_,
            [text] {
              if (QProgressDialog* dialog = TqmProgressRunner::Current()) dialog->setLabelText(text);
            },
            Qt::QueuedConnection);
      }
    };
  }

private:
  QObject* context_;
  QString verb_;
  std::function<QString(const QString&, const TqmLockerStatus&, double)> text_;
  TClock::time_point start_ = TClock::now();
  TClock::time_point lastText_{};
  int lastFile_ = 0;
};

}  // namespace

int TfrmFileLocker::LockPaths(const QStringList& paths, bool fromDialog) {
  TqmGlobal& g = shell_.Global();
  if (!g.SafeOpen() || paths.isEmpty()) return 0;
  std::vector<std::string> disk;
  for (const QString& path : paths) disk.push_back(ToUtf8(path));
  const TqmLockPlan plan = TqmLockerCommands::PlanLock(currentFolder_, disk);
  const bool removeFromDisk = g.Settings().FileLocker.removeFileFromDisk.Value();
  // Several files ask with "Yes to all" and "No to all"; one file asks the Safe's own question.
  TqmOverwriteQuestion ask;
  if (plan.HasFolder || plan.Jobs.size() > 1) {
    ask = [this](const std::string& containerPath) {
      return OnWindowThread([&] {
        QMessageBox box(
            QMessageBox::Question, ProductTitle(),
            FromMessage(TqmSFSWrapper::kMsgFileExists) + QStringLiteral("\n\n") + FromSafeText(containerPath),
            QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll |
                QMessageBox::Cancel,
            MessageParent(shell_.Window()));
        box.setObjectName(QStringLiteral("dlgOverwrite"));
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::Cancel);
        switch (box.exec()) {
          case QMessageBox::Yes:
            return TqmOverwriteAnswer::Yes;
          case QMessageBox::YesToAll:
            return TqmOverwriteAnswer::YesToAll;
          case QMessageBox::No:
            return TqmOverwriteAnswer::No;
          case QMessageBox::NoToAll:
            return TqmOverwriteAnswer::NoToAll;
          default:
            return TqmOverwriteAnswer::Cancel;
        }
      });
    };
  }
  TqmLockOutcome out;
  if (!plan.Jobs.empty() || !plan.Folders.empty()) {
    TqmLockerCommands commands(g);
    TRunProgress relay(
        this, QStringLiteral("Locking"),
        [this](const QString& v, const TqmLockerStatus& s, double t) { return StatusText(v, s, t); });
    TqmOutcomeTexts texts;
    texts.failed = QStringLiteral("The files could not be locked into the Safe.");
    // A cancelled run is told below: the files locked before the Cancel stay in the Safe.
    const TqmOutcome outcome =
        RunWithOutcome(shell_.Window(), &shell_.Gate(), QStringLiteral("Locking files into the Safe ..."),
                       texts, [&](const TqmProgress& progress, std::string&) {
                         out = commands.Lock(plan, removeFromDisk, ask, relay.Bind(progress));
                         return !out.Cancelled;
                       });
    if (outcome == TqmOutcome::Failed) {
      Refresh();
      return 0;
    }
  } else {
    out.Skipped = plan.Skipped;
  }
  Refresh();

  // Folder runs list every file they left on the disk, those not overwritten too; a single file
  // declined by its question needs no message.
  std::vector<TqmLockerProblem> notLocked = out.Skipped;
  notLocked.insert(notLocked.end(), out.Failed.begin(), out.Failed.end());
  if (plan.HasFolder || plan.Jobs.size() > 1)
    notLocked.insert(notLocked.end(), out.Declined.begin(), out.Declined.end());
  if (fromDialog && !plan.HasFolder && plan.Jobs.size() == 1 && out.Failed.size() == 1 &&
      out.Skipped.empty()) {
    // One file of the dialog: the message of old, and why.
    ShowPlain(shell_.Window(), FromMessage(TqmGlobal::kMsgFileOpenedByAnother) + QStringLiteral("\n\n") +
                                   FromMessage(out.Failed[0].Reason));
  } else if (!notLocked.empty()) {
    ShowWarning(shell_.Window(),
                QStringLiteral("These were not locked into the Safe; they stay on the disk:") +
                    ProblemList(notLocked));
  }
  if (!out.NotRemoved.empty())
    ShowWarning(shell_.Window(),
                QStringLiteral("These are locked into the Safe, but could not be deleted from the disk:") +
                    ProblemList(out.NotRemoved) +
                    QStringLiteral("\n\nDelete them yourself if you do not want a copy on the disk."));
  if (out.Cancelled)
    ShowInformation(
        shell_.Window(),
        QStringLiteral("Locking was cancelled. %1 file(s) were locked before; the others stay on the "
                       "disk as they were.")
            .arg(out.Locked.size()));
  return static_cast<int>(out.Locked.size());
}

void TfrmFileLocker::DragOut() {
  std::vector<std::string> names;
  for (const TqmLockerItem* item : SelectedItems())
    if (item->IsFile()) names.push_back(item->Name);
  if (names.empty()) return;
  std::vector<std::string> copies;
  TqmLockerCommands commands(shell_.Global());
  TRunProgress relay(
      this, QStringLiteral("Preparing"),
      [this](const QString& v, const TqmLockerStatus& s, double t) { return StatusText(v, s, t); });
  TqmOutcomeTexts texts;
  texts.failed = QStringLiteral("The files could not be taken out of the Safe.");
  // A Cancel or a declined question drags the copies made before it.
  if (RunWithOutcome(shell_.Window(), &shell_.Gate(), QStringLiteral("Taking the files out of the Safe ..."),
                     texts, [&](const TqmProgress& progress, std::string&) {
                       for (const std::string& name : names) {
                         std::string copy = commands.TakeOutCopy(currentFolder_, name, relay.Bind(progress));
                         if (copy.empty()) return false;
                         copies.push_back(std::move(copy));
                       }
                       return true;
                     }) == TqmOutcome::Failed) {
    Refresh();
    return;
  }
  if (!copies.empty()) {
    QList<QUrl> urls;
    for (const std::string& copy : copies) urls << QUrl::fromLocalFile(FromUtf8(copy));
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    QDrag drag(list_->View());
    drag.setMimeData(mime);
    drag.exec(Qt::CopyAction);
  }
  // The copies wait to be written back: the files are marked.
  Refresh();
}

QString TfrmFileLocker::TakeOutSelectedCopy() {
  const TqmLockerItem* file = SelectedFile();
  if (!file) return {};
  const std::string name = file->Name;
  std::string copy;
  TqmLockerCommands commands(shell_.Global());
  TRunProgress relay(
      this, QStringLiteral("Opening"),
      [this](const QString& v, const TqmLockerStatus& s, double t) { return StatusText(v, s, t); });
  TqmOutcomeTexts texts;
  texts.failed = QStringLiteral("The file could not be taken out of the Safe.");
  texts.cancelled = QStringLiteral("Cancelled. No copy of the file was written.");
  // A declined question (the copy that waits is kept) needs no message.
  if (RunWithOutcome(shell_.Window(), &shell_.Gate(), QStringLiteral("Taking the file out of the Safe ..."),
                     texts, [&](const TqmProgress& progress, std::string&) {
                       copy = commands.TakeOutCopy(currentFolder_, name, relay.Bind(progress));
                       return !copy.empty();
                     }) != TqmOutcome::Done)
    return {};
  return FromUtf8(copy);
}

// --- Commands
// -----------------------------------------------------------------------------------------------

void TfrmFileLocker::LockFileCommand() {
  TqmFileRequest request;
  request.kind = TqmFileRequest::TKind::OpenFiles;
  request.caption = QStringLiteral("Lock File");
  request.filter = QStringLiteral("All files (*)");
  const QStringList files = ChooseFiles(shell_.Window(), request);
  if (!files.isEmpty()) LockPaths(files, true);
}

void TfrmFileLocker::LockFolderCommand() {
  TqmFileRequest request;
  request.kind = TqmFileRequest::TKind::Folder;
  request.caption = QStringLiteral("Lock Folder");
  const QString folder = ChooseFolder(shell_.Window(), request);
  if (!folder.isEmpty()) LockPaths({folder}, true);
}

bool TfrmFileLocker::LockDiskFile(const QString& path) {
  return LockPaths({path}, false) > 0;
}

void TfrmFileLocker::LockDiskFiles(const QStringList& paths) {
  LockPaths(paths, false);
}

void TfrmFileLocker::OpenFileCommand() {
  if (!SelectedFile()) return;
  const QString copy = TakeOutSelectedCopy();
  if (copy.isEmpty()) return;
  OpenWithDesktop(shell_.Window(), copy);
  // The file is marked: its copy waits to be written back.
  Refresh();
}

void TfrmFileLocker::SendFileCommand() {
  if (!SelectedFile()) return;
  const QString copy = TakeOutSelectedCopy();
  if (copy.isEmpty()) return;
  Refresh();
  shell_.PostCryptoMailFile(copy);
}

void TfrmFileLocker::UnlockFileCommand() {
  std::vector<std::string> names;
  for (const TqmLockerItem* item : SelectedItems())
    if (!item->IsUp()) names.push_back(item->Name);
  if (names.empty()) return;
  TqmFileRequest request;
  request.kind = TqmFileRequest::TKind::Folder;
  request.caption = QStringLiteral("Select directory");
  const QString folder = ChooseFolder(shell_.Window(), request);
  if (folder.isEmpty()) return;
  TqmUnlockOutcome out;
  TqmLockerCommands commands(shell_.Global());
  TRunProgress relay(
      this, QStringLiteral("Unlocking"),
      [this](const QString& v, const TqmLockerStatus& s, double t) { return StatusText(v, s, t); });
  TqmOutcomeTexts texts;
  texts.failed = QStringLiteral("The files could not be unlocked.");
  // A cancelled run is told below: the files written before the Cancel stay on the disk.
  const TqmOutcome outcome =
      RunWithOutcome(shell_.Window(), &shell_.Gate(), QStringLiteral("Unlocking files ..."), texts,
                     [&](const TqmProgress& progress, std::string&) {
                       out = commands.Unlock(currentFolder_, names, ToUtf8(folder), relay.Bind(progress));
                       return !out.Cancelled;
                     });
  Refresh();
  if (outcome == TqmOutcome::Failed) return;
  if (!out.Kept.empty())
    ShowWarning(shell_.Window(), QStringLiteral("These stay in the Safe:") + ProblemList(out.Kept, true));
  if (out.Cancelled)
    ShowInformation(shell_.Window(),
                    QStringLiteral("Unlocking was cancelled. The files written before are on the "
                                   "disk; what was not written in full stays in the Safe."));
}

void TfrmFileLocker::DeleteCommand() {
  std::vector<std::string> names;
  for (const TqmLockerItem* item : SelectedItems())
    if (!item->IsUp()) names.push_back(item->Name);
  if (names.empty()) return;
  TqmGlobal& g = shell_.Global();
  if (g.Settings().App.confDel.Value() && !AskYesNo(shell_.Window(), QString::fromLatin1(kMsgDelete))) return;
  TqmLockerCommands commands(g);
  try {
    for (const std::string& name : names) commands.Delete(currentFolder_, name);
  } catch (const std::exception& e) {
    ShowError(shell_.Window(), FromMessage(e.what()));
  }
  Refresh();
}

void TfrmFileLocker::RenameCommand() {
  const auto rows = list_->SelectedRows();
  if (rows.size() != 1) return;
  const TqmLockerItem* item = list_->Model()->ItemAt(rows[0]);
  if (!item || item->IsUp()) return;
  list_->EditRow(rows[0]);
}

void TfrmFileLocker::RenameTo(const QByteArray& oldNameBytes, const QString& newName) {
  const std::string oldName(oldNameBytes.constData(), static_cast<size_t>(oldNameBytes.size()));
  std::string name;
  QString problem;
  if (!ToSafeText(newName, name, &problem, QStringLiteral("name"))) {
    ShowError(shell_.Window(), problem);
    return;
  }
  std::string why;
  TqmLockerCommands::TRename result = TqmLockerCommands::TRename::Unchanged;
  try {
    result = TqmLockerCommands(shell_.Global()).Rename(currentFolder_, oldName, name, &why);
  } catch (const std::exception& e) {
    ShowError(shell_.Window(),
              QString::fromLatin1(kMsgNameExists) + QStringLiteral("\n\n") + FromMessage(e.what()));
    return;
  }
  switch (result) {
    case TqmLockerCommands::TRename::Unchanged:
    case TqmLockerCommands::TRename::Cancelled:
      return;
    case TqmLockerCommands::TRename::Invalid:
      ShowError(shell_.Window(),
                QStringLiteral("The name \"%1\" is invalid.\n\n").arg(newName) + FromMessage(why));
      return;
    case TqmLockerCommands::TRename::Taken:
      ShowError(shell_.Window(), QString::fromLatin1(kMsgNameExists));
      return;
    case TqmLockerCommands::TRename::Done:
      break;
  }
  Refresh();
  list_->SelectRow(list_->Model()->RowOf(name));
}

void TfrmFileLocker::CreateFolderCommand() {
  TqmGlobal& g = shell_.Global();
  if (!g.SafeOpen()) return;
  QInputDialog dialog(shell_.Window());
  dialog.setObjectName(QStringLiteral("dlgFolderName"));
  dialog.setWindowTitle(ProductTitle());
  dialog.setLabelText(QStringLiteral("Folder Name"));
  dialog.setTextValue(QStringLiteral("My Folder"));
  // Dismissing the box creates nothing.
  if (dialog.exec() != QDialog::Accepted) return;
  std::string name;
  QString problem;
  if (!ToSafeText(dialog.textValue(), name, &problem, QStringLiteral("folder name"))) {
    ShowError(shell_.Window(), problem);
    return;
  }
  if (const std::string why = LockerNameProblem(name, "The folder name"); !why.empty()) {
    ShowError(
        shell_.Window(),
        QStringLiteral("The folder name \"%1\" is invalid.\n\n").arg(dialog.textValue()) + FromMessage(why));
    return;
  }
  try {
    g.CreateFolder(currentFolder_, name);
  } catch (const std::exception& e) {
    ShowError(shell_.Window(), FromMessage(e.what()));
  }
  Refresh();
  list_->SelectRow(list_->Model()->RowOf(name));
}

}  // namespace quillmar
