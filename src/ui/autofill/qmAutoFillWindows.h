#pragma once
// What the rest of the desktop asks of the web-form autofill windows: the wizard that captures a
// login form into an entry's autofill record. (Filling a page goes through TqmGlobal::FillWebForm,
// whose filler the autofill module sets at start.) The entry editor's "Web Page Autofill Wizard"
// button calls it; the autofill module defines it.
//
// Until the wizard is built, AutoFillWizardAvailable() is false and the entry editor keeps its button
// disabled; RunAutoFillWizard must then not be called.
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace quillmar {

bool AutoFillWizardAvailable();

// Runs the wizard (modal over parent) with the Value of each of the entry's URL fields, in field
// order, empty ones included, and the Name of every field, in field order (Safe text). Returns the
// record the wizard built when it ended with Finish, nothing when it was cancelled (the caller's record
// then stays as it was). REQUIRES: AutoFillWizardAvailable().
std::optional<std::string> RunAutoFillWizard(QWidget* parent, const std::vector<std::string>& urls,
                                             const std::vector<std::string>& fieldNames);

}  // namespace quillmar
