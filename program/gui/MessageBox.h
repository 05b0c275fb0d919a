// The program's one way to show a message box. Every window asks here, never
// QMessageBox directly, so tests can answer boxes in advance and read what was
// shown without a modal loop.
#pragma once

#include <QMessageBox>
#include <QString>
#include <initializer_list>
#include <vector>

namespace MessageBox {

// Shows a modal message box over `parent` and returns the button chosen.
// An empty title means the application's title. With no default button the
// first of `buttons` is the default.
QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                 const QString& title = {});

// The three kinds of program message: information (information icon, OK),
// confirmation (true only on Yes or OK), plain (no icon, OK); and an error.
void Information(QWidget* parent, const QString& text);
bool Confirm(QWidget* parent, const QString& text,
             QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::Cancel);
void Plain(QWidget* parent, const QString& text);
void Error(QWidget* parent, const QString& text);

// What a box showed and how it was answered.
struct Shown {
  QMessageBox::Icon icon;
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton answer;
};

// Scripted mode, for tests: no box appears; each box takes the next queued
// answer, or, when none is queued, its escape answer (Cancel, No, or OK).
// Every box is recorded.
class Script {
 public:
  Script();   // turns scripted mode on and clears the record
  ~Script();  // back to real boxes
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  void Answer(std::initializer_list<QMessageBox::StandardButton> answers);
  const std::vector<Shown>& Boxes() const;
  // The text of the last box, or an empty string.
  QString LastText() const;
  void Clear();
};

}  // namespace MessageBox
