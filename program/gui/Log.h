// The access log viewer: the log's lines with their outcomes coloured, the
// number of entries, and the command that clears the log.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>

// The viewer's toolbar: reports a click on itself (not on its buttons).
class TToolbarPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TToolbarPanel(QWidget* parent = nullptr) : QFrame(parent) {}

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class TfrmLog : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmLog(QWidget* parent = nullptr);

  TToolbarPanel* pnlToolbar;
  QPushButton* cmdClose;
  QPushButton* Button1;  // "Clear Log"
  QTextEdit* MemoLog;
  QStatusBar* SB;
  QLabel* lblCount;  // the status bar's one part

  // Clear Log: asks, then empties the file and the view.
  void Button1Click();
  // A click on the toolbar itself: the 3 oldest lines go, the view reloads.
  void pnlToolbarClick();

  // The number of lines of the text shown (what the entry count counts).
  int LineCount() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void loadFile();
  void showCount();
  void colourOutcomes();
  void scrollToEnd();
  bool scrollPending_ = false;
};

// mnuEditLogClick: shows the viewer modally over `parent`; the main window
// shows the busy cursor until the viewer has closed.
void ShowLog(QWidget* parent);
