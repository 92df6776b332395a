#include "autofill/qmFormListing.h"

namespace quillmar {

namespace {

QVector<TqmListedInput> Inputs(const QVariant& list) {
  QVector<TqmListedInput> inputs;
  for (const QVariant& v : list.toList()) {
    const QVariantMap m = v.toMap();
    inputs.push_back({m.value(QStringLiteral("name")).toString(), m.value(QStringLiteral("type")).toString(),
                      m.value(QStringLiteral("label")).toString()});
  }
  return inputs;
}

TqmListedDocument Document(const QVariantMap& m) {
  TqmListedDocument d;
  d.crossOrigin = m.value(QStringLiteral("crossOrigin")).toBool();
  for (const QVariant& f : m.value(QStringLiteral("forms")).toList()) {
    const QVariantMap fm = f.toMap();
    d.forms.push_back(
        {fm.value(QStringLiteral("action")).toString(), Inputs(fm.value(QStringLiteral("inputs")))});
  }
  d.noForm = Inputs(m.value(QStringLiteral("noForm")));
  return d;
}

int Count(const TqmListedDocument& d) {
  int n = static_cast<int>(d.noForm.size());
  for (const auto& f : d.forms) n += static_cast<int>(f.inputs.size());
  return n;
}

}  // namespace

int TqmFormListing::InputCount() const {
  int n = Count(page);
  for (const auto& f : frames) n += Count(f);
  return n;
}

TqmFormListing TqmFormListing::FromAnswer(const QVariant& answer) {
  TqmFormListing listing;
  if (!answer.isValid()) return listing;
  const QVariantMap m = answer.toMap();
  listing.answered = true;
  listing.html = m.value(QStringLiteral("html")).toBool();
  listing.url = m.value(QStringLiteral("url")).toString();
  listing.page = Document(m);
  for (const QVariant& f : m.value(QStringLiteral("frames")).toList())
    listing.frames.push_back(Document(f.toMap()));
  return listing;
}

}  // namespace quillmar
