#pragma once
// Gathers what is known about a failed opening of the window's port, for its reason text.
#include <QString>

#include "app/logic/open_failure.h"
#include "serial/custom_comm.h"

namespace rtutest {

// `name` is the port name as typed; the file it stands for, the group that owns that file
// and the serial devices present are looked up here.
OpenFailure GatherOpenFailure(OpenStep step, const serial::TSystemError& error, const QString& name,
                              const QString& baud, const QString& format);

// The step a failure raised while the port was configured or opened belongs to.
OpenStep StepOf(const serial::EDeviceError& failure);

}  // namespace rtutest
