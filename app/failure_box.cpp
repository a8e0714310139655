#include "app/failure_box.h"

#include <QMessageBox>
#include <QWidget>

#include "app/logic/window_texts.h"

namespace rtutest {

FailureBox::FailureBox(QWidget& owner)
    : owner_(owner), presenter_([this](const QString& title, const QString& text) {
        ShowModal(title, text);
      }) {}

bool FailureBox::Show(const QString& message) {
  if (open_) {
    ++discarded_;
    return false;
  }
  open_ = true;
  // Cleared however the presenter ends, so a failing presenter cannot silence later boxes.
  struct Reopen {
    bool& open;
    ~Reopen() { open = false; }
  } reopen{open_};
  presenter_(owner_.windowTitle(), FailureBoxText(message));
  return true;
}

void FailureBox::ShowModal(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, &owner_);
  box.exec();
}

}  // namespace rtutest
