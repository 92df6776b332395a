#include "shell/qmProgram.h"

#include <QDBusConnection>
#include <QMetaObject>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "autofill/qmAutoFillWindows.h"
#include "autofill/qmWebEngine.h"
#include "core/ReminderScheduler.h"
#include "core/qmGlobal.h"
#include "platform/InstanceChannel.h"
#include "reminders/qmReminderDesktop.h"
#include "shell/frmQuillmar.h"
#include "shell/qmApplication.h"
#include "shell/qmInstanceServer.h"
#include "shell/qmMessages.h"
#include "shell/qmQtPrompter.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

std::function<void(TfrmQuillmar&)>& MainWindowHook() {
  static std::function<void(TfrmQuillmar&)> hook;
  return hook;
}

// How long a second copy waits for the running one (it may hold the lock but not listen yet).
constexpr int kHandOverWaitMs = 5000;

}  // namespace

void SetMainWindowHook(std::function<void(TfrmQuillmar&)> hook) {
  MainWindowHook() = std::move(hook);
}

int RunQuillmar(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::string home;
  std::string socketPath;
  TInstanceLock lock;
  try {
    home = TqmGlobal::HomeFolderFromArguments(arguments);
    socketPath = InstanceSocketPath(home);
    if (!lock.TryAcquire(InstanceLockPath(home))) {
      // Another copy runs for this home folder: it gets the files (or comes to the front).
      std::string payload = kRestoreMessage;
      for (size_t i = 1; i < arguments.size(); ++i)
        if (arguments[i].find("/rf:[") != std::string::npos) {
          payload = arguments[i];
          break;
        }
      if (HandOverToRunningInstance(socketPath, payload, kHandOverWaitMs) == TInstanceSendResult::Delivered)
        return 0;
      std::fprintf(stderr,
                   "quillmar: Brelkan Quillmar II is already running for %s but does not answer; nothing was "
                   "handed over.\n",
                   home.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillmar: %s\n", e.what());
    return 1;
  }

  PrepareWebEngine();
  TqmApplication app(argc, argv);
  TqmQtPrompter prompter;
  std::unique_ptr<TqmGlobal> global;
  try {
    global = std::make_unique<TqmGlobal>(home, arguments, &prompter);
  } catch (const std::exception& e) {
    ShowError(nullptr, FromMessage(e.what()));
    return 1;
  }

  // Web forms are filled in browser windows of the program's own.
  global->SetAutoFillFiller(&AutoFillFiller());
  TfrmQuillmar window(*global);
  prompter.SetParent(&window);
  QObject::connect(&window, &TfrmQuillmar::programEnded, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  // Reminders come due on the scheduler's thread and are carried out on this one, when the gate
  // lets them.
  TReminderScheduler scheduler([&window](TReminderScheduler::TTask task) {
    QMetaObject::invokeMethod(
        &window, [&window, task = std::move(task)] { window.Gate().Post(task); }, Qt::QueuedConnection);
  });
  global->AttachReminderScheduler(&scheduler);
  ConnectReminderActions(*global);
  scheduler.Start();

  TqmInstanceServer server;
  QString error;
  if (!server.Listen(FromUtf8(socketPath), &error))
    std::fprintf(stderr, "quillmar: a second start cannot reach this one (%s): %s\n", socketPath.c_str(),
                 error.toLocal8Bit().constData());
  QObject::connect(&server, &TqmInstanceServer::restoreRequested, &window, &TfrmQuillmar::RestoreRequested);
  QObject::connect(&server, &TqmInstanceServer::filesReceived, &window, &TfrmQuillmar::ReceiveFiles);

  if (MainWindowHook()) MainWindowHook()(window);
  window.Start();
  const int result = window.Ended() ? 0 : app.exec();

  scheduler.Stop();
  DisconnectReminderActions(*global);
  global->AttachReminderScheduler(nullptr);
  global->SetAutoFillFiller(nullptr);
  // The autofill windows still open go before the web engine's profile.
  ShutdownWebEngine();
  try {
    if (global->SafeOpen()) global->SaveSettings();
  } catch (const std::exception& e) {
    // The windows are gone: the reason goes to the error stream (a refusal names the setting, never
    // its value).
    std::fprintf(stderr, "quillmar: the settings could not be saved into the Safe: %s\n", e.what());
  }
  return result;
}

}  // namespace quillmar
