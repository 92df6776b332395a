#pragma once
// Child<T>(parent, name): the object of type T and that objectName anywhere below parent. A missing
// one throws TMissingChild whose message names the type, the name and the parent (and what has the
// name instead, when something does), so that a test or a screenshot row stops saying what is
// missing instead of crashing on a null pointer:
//
//   Child<QLineEdit>(login, "txtMasterPassword")->setText(...);
//
// In a test body the exception fails the test with that message; in a TqmUiScript step it is one of
// the script's problems; in a screenshot row it fails the row.
#include <QObject>
#include <QString>
#include <stdexcept>

namespace quillmar::test {

class TMissingChild : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// "TfrmLogin \"TfrmLogin\"": the class and objectName of an object, for messages.
QString DescribeObject(const QObject* object);

// Throws TMissingChild: parent has no wanted (a class name) named name.
[[noreturn]] void ThrowMissingChild(const QObject* parent, const char* wanted, const QString& name);

template <class T>
T* Child(const QObject* parent, const QString& name) {
  if (parent != nullptr)
    if (T* found = parent->findChild<T*>(name)) return found;
  ThrowMissingChild(parent, T::staticMetaObject.className(), name);
}

template <class T>
T* Child(const QObject* parent, const char* name) {
  return Child<T>(parent, QString::fromLatin1(name));
}

}  // namespace quillmar::test
