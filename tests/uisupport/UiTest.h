#pragma once
// UiTest: the base fixture of the widget tests. Each test gets a temporary home folder with Safes
// copied from prepared ones (a Safe is made once per password and content in a run), the
// application object, the main window (no tray unless asked, no screen-lock watching), and a
// TqmUiScript that answers the windows and message boxes as they come. At the end of the test every
// scripted step must have come and nothing unexpected been shown.
//
// Each test file derives a fixture named after what it tests, so that --gtest_filter and the
// build's one CTest entry per fixture select it:
//
//   class LoginTest : public UiTest {};
//   TEST_F(LoginTest, ...) { MakeSafe("Alpha", "alpha-pass"); StartAndLogin("Alpha", "alpha-pass"); ... }
//
// Controls are found with Child<T> (uisupport/Child.h), never with a bare findChild.
#include <gtest/gtest.h>

// The controls most tests look at.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "core/qmGlobal.h"
#include "shell/frmLogin.h"
#include "shell/frmQuillmar.h"
#include "shell/qmQtPrompter.h"
#include "support/TempDir.h"
#include "uisupport/Child.h"
#include "uisupport/Waiting.h"
#include "uisupport/qmUiScript.h"

namespace quillmar::test {

class UiTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The application object, made on first use with these arguments.
  TqmGlobal& G(std::vector<std::string> arguments = {"quillmar"});
  // The main window, made on first use. tray: the desktop has a tray.
  TfrmQuillmar& W(bool tray = false);
  // Destroys the window (and then the application object), as the program's end does.
  void EndProgram();

  // Puts a Safe into the home folder (hardened, at the tests' key-derivation cost).
  void MakeSafe(const std::string& name, const std::string& password, bool demo = false);
  // A disk file in the test folder.
  std::string DiskFile(const std::string& name, const std::string& content);
  // The names of the files directly in the File Locker's root of the open Safe.
  std::vector<std::string> LockedFiles();
  // The content of a locked file of the open Safe.
  std::string LockedContent(const std::string& name);

  // Script steps for the login window.
  void ScriptLogin(const std::string& safeName, const std::string& password);
  // compatible: "Readable by older versions (weaker protection)" is marked (else it is left off, and
  // the Safe is hardened).
  void ScriptCreate(const std::string& safeName, const std::string& password, const std::string& confirm,
                    bool demo = false, bool compatible = false);
  void ScriptCancelLogin();
  // Starts the window and logs in to the Safe.
  void StartAndLogin(const std::string& safeName, const std::string& password, bool tray = false);

  // Every scripted step done and nothing unexpected shown.
  void ExpectScriptDone();

  TempDir dir_;
  std::unique_ptr<TqmUiScript> script_;
  TqmQtPrompter prompter_;
  std::unique_ptr<TqmGlobal> g_;
  std::unique_ptr<TfrmQuillmar> w_;
};

}  // namespace quillmar::test
