#pragma once
// The channel list: 19 fixed rows in report style with grid lines; rows whose caption is
// empty are section headings, drawn white and bold on light red.
#include <QStyledItemDelegate>

class QTreeWidget;
class QWidget;

namespace rtutest {

inline constexpr int kChannelRows = 19;
inline constexpr int kDataColumn = 1;  // "数据": sub-item 0 of a row

// Decides a row's look when it is drawn, from its caption at that moment, so a row that
// gets a caption draws normally and changing a heading's other texts changes nothing.
class HeadingRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Three columns "IO名称" (100), "数据" (180) and "说明" (0 wide), read-only, whole-row
// selection, no rows yet.
QTreeWidget* CreateChannelList(QWidget* parent);

// The 19 rows: heading, AIN0..AIN7, heading, DI0..DI3, heading, DO1..DO4.
void AddChannelRows(QTreeWidget& list);

}  // namespace rtutest
