// The window of each tab. A feature's issue replaces its placeholder here by its own window.
#include "cryptomail/frmCryptoMail.h"
#include "filelocker/frmFileLocker.h"
#include "repository/frmPasswordRepository.h"
#include "shell/frmOptions.h"
#include "shell/qmTabWindow.h"

namespace quillmar {

TqmTabFactories TqmTabFactories::Default() {
  TqmTabFactories f;
  f.Create[tabPasswordRepository] = [](TqmShell& shell, QWidget* parent) -> TqmTabWindow* {
    return new TfrmPasswordRepository(shell, parent);
  };
  f.Create[tabFileLocker] = [](TqmShell& shell, QWidget* parent) -> TqmTabWindow* {
    return new TfrmFileLocker(shell, parent);
  };
  f.Create[tabCryptoMail] = [](TqmShell& shell, QWidget* parent) -> TqmTabWindow* {
    return new TfrmCryptoMail(shell, parent);
  };
  f.Create[tabOptions] = [](TqmShell& shell, QWidget* parent) -> TqmTabWindow* {
    return new TfrmOptions(shell, parent);
  };
  return f;
}

}  // namespace quillmar
