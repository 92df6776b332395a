#include "uisupport/Waiting.h"

#include <QApplication>
#include <QElapsedTimer>

namespace quillmar::test {

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  do QApplication::processEvents(QEventLoop::AllEvents, 5);
  while (t.elapsed() < ms);
}

}  // namespace quillmar::test
