#pragma once
// TqmFormListing: what the page script (autofill.js, op "list") found on a page: whether it is an HTML
// document, its forms with their listed inputs (types text, password, email and tel), its inputs
// outside any form, and the same for each frame of the page, in frame order (a frame of another
// origin keeps its place and lists nothing).
#include <QString>
#include <QVariant>
#include <QVector>

namespace quillmar {

struct TqmListedInput {
  QString name;  // the name attribute, else the id, else "#n"
  QString type;
  QString label;  // its label, placeholder or accessible name ("" when none)
};

struct TqmListedForm {
  QString action;
  QVector<TqmListedInput> inputs;
};

struct TqmListedDocument {
  bool crossOrigin = false;
  QVector<TqmListedForm> forms;
  QVector<TqmListedInput> noForm;  // the inputs outside any form
};

struct TqmFormListing {
  bool answered = false;  // the page answered at all
  bool html = false;      // an HTML document loaded from an address
  QString url;
  TqmListedDocument page;
  QVector<TqmListedDocument> frames;

  // The number of listed inputs of the page and its frames.
  int InputCount() const;
  static TqmFormListing FromAnswer(const QVariant& answer);
};

}  // namespace quillmar
