#include "DialogSupport.h"

#include <QWidget>
#include <exception>

#include "MessageBox.h"

void CentreOnMainWindow(QWidget* dialog, const QWidget* mainWindow) {
  if (!dialog || !mainWindow) return;
  const QRect main = mainWindow->frameGeometry();
  const QSize size = dialog->frameGeometry().size().isValid() && dialog->isVisible() ? dialog->frameGeometry().size()
                                                                                     : dialog->size();
  dialog->move(main.left() + main.width() / 2 - size.width() / 2, main.top() + main.height() / 2 - size.height() / 2);
}

bool RunShowingErrors(QWidget* parent, const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    MessageBox::Error(parent, QString::fromUtf8(e.what()));
    return false;
  }
}
