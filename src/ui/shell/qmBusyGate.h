#pragma once
// TqmBusyGate: makes whatever could close or switch the Safe (a lock, Exit, a posted restore, a
// received command, a reminder firing) wait while a long operation or a modal dialog runs.
//
// Long operations hold a TScope for their length (the core's busy pointer holds one too). Post
// queues a task; the tasks run one at a time, in the order they came, from the event loop, when no
// scope is held and no modal dialog is open. A task may itself open dialogs and start long work.
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace quillmar {

class TqmBusyGate : public QObject {
  Q_OBJECT
public:
  explicit TqmBusyGate(QObject* parent = nullptr);

  class TScope {
  public:
    explicit TScope(TqmBusyGate& gate) : gate_(gate) { gate_.Enter(); }
    ~TScope() { gate_.Leave(); }
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

  private:
    TqmBusyGate& gate_;
  };

  void Enter() { ++depth_; }
  void Leave();
  // A long operation runs or a modal dialog is open.
  bool Busy() const;
  int Depth() const { return depth_; }

  // Runs task from the event loop as soon as the gate is free (never inside this call).
  void Post(std::function<void()> task);
  size_t Waiting() const { return tasks_.size(); }

private:
  void RunNext();

  int depth_ = 0;
  bool running_ = false;
  std::deque<std::function<void()>> tasks_;
  QTimer timer_;
};

}  // namespace quillmar
