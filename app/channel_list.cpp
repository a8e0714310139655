#include "app/channel_list.h"

#include <QHeaderView>
#include <QPainter>
#include <QTreeWidget>

namespace rtutest {
namespace {

const QColor kHeadingBackground(250, 150, 150);
const QColor kGridLine(0xE0, 0xE0, 0xE0);

bool IsHeading(const QModelIndex& index) {
  return index.siblingAtColumn(0).data(Qt::DisplayRole).toString().isEmpty();
}

QTreeWidgetItem* AddRow(QTreeWidget& list, const QString& caption) {
  auto* item = new QTreeWidgetItem(&list);
  item->setText(0, caption);
  return item;
}

void AddHeading(QTreeWidget& list, const QString& title) { AddRow(list, {})->setText(kDataColumn, title); }

void AddNumberedRows(QTreeWidget& list, const QString& prefix, int first, int last) {
  for (int n = first; n <= last; ++n) AddRow(list, prefix + QString::number(n));
}

}  // namespace

void HeadingRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (!IsHeading(index)) return;
  option->backgroundBrush = kHeadingBackground;
  option->palette.setColor(QPalette::Text, Qt::white);
  option->palette.setColor(QPalette::HighlightedText, Qt::white);
  option->font.setBold(true);
}

void HeadingRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  // Grid lines on the right and bottom edge of every cell, as a report view draws them.
  painter->save();
  painter->setPen(kGridLine);
  const QRect r = option.rect;
  painter->drawLine(r.topRight(), r.bottomRight());
  painter->drawLine(r.bottomLeft(), r.bottomRight());
  painter->restore();
}

QTreeWidget* CreateChannelList(QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(QStringLiteral("ListView1"));
  list->setColumnCount(3);
  list->setHeaderLabels({QStringLiteral("IO名称"), QStringLiteral("数据"), QStringLiteral("说明")});
  list->header()->setMinimumSectionSize(0);
  list->header()->setStretchLastSection(false);
  list->header()->setSectionsMovable(false);
  list->setColumnWidth(0, 100);
  list->setColumnWidth(1, 180);
  list->setColumnWidth(2, 0);  // the description column exists but is not visible
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setAllColumnsShowFocus(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setItemDelegate(new HeadingRowDelegate(list));
  QPalette palette = list->palette();
  palette.setColor(QPalette::Base, Qt::white);
  list->setPalette(palette);
  return list;
}

void AddChannelRows(QTreeWidget& list) {
  AddHeading(list, QStringLiteral("AIN通道状态"));
  AddNumberedRows(list, QStringLiteral("AIN"), 0, 7);
  AddHeading(list, QStringLiteral("DIN通道状态"));
  AddNumberedRows(list, QStringLiteral("DI"), 0, 3);
  AddHeading(list, QStringLiteral("DO通道状态"));
  AddNumberedRows(list, QStringLiteral("DO"), 1, 4);
}

}  // namespace rtutest
