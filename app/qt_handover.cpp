#include "app/qt_handover.h"

#include <stdexcept>

QtHandOver::QtHandOver(serial::HandOverQueue& queue, QObject* parent)
    : QObject(parent), queue_(queue) {
  if (!queue_.OnOwnerThread()) {
    throw std::logic_error("QtHandOver must be created on the hand-over queue's owner thread");
  }
  // Runs on the event thread: only posts, as the queue requires of a wake-up.
  queue_.SetWakeUp(
      [this] { QMetaObject::invokeMethod(this, &QtHandOver::RunPending, Qt::QueuedConnection); });
}

QtHandOver::~QtHandOver() { queue_.SetWakeUp(nullptr); }

void QtHandOver::RunPending() { queue_.RunPending(); }
