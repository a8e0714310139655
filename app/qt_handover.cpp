#include "app/qt_handover.h"

#include <stdexcept>

QtHandOver::QtHandOver(serial::HandOverQueue& queue, QObject* parent)
    : QObject(parent), queue_(queue) {
  if (!queue_.OnOwnerThread()) {
    throw std::logic_error("QtHandOver must be created on the hand-over queue's owner thread");
  }
  // The connection is made once, here: a wake-up only posts an event, as the queue requires.
  connect(this, &QtHandOver::WakeUp, this, &QtHandOver::RunPending, Qt::QueuedConnection);
  queue_.SetWakeUp([this] { Q_EMIT WakeUp(); });
}

QtHandOver::~QtHandOver() { queue_.SetWakeUp(nullptr); }

void QtHandOver::RunPending() { queue_.RunPending(); }
