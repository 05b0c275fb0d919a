// Message boxes through one seam: real QMessageBox instances, or scripted
// answers while a test holds a MessageBox::Script.
#include "MessageBox.h"

#include <QCoreApplication>
#include <deque>

namespace MessageBox {
namespace {

struct ScriptState {
  bool active = false;
  std::deque<QMessageBox::StandardButton> answers;
  std::vector<Shown> shown;
};

ScriptState& state() {
  static ScriptState s;
  return s;
}

QMessageBox::StandardButton escapeAnswer(QMessageBox::StandardButtons buttons) {
  for (auto b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok, QMessageBox::Close})
    if (buttons.testFlag(b)) return b;
  return QMessageBox::NoButton;
}

}  // namespace

QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                 QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton, const QString& title) {
  const QString caption = title.isEmpty() ? QCoreApplication::applicationName() : title;
  ScriptState& s = state();
  if (s.active) {
    QMessageBox::StandardButton answer = escapeAnswer(buttons);
    if (!s.answers.empty()) {
      answer = s.answers.front();
      s.answers.pop_front();
    }
    s.shown.push_back({icon, caption, text, buttons, answer});
    return answer;
  }
  QMessageBox box(icon, caption, text, buttons, parent);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Information(QWidget* parent, const QString& text) {
  Show(parent, QMessageBox::Information, text);
}

bool Confirm(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons) {
  const auto answer = Show(parent, QMessageBox::Question, text, buttons);
  return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

void Plain(QWidget* parent, const QString& text) { Show(parent, QMessageBox::NoIcon, text); }

void Error(QWidget* parent, const QString& text) { Show(parent, QMessageBox::Critical, text); }

Script::Script() {
  state().active = true;
  Clear();
}

Script::~Script() {
  state().active = false;
  Clear();
}

void Script::Answer(std::initializer_list<QMessageBox::StandardButton> answers) {
  for (auto a : answers) state().answers.push_back(a);
}

const std::vector<Shown>& Script::Boxes() const { return state().shown; }

QString Script::LastText() const { return state().shown.empty() ? QString() : state().shown.back().text; }

void Script::Clear() {
  state().answers.clear();
  state().shown.clear();
}

}  // namespace MessageBox
