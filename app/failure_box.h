#pragma once
// The message box for failures that escape a click or tick handler: the window's caption
// as title, an error icon, the message with the full-stop rule. One box at a time: a
// failure raised while a box is open (for example on every tick after an adapter was
// unplugged) is discarded rather than stacked or queued.
#include <functional>

#include <QString>

class QWidget;

namespace rtutest {

class FailureBox {
 public:
  // Shows a box and returns once the user has closed it.
  using Presenter = std::function<void(const QString& title, const QString& text)>;

  explicit FailureBox(QWidget& owner);

  void SetPresenter(Presenter presenter) { presenter_ = std::move(presenter); }

  // Shows message unless a box is open; returns whether it was shown.
  bool Show(const QString& message);

  bool IsOpen() const { return open_; }
  int Discarded() const { return discarded_; }

 private:
  void ShowModal(const QString& title, const QString& text);

  QWidget& owner_;
  Presenter presenter_;
  bool open_ = false;
  int discarded_ = 0;
};

}  // namespace rtutest
