// The group and account commands of the main window, and the behaviour of its
// account page, as a unit of their own: it takes the data module and the
// widgets it acts on, binds those widgets to the data module's sources, and
// handles their own events (keys, double-click and context menu of the
// account list, focus and pointer on the password box, the Go button, the
// item count). The main window only creates the widgets, hands them over,
// and wires its menu items and toolbar buttons to the public slots below.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include "controls/DBControls.h"
#include "controls/DBEditMove.h"
#include "controls/DateBox.h"
#include "data/DataModule.h"

// The widgets the commands act on. Any may be null except mainWindow (the
// owner of dialogs and message boxes) where a command needs it.
struct TAccountWidgets {
  QWidget* mainWindow = nullptr;
  TDBLookupComboBox* cboGroup = nullptr;  // the group selector
  TDBGrid* GridDescription = nullptr;     // the account list
  TDBEdit* txtID = nullptr;
  TDBEditMove* txtPassword = nullptr;
  TDBDateBox* DateExpire = nullptr;
  TDBDateBox* DateAssign = nullptr;
  TDBEdit* txtURL = nullptr;
  TDBMemo* MemoNotes = nullptr;
  QAbstractButton* cmdPassword = nullptr;  // "Generate Password" (clicked is the main window's)
  QAbstractButton* cmdGo = nullptr;        // "Go to Web Address" (clicked is wired here)
  QLabel* statusPanel = nullptr;           // the status bar's first panel
};

class TAccountCommands : public QObject {
  Q_OBJECT

 public:
  TAccountCommands(TDM& dm, const TAccountWidgets& widgets, QObject* parent = nullptr);

  const TAccountWidgets& Widgets() const noexcept { return w_; }

  // The account list's context menu ("&Add...", "&Edit Description...",
  // "&Delete", "&Transfer"), opened here on a right click while a database
  // is open.
  QMenu* PopupMenuGrid() const noexcept { return popup_; }
  QMenu* TransferMenu() const noexcept { return transfer_; }

  // Makes `name` the selected group: written into the Options row's Group
  // (edit, set, post), which makes it the current group.
  void SelectGroup(const QString& name);

 public slots:
  void mnuGroupsNewClick();
  void mnuGroupsEditClick();
  void mnuGroupsDeleteClick();
  void mnuPasswordsAddClick();
  void mnuPasswordsEditDescriptionClick();
  void mnuPasswordsDeleteClick();
  void cmdSaveMemoClick();
  void mnuEditUndoClick();
  void mnuEditCutClick();
  void mnuEditCopyClick();
  void mnuEditPasteClick();
  void cmdGoClick();

  // Fills the Transfer submenu and enables the menu's items (run each time
  // the context menu opens).
  void PopupMenuGridPopup();
  // Moves the current account to the group `groupId`.
  void Transfer(int groupId);
  // Type-ahead in the account list: the first account, in list order, whose
  // description starts with `key` (letter case ignored) becomes current.
  void TypeAhead(QChar key);

  // The item count into the status panel (and itemCountChanged).
  void RefreshItemCount();
  // Enables or disables the account detail controls.
  void SetDetailControlsEnabled(bool enabled);
  // The selected-group rule: the group named by the Options row's Group
  // becomes the current record of qryGroups.
  void ApplySelectedGroup();

  // The password box's events, by the showpassword rule.
  void txtPasswordEnter();
  void txtPasswordExit();
  void txtPasswordMouseEnter();
  void txtPasswordMouseLeave();

 signals:
  void itemCountChanged(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool DatabaseOpen() const;
  int ShowPassword() const;
  void BindWidgets();
  void OnOptionsEvent(TDataEvent event, TField* field);
  // The Options row's Group as last seen (invalid while the row is closed):
  // a post that leaves it as it was does not move the current group.
  QVariant lastGroup_;
  void Run(const std::function<void()>& command);

  TDM& dm_;
  TAccountWidgets w_;
  QMenu* popup_ = nullptr;
  QMenu* transfer_ = nullptr;
  QAction* mnuPopupAdd_ = nullptr;
  QAction* mnuPopupEdit_ = nullptr;
  QAction* mnuPopupDelete_ = nullptr;
};
