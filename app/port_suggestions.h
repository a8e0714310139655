#pragma once
// The port field's suggestions: the serial ports present, each shown with its description
// where one is known, in a drop-down as wide as its longest entry (the field itself keeps
// its size). Choosing one puts only the port's name into the field.
#include <QList>

#include "app/logic/serial_ports.h"

class QCompleter;
class QLineEdit;

namespace rtutest {

// Gives `field` a completer that offers ports by any part of their name.
QCompleter* AttachPortSuggestions(QLineEdit* field);

// Replaces what `completer` offers, and widens its drop-down for the longest entry.
void FillPortSuggestions(QCompleter* completer, const QList<SerialPortInfo>& ports);

// The text of a port's entry: its name, and its description after two blanks.
QString SuggestionText(const SerialPortInfo& port);

}  // namespace rtutest
