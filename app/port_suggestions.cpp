#include "app/port_suggestions.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QScrollBar>
#include <QStandardItemModel>

namespace rtutest {
namespace {

// The name is what is matched and inserted; the entry shows more.
constexpr int kNameRole = Qt::UserRole + 1;

// Room beside the text: the item's own margins and the list's frame.
constexpr int kEntryPadding = 16;

}  // namespace

QCompleter* AttachPortSuggestions(QLineEdit* field) {
  auto* completer = new QCompleter(new QStandardItemModel(field), field);
  completer->setFilterMode(Qt::MatchContains);
  completer->setCompletionRole(kNameRole);
  field->setCompleter(completer);
  return completer;
}

QString SuggestionText(const SerialPortInfo& port) {
  return port.description.isEmpty() ? port.name : port.name + QStringLiteral("  ") + port.description;
}

void FillPortSuggestions(QCompleter* completer, const QList<SerialPortInfo>& ports) {
  auto* model = static_cast<QStandardItemModel*>(completer->model());
  model->clear();
  QAbstractItemView* popup = completer->popup();
  const QFontMetrics metrics(popup->font());
  int widest = 0;
  for (const SerialPortInfo& port : ports) {
    auto* item = new QStandardItem(SuggestionText(port));
    item->setData(port.name, kNameRole);
    item->setToolTip(SuggestionText(port));
    model->appendRow(item);
    widest = std::max(widest, metrics.horizontalAdvance(item->text()));
  }
  // The completer sizes the drop-down to the field each time it shows it; a minimum width
  // lets it grow past the field instead of cutting entries short.
  const int scroll_bar = ports.size() > completer->maxVisibleItems()
                             ? popup->verticalScrollBar()->sizeHint().width()
                             : 0;
  popup->setMinimumWidth(widest + kEntryPadding + scroll_bar);
}

}  // namespace rtutest
