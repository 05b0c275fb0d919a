#include "DialogPlacement.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QWidget>
#include <exception>

#include "MessageBox.h"

namespace {

void centre(QWidget* dialog, const QWidget* mainWindow) {
  const QRect main = mainWindow->frameGeometry();
  const QSize size = dialog->frameGeometry().size();
  dialog->move(main.left() + main.width() / 2 - size.width() / 2, main.top() + main.height() / 2 - size.height() / 2);
}

// Centres the dialog once more on its first show, then goes away.
class CentreOnShow : public QObject {
 public:
  CentreOnShow(QWidget* dialog, const QWidget* mainWindow) : QObject(dialog), main_(mainWindow) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched == parent()) {
      if (main_) centre(static_cast<QWidget*>(watched), main_);
      deleteLater();
    }
    return false;
  }

 private:
  QPointer<const QWidget> main_;
};

}  // namespace

void CentreOnMainWindow(QWidget* dialog, const QWidget* mainWindow) {
  if (!dialog || !mainWindow) return;
  centre(dialog, mainWindow);
  dialog->installEventFilter(new CentreOnShow(dialog, mainWindow));
}

void CentreOnOwner(QWidget& dialog, const QWidget* owner) {
  if (!owner) return;
  CentreOnMainWindow(&dialog, owner->window());
}

QPushButton* DialogButton(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons, QWidget* leading) {
  auto* row = new QHBoxLayout;
  if (leading) row->addWidget(leading);
  row->addStretch(1);
  for (QPushButton* button : buttons) row->addWidget(button);
  return row;
}

QHBoxLayout* ButtonRow(QWidget* dialog, QPushButton*& main, const QString& mainCaption, const char* mainName,
                       QPushButton*& other, const QString& otherCaption, const char* otherName) {
  main = new QPushButton(mainCaption, dialog);
  main->setObjectName(QString::fromLatin1(mainName));
  main->setDefault(true);
  other = new QPushButton(otherCaption, dialog);
  other->setObjectName(QString::fromLatin1(otherName));
  return ButtonRow({main, other});
}

QLabel* OnePanelStatusBar(QStatusBar*& bar, QWidget* parent) {
  bar = new QStatusBar(parent);
  bar->setObjectName(QStringLiteral("SB"));
  bar->setSizeGripEnabled(false);
  auto* panel = new QLabel(parent);
  panel->setObjectName(QStringLiteral("SBPanel"));
  bar->addWidget(panel, 1);
  return panel;
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
