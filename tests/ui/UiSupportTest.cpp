// The desktop's test support itself: a missing control is named, and a script step that cannot do
// its part is a problem of the script instead of a crash or a window left open.
#include <QDialog>

#include "support/ExpectThrow.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

TEST(UiSupportTest, AMissingControlIsNamedAndAScriptStepThatMissesOneIsAProblemNotAHang) {
  QDialog dialog;
  dialog.setObjectName(QStringLiteral("dlgSample"));
  auto* name = new QLineEdit(&dialog);
  name->setObjectName(QStringLiteral("txtName"));
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtName"), name);
  EXPECT_EQ(ExpectThrow<TMissingChild>([&] { Child<QPushButton>(&dialog, "txtName"); }),
            "QDialog \"dlgSample\" has no QPushButton named \"txtName\" (it has a QLineEdit of that name)");
  EXPECT_EQ(ExpectThrow<TMissingChild>([&] { Child<QPushButton>(nullptr, "btnOk"); }),
            "(no object) has no QPushButton named \"btnOk\"");

  TqmUiScript script;
  script.On<QDialog>([](QDialog* d) { Child<QPushButton>(d, "btnOk")->click(); },
                     QStringLiteral("pressing OK"));
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);  // closed by the script, not left open
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(
      script.Problems(),
      QStringList{QStringLiteral("pressing OK: QDialog \"dlgSample\" has no QPushButton named \"btnOk\"")});
}

}  // namespace
}  // namespace quillmar::test
