#include "uisupport/Child.h"

namespace quillmar::test {

QString DescribeObject(const QObject* object) {
  if (object == nullptr) return QStringLiteral("(no object)");
  const QString type = QString::fromLatin1(object->metaObject()->className());
  const QString name = object->objectName();
  return name.isEmpty() || name == type ? type : QStringLiteral("%1 \"%2\"").arg(type, name);
}

void ThrowMissingChild(const QObject* parent, const char* wanted, const QString& name) {
  QString text = QStringLiteral("%1 has no %2 named \"%3\"")
                     .arg(DescribeObject(parent), QString::fromLatin1(wanted), name);
  if (parent != nullptr)
    if (const QObject* other = parent->findChild<QObject*>(name))
      text += QStringLiteral(" (it has a %1 of that name)")
                  .arg(QString::fromLatin1(other->metaObject()->className()));
  throw TMissingChild(text.toStdString());
}

}  // namespace quillmar::test
