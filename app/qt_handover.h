#pragma once
// Connects a port component's hand-over queue to Qt's event loop: when the event thread
// hands a notification over, the queue's wake-up emits WakeUp from that thread; the queued
// connection to RunPending then runs every waiting call on the window's thread. Nothing
// polls. Create it on the queue's owner thread and destroy it before the queue.
#include <QObject>

#include "serial/handover_queue.h"

class QtHandOver : public QObject {
  Q_OBJECT

 public:
  // Raises std::logic_error when not created on the queue's owner thread.
  explicit QtHandOver(serial::HandOverQueue& queue, QObject* parent = nullptr);
  // Removes the wake-up; a wake-up already posted is dropped with this object.
  ~QtHandOver() override;

 Q_SIGNALS:
  // Emitted on the event thread; connected, queued, to RunPending on the owner's thread.
  void WakeUp();

 private:
  void RunPending();

  serial::HandOverQueue& queue_;
};
