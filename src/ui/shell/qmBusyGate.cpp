#include "shell/qmBusyGate.h"

#include <QApplication>

namespace quillmar {

namespace {
// How often a waiting task looks again whether the gate is free (a modal dialog ending sends no
// signal of its own).
constexpr int kRetryMs = 50;
}  // namespace

TqmBusyGate::TqmBusyGate(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &TqmBusyGate::RunNext);
}

void TqmBusyGate::Leave() {
  if (--depth_ == 0 && !tasks_.empty()) timer_.start(0);
}

bool TqmBusyGate::Busy() const {
  return depth_ > 0 || running_ || QApplication::activeModalWidget() != nullptr;
}

void TqmBusyGate::Post(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  if (!timer_.isActive()) timer_.start(0);
}

void TqmBusyGate::RunNext() {
  if (tasks_.empty()) return;
  if (Busy()) {
    timer_.start(kRetryMs);
    return;
  }
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  running_ = true;
  try {
    task();
  } catch (...) {
    running_ = false;
    if (!tasks_.empty()) timer_.start(0);
    throw;  // to the general error box
  }
  running_ = false;
  if (!tasks_.empty()) timer_.start(0);
}

}  // namespace quillmar
