#pragma once
// What the rest of the desktop asks of the web-form autofill windows: the wizard that captures a
// login form into an entry's autofill record, and the filler that fills a page from it. The entry
// editor's "Web Page Autofill Wizard" button calls RunAutoFillWizard; filling goes through
// TqmGlobal::FillWebForm, whose filler (AutoFillFiller) the program sets at start.
//
// Both run on QtWebEngine, which starts with the first of them (autofill/qmWebEngine.h). When it
// cannot start (as root with Chromium's sandbox on) they say so in a message box instead.
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace quillmar {

class TqmAutoFillFiller;
class TfrmAutoFillBrowser;

// True: the wizard is built (a run tells the user when the web engine cannot start).
bool AutoFillWizardAvailable();

// Runs the wizard (modal over parent) with the Value of each of the entry's URL fields, in field
// order, empty ones included, and the Name of every field, in field order (Safe text). Returns the
// record the wizard built when it ended with Finish, nothing when it was cancelled (the caller's record
// then stays as it was) or the web engine cannot start. REQUIRES: AutoFillWizardAvailable().
std::optional<std::string> RunAutoFillWizard(QWidget* parent, const std::vector<std::string>& urls,
                                             const std::vector<std::string>& fieldNames);

// Opens a browser window of the program's own that loads the record's page and fills it from the
// name-value list (an entry's NameValueList, Safe text); see autofill/frmAutoFillBrowser.h. The window
// is not modal and stays open. Null, after a message box that says why, when the record names no form
// (fewer than two ";"-separated pieces) or the web engine cannot start.
TfrmAutoFillBrowser* PerformAutoFill(const std::string& record, const std::vector<std::string>& nameValues);

// The filler the program sets on TqmGlobal at start: FillWebForm runs PerformAutoFill and is true
// once its window is open.
TqmAutoFillFiller& AutoFillFiller();

}  // namespace quillmar
