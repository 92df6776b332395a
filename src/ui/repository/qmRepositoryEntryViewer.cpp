#include "repository/qmRepositoryEntryViewer.h"

#include <QFontMetrics>
#include <QFrame>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "model/qmRepositoryEntry.h"
#include "repository/fields/qmFieldFactory.h"
#include "widgets/qmText.h"

namespace quillmar {

TqmRepositoryEntryViewer::TqmRepositoryEntryViewer(TqmGlobal& global, QWidget* parent)
    : QFrame(parent), g_(global) {
  setObjectName(QStringLiteral("TqmRepositoryEntryViewer"));
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  scrollBox_ = new QScrollArea(this);
  scrollBox_->setObjectName(QStringLiteral("scrEntryView"));
  scrollBox_->setFrameShape(QFrame::NoFrame);
  scrollBox_->setWidgetResizable(false);
  scrollBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scrollBox_->setPalette(white);
  content_ = new QWidget();
  content_->setObjectName(QStringLiteral("pnlEntryView"));
  content_->setAutoFillBackground(true);
  content_->setPalette(white);
  scrollBox_->setWidget(content_);
  layout->addWidget(scrollBox_);
  resize(619, 101);
}

void TqmRepositoryEntryViewer::ShowEntry(TqmRepositoryEntry* entry) {
  // 1. No painting while the view is rebuilt; back to the top.
  setUpdatesEnabled(false);
  scrollBox_->verticalScrollBar()->setValue(0);
  scrollBox_->hide();
  // 2. The field viewers go (other children of the scroll box stay).
  for (TqmCustomFieldViewer* viewer : viewers_) {
    if (viewer->Panel()) delete viewer->Panel();
    delete viewer;
  }
  viewers_.clear();
  entry_ = entry;
  const int W = scrollBox_->width();
  content_->resize(std::max(0, W - scrollBox_->verticalScrollBar()->sizeHint().width()), 0);
  if (entry != nullptr) {
    // 4. One caption width for all.
    const QFontMetrics metrics(content_->font());
    int captionWidth = 0;
    for (const auto& field : entry->Fields())
      captionWidth = std::max(captionWidth,
                              metrics.horizontalAdvance(FromSafeText(field->Name()) + QStringLiteral(": ")));
    // 5. The walk.
    TqmFieldContext context;
    context.global = &g_;
    context.entry = entry;
    QPointer<TqmRepositoryEntryViewer> self(this);
    context.entrySaved = [self, entry] {
      if (!self) return;
      if (self->entry_ == entry) self->ShowEntry(entry);
      emit self->entrySaved(entry);
    };
    int x = 0, y = 1, lastHeight = 0;
    int bottom = 0;
    for (int i = 0; i < entry->Fields().Count(); ++i) {
      TqmField& field = entry->FieldAt(i);
      context.index = i;
      TqmCustomFieldViewer* viewer = CreateFieldViewer(content_, field, context);
      viewers_.push_back(viewer);
      const bool memo = field.FieldType() == ftTextMemo;
      if (memo) {
        if (x == 5) y += lastHeight + 4;
        x = 5;
        viewer->SetWidth(W - 25);
      } else {
        x = x == 5 ? (W - 15) / 2 : 5;
        viewer->SetWidth((W - 20) / 2 - 10);
      }
      viewer->SetLeft(x);
      viewer->SetTop(y);
      bottom = std::max(bottom, y + viewer->Height());
      lastHeight = viewer->Height();
      if (memo) {
        y += 2;
        x = 0;
      }
      if (x != 5) y += viewer->Height() + 1;
      viewer->SetCaptionWidth(captionWidth);
    }
    content_->resize(content_->width(), bottom + 4);
  }
  // 7, 8. Back, and painted with all its children.
  scrollBox_->show();
  setUpdatesEnabled(true);
  update();
}

}  // namespace quillmar
