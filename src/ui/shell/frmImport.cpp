#include "shell/frmImport.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "core/qmImportSource.h"
#include "core/qmImporter.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// The formats in the order of the format box.
constexpr TqmImportFormat kFormats[] = {TqmImportFormat::KeePassXC, TqmImportFormat::Bitwarden,
                                        TqmImportFormat::Csv};

QString Labelled(const std::string& where, const std::string& title) {
  QString s = FromUtf8(where);
  if (!title.empty())
    s += (s.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1Char('"') + FromUtf8(title) +
         QLatin1Char('"');
  return s;
}

QTreeWidgetItem* AddLine(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& first,
                         const QString& second) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  item->setText(0, first);
  item->setText(1, second);
  item->setToolTip(0, first);
  item->setToolTip(1, second);
  return item;
}

}  // namespace

TfrmImport::TfrmImport(TqmGlobal& g, TqmBusyGate& gate, QWidget* parent)
    : QDialog(parent), g_(g), gate_(gate) {
  setObjectName(QStringLiteral("TfrmImport"));
  setWindowTitle(QStringLiteral("Import from another password manager"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  auto* fileRow = new QHBoxLayout;
  file_ = new QLineEdit(this);
  file_->setObjectName(QStringLiteral("txtFile"));
  file_->setPlaceholderText(QStringLiteral("The export file of the other password manager"));
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setObjectName(QStringLiteral("btnFile"));
  browse_->setToolTip(QStringLiteral("Choose the export file"));
  browse_->setAutoDefault(false);
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse_);
  auto* fileLabel = new QLabel(QStringLiteral("&File:"), this);
  fileLabel->setBuddy(file_);
  form->addRow(fileLabel, fileRow);

  format_ = new QComboBox(this);
  format_->setObjectName(QStringLiteral("cmbFormat"));
  format_->addItem(QStringLiteral("KeePassXC (CSV export)"));
  format_->addItem(QStringLiteral("Bitwarden (unencrypted JSON export)"));
  format_->addItem(QStringLiteral("Other (CSV with a header line)"));
  auto* formatLabel = new QLabel(QStringLiteral("F&ormat:"), this);
  formatLabel->setBuddy(format_);
  form->addRow(formatLabel, format_);

  mapping_ = new QLineEdit(this);
  mapping_->setObjectName(QStringLiteral("txtMapping"));
  mapping_->setPlaceholderText(QStringLiteral("Title=name,Username=login,Password=pw,URL=site"));
  mapping_->setToolTip(
      QStringLiteral("Which column gives what, as TARGET=COLUMN pairs separated by commas. Targets: Title, "
                     "Username, Password, URL, Notes, Email, Group, or the name of a field. Columns not "
                     "named are taken by their header where it is a known name, else into the notes."));
  mappingLabel_ = new QLabel(QStringLiteral("Column &mapping:"), this);
  mappingLabel_->setBuddy(mapping_);
  form->addRow(mappingLabel_, mapping_);

  into_ = new QLineEdit(this);
  into_->setObjectName(QStringLiteral("txtInto"));
  into_->setPlaceholderText(QStringLiteral("None: the Safe's own categories (Web Logins, Notes, ...)"));
  into_->setToolTip(
      QStringLiteral("The category to import into, with \"/\" between the names of a path "
                     "(\"Imported/KeePassXC\"); made when it is missing."));
  auto* intoLabel = new QLabel(QStringLiteral("Into &category:"), this);
  intoLabel->setBuddy(into_);
  form->addRow(intoLabel, into_);

  replace_ = new QCheckBox(
      QStringLiteral("&Replace characters the Safe cannot hold with \"?\" (else such entries are left out)"),
      this);
  replace_->setObjectName(QStringLiteral("chkReplaceUnencodable"));
  form->addRow(QString(), replace_);

  auto* previewRow = new QHBoxLayout;
  preview_ = new QPushButton(QStringLiteral("&Preview"), this);
  preview_->setObjectName(QStringLiteral("btnPreview"));
  preview_->setToolTip(QStringLiteral("Read the file and show what the import will create"));
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("lblSummary"));
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  previewRow->addWidget(preview_, 0, Qt::AlignTop);
  previewRow->addWidget(summary_, 1);
  layout->addLayout(previewRow);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("tvPreview"));
  tree_->setHeaderLabels({QStringLiteral("Category / entry"), QStringLiteral("What the import does")});
  tree_->setRootIsDecorated(true);
  tree_->setUniformRowHeights(true);
  tree_->header()->setStretchLastSection(true);
  tree_->setColumnWidth(0, 270);
  tree_->setMinimumHeight(220);
  layout->addWidget(tree_, 1);

  auto* buttons = new QDialogButtonBox(this);
  import_ = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
  import_->setObjectName(QStringLiteral("btnImport"));
  import_->setToolTip(QStringLiteral("Create the entries shown above in the Safe"));
  close_ = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
  close_->setObjectName(QStringLiteral("btnCancel"));
  layout->addWidget(buttons);
  // The accept role would close the dialog: Import decides that itself.
  disconnect(buttons, &QDialogButtonBox::accepted, nullptr, nullptr);
  connect(import_, &QPushButton::clicked, this, [this] {
    if (Import()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmImport::reject);
  connect(browse_, &QPushButton::clicked, this, &TfrmImport::ChooseFile);
  connect(preview_, &QPushButton::clicked, this, [this] { Preview(); });
  connect(format_, &QComboBox::currentIndexChanged, this, &TfrmImport::FormatChanged);
  for (QLineEdit* edit : {file_, mapping_, into_})
    connect(edit, &QLineEdit::textEdited, this, &TfrmImport::DropPreview);
  connect(replace_, &QCheckBox::toggled, this, &TfrmImport::DropPreview);

  FormatChanged();
  resize(880, 560);
}

TfrmImport::~TfrmImport() = default;

void TfrmImport::ChooseFile() {
  TqmFileRequest request;
  request.kind = TqmFileRequest::TKind::Open;
  request.caption = QStringLiteral("Choose the export to import");
  request.filter =
      QStringLiteral("Exports (*.csv *.json);;CSV files (*.csv);;JSON files (*.json);;All files (*)");
  const QString info = file_->text().trimmed();
  request.folder = info.isEmpty() ? DocumentsFolder() : QFileInfo(info).absolutePath();
  const QString path = quillmar::ChooseFile(this, request);
  if (!path.isEmpty()) SetFile(path);
}

bool TfrmImport::SetFile(const QString& path) {
  file_->setText(path);
  const bool json = path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
  if (json)
    format_->setCurrentIndex(1);
  else if (format_->currentIndex() == 1)
    format_->setCurrentIndex(0);
  return Preview();
}

void TfrmImport::FormatChanged() {
  const bool csv = kFormats[std::max(format_->currentIndex(), 0)] == TqmImportFormat::Csv;
  mapping_->setEnabled(csv);
  mappingLabel_->setEnabled(csv);
  DropPreview();
}

void TfrmImport::DropPreview() {
  planned_ = false;
  tree_->clear();
  summary_->setText(file_->text().trimmed().isEmpty()
                        ? QStringLiteral("Choose the export file, then Preview.")
                        : QStringLiteral("Preview shows what the import will create."));
  import_->setEnabled(false);
  preview_->setDefault(true);
}

bool TfrmImport::Preview() {
  DropPreview();
  const QString path = file_->text().trimmed();
  if (path.isEmpty()) {
    ShowWarning(this, QStringLiteral("Choose the export file to import first."));
    file_->setFocus();
    return false;
  }
  const TqmImportFormat format = kFormats[std::max(format_->currentIndex(), 0)];
  std::vector<TqmColumnMapping> mapping;
  if (format == TqmImportFormat::Csv && !mapping_->text().trimmed().isEmpty()) {
    try {
      mapping = ParseColumnMapping(ToUtf8(mapping_->text().trimmed()));
    } catch (const std::exception& e) {
      ShowWarning(this, QStringLiteral("The column mapping cannot be used: %1").arg(FromMessage(e.what())));
      mapping_->setFocus();
      return false;
    }
  }
  TqmImportOptions options;
  options.replaceUnencodable = replace_->isChecked();
  for (const QString& part : into_->text().split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    const QString name = part.trimmed();
    if (name.isEmpty()) continue;
    std::string safeName;
    QString problem;
    if (!ToSafeText(name, safeName, &problem, QStringLiteral("category name"))) {
      ShowWarning(this, problem);
      into_->setFocus();
      return false;
    }
    options.into.push_back({safeName, 0});
  }

  if (!importer_) importer_ = std::make_unique<TqmImporter>(g_, SafeCodePage());
  try {
    // Reading the file and the Safe's categories may take a moment on a large export.
    TqmProgressRunner::RunBusy(&gate_, [&] {
      const TqmImportSource source = ReadImportFile(ToUtf8(path), format, mapping);
      importer_->Plan(source, options);
    });
  } catch (const std::exception& e) {
    summary_->setText(QStringLiteral("Nothing to import."));
    ShowWarning(this, QStringLiteral("The file cannot be imported.\n\n%1").arg(FromMessage(e.what())));
    file_->setFocus();
    return false;
  }
  const TqmImportPlan& plan = importer_->CurrentPlan();
  ShowPlan(plan);
  plannedFile_ = path;
  planned_ = !plan.entries.empty();
  import_->setEnabled(planned_);
  if (planned_) import_->setDefault(true);
  return planned_;
}

void TfrmImport::ShowPlan(const TqmImportPlan& plan) {
  tree_->clear();
  std::vector<QTreeWidgetItem*> categories;
  for (const auto& c : plan.categories) {
    QString what;
    if (c.created)
      what = c.madeFrom.empty() ? QStringLiteral("new, with the fields of its first entry")
                                : QStringLiteral("new, from the template \"%1\"").arg(FromUtf8(c.madeFrom));
    else
      what = QStringLiteral("existing");
    if (c.entries > 0)
      what += QStringLiteral("; %1 %2").arg(c.entries).arg(c.entries == 1 ? "entry" : "entries");
    if (!c.addedFields.empty()) {
      QStringList fields;
      for (const auto& f : c.addedFields) fields << FromUtf8(f);
      what += QStringLiteral("; new fields: ") + fields.join(QStringLiteral(", "));
    }
    QTreeWidgetItem* item = AddLine(tree_, nullptr, FromUtf8(c.path), what);
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    categories.push_back(item);
  }
  for (const auto& e : plan.entries) {
    QStringList what;
    what << FromUtf8(e.where);
    if (e.titleTaken) what << QStringLiteral("another entry of the category has this title");
    for (const auto& note : e.notes) what << FromUtf8(note);
    QTreeWidgetItem* parent = e.category < categories.size() ? categories[e.category] : nullptr;
    AddLine(tree_, parent, FromUtf8(e.title), what.join(QStringLiteral("; ")));
  }
  if (!plan.skipped.empty()) {
    QTreeWidgetItem* skipped = AddLine(
        tree_, nullptr, QStringLiteral("Left out (%1)").arg(plan.skipped.size()),
        std::any_of(plan.skipped.begin(), plan.skipped.end(), [](const auto& s) { return s.unencodable; })
            ? QStringLiteral("\"Replace characters ...\" imports those with characters the Safe cannot hold")
            : QString());
    skipped->setForeground(0, QColor(0xb0, 0x30, 0x20));
    for (const auto& s : plan.skipped)
      AddLine(tree_, skipped, Labelled(s.where, s.title), FromUtf8(s.reason));
  }
  if (!plan.notes.empty()) {
    QTreeWidgetItem* notes =
        AddLine(tree_, nullptr, QStringLiteral("Notes (%1)").arg(plan.notes.size()), QString());
    for (const auto& n : plan.notes) AddLine(tree_, notes, QString(), FromUtf8(n));
  }
  tree_->expandAll();
  QString summary = FromUtf8(plan.Summary("Would import"));
  if (plan.entries.empty()) summary += QStringLiteral(" There is nothing to import.");
  summary_->setText(summary);
  if (tree_->topLevelItemCount() > 0) tree_->setCurrentItem(tree_->topLevelItem(0));
}

bool TfrmImport::Import() {
  if (!planned_ || !importer_) return false;
  planned_ = false;
  import_->setEnabled(false);
  TqmOutcomeTexts texts;
  texts.cancelled = QStringLiteral("The import was cancelled. Nothing was imported; the Safe is as it was.");
  texts.failed = QStringLiteral("Nothing was imported; the Safe is as it was.");
  const TqmOutcome outcome =
      RunWithOutcome(this, &gate_, QStringLiteral("Importing ..."), texts,
                     [&](const TqmProgress& progress, std::string&) { return importer_->Run(progress); });
  if (outcome != TqmOutcome::Done) {
    // A plan runs once: plan again, so that the user may try again.
    Preview();
    return false;
  }
  imported_ = true;
  ShowInformation(this,
                  FromUtf8(importer_->CurrentPlan().Summary("Imported")) +
                      QStringLiteral("\n\nThe file %1 holds your passwords in clear text: delete it once you "
                                     "have checked the import.")
                          .arg(plannedFile_));
  return true;
}

}  // namespace quillmar
