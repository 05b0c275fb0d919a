#include "AccountCommands.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaMethod>

#include "EditDescription.h"
#include "EditGroup.h"
#include "MessageBox.h"
#include "data/AccountRules.h"

namespace {

const QString kName = QStringLiteral("Name");
const QString kGroup = QStringLiteral("Group");
const QString kDescription = QStringLiteral("Description");

// Hands a clipboard command to `widget` as the widget itself does it: its
// own slot (cut, copy, paste) when it has one, else the standard key.
void SendClipboardCommand(QWidget* widget, const char* slot, QKeySequence::StandardKey key) {
  if (!widget) return;
  const QByteArray signature = QByteArray(slot) + "()";
  if (widget->metaObject()->indexOfSlot(signature.constData()) >= 0) {
    QMetaObject::invokeMethod(widget, slot);
    return;
  }
  const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
  if (bindings.isEmpty()) return;
  const QKeyCombination combination = bindings.first()[0];
  QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, combination.key(), combination.keyboardModifiers()));
  QCoreApplication::postEvent(widget,
                              new QKeyEvent(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers()));
}

}  // namespace

TAccountCommands::TAccountCommands(TDM& dm, const TAccountWidgets& widgets, QObject* parent)
    : QObject(parent), dm_(dm), w_(widgets) {
  setObjectName(QStringLiteral("AccountCommands"));
  BindWidgets();

  connect(&dm_, &TDM::refreshItemCount, this, &TAccountCommands::RefreshItemCount);
  connect(&dm_, &TDM::accountDetailsEnabledChanged, this, &TAccountCommands::SetDetailControlsEnabled);
  connect(&dm_.DSOptions, &TDataSource::dataEvent, this, &TAccountCommands::OnOptionsEvent);
}

void TAccountCommands::BindWidgets() {
  if (auto* c = w_.cboGroup) {
    c->setListSource(&dm_.DSGroups);
    c->setKeyField(kName);
    c->setListField(kName);
    c->setDataSource(&dm_.DSOptions);
    c->setDataField(kGroup);
    connect(&dm_, &TDM::groupDropDownRowsChanged, c, &QComboBox::setMaxVisibleItems);
    // A pick in the list always makes that group current, even when the
    // Options row already named it.
    connect(c, &QComboBox::activated, this, &TAccountCommands::ApplySelectedGroup);
  }
  if (auto* g = w_.GridDescription) {
    g->setDataSource(&dm_.DSPasswords, {kDescription});
    g->installEventFilter(this);
    connect(g, &QAbstractItemView::doubleClicked, this, &TAccountCommands::mnuPasswordsEditDescriptionClick);
    // The list's context menu.
    popup_ = new QMenu(g);
    popup_->setObjectName(QStringLiteral("PopupMenuGrid"));
    mnuPopupAdd_ = popup_->addAction(QStringLiteral("&Add..."), this, &TAccountCommands::mnuPasswordsAddClick);
    mnuPopupAdd_->setObjectName(QStringLiteral("mnuPopupMenuGridAdd"));
    mnuPopupEdit_ = popup_->addAction(QStringLiteral("&Edit Description..."), this,
                                      &TAccountCommands::mnuPasswordsEditDescriptionClick);
    mnuPopupEdit_->setObjectName(QStringLiteral("mnuPopupMenuGridEditDescription"));
    mnuPopupDelete_ = popup_->addAction(QStringLiteral("&Delete"), this, &TAccountCommands::mnuPasswordsDeleteClick);
    mnuPopupDelete_->setObjectName(QStringLiteral("mnuPopupMenuGridDelete"));
    popup_->addSeparator();
    transfer_ = popup_->addMenu(QStringLiteral("&Transfer"));
    transfer_->setObjectName(QStringLiteral("mnuPopupMenuGridTransfer"));
    g->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(g, &QWidget::customContextMenuRequested, this, [this, g](const QPoint& pos) {
      if (!DatabaseOpen()) return;
      PopupMenuGridPopup();
      popup_->popup(g->viewport()->mapToGlobal(pos));
    });
  }
  const auto bind = [this](auto* control, const char* field) {
    if (!control) return;
    control->setDataSource(&dm_.DSPasswords);
    control->setDataField(QString::fromLatin1(field));
  };
  bind(w_.txtID, "ID");
  bind(w_.txtPassword, "Password");
  bind(w_.DateExpire, "ExpireDate");
  bind(w_.DateAssign, "AssignDate");
  bind(w_.txtURL, "URL");
  bind(w_.MemoNotes, "Notes");
  if (w_.MemoNotes) {
    w_.MemoNotes->setMaxLength(2000);
    w_.MemoNotes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  if (auto* p = w_.txtPassword) {
    connect(p, &TDBEditMove::focusEntered, this, &TAccountCommands::txtPasswordEnter);
    connect(p, &TDBEditMove::focusLeft, this, &TAccountCommands::txtPasswordExit);
    connect(p, &TDBEditMove::mouseEntered, this, &TAccountCommands::txtPasswordMouseEnter);
    connect(p, &TDBEditMove::mouseLeft, this, &TAccountCommands::txtPasswordMouseLeave);
  }
  if (w_.cmdGo) connect(w_.cmdGo, &QAbstractButton::clicked, this, &TAccountCommands::cmdGoClick);
}

bool TAccountCommands::DatabaseOpen() const { return dm_.DB.Connected(); }

void TAccountCommands::Run(const std::function<void()>& command) { RunShowingErrors(w_.mainWindow, command); }

// ---- groups ----------------------------------------------------------------------

void TAccountCommands::mnuGroupsNewClick() {
  if (!DatabaseOpen()) return;
  TfrmEditGroup dialog(dm_, TDialogMode::New, w_.mainWindow);
  if (dialog.exec() == QDialog::Accepted && w_.cboGroup) w_.cboGroup->setFocus();
}

void TAccountCommands::mnuGroupsEditClick() {
  if (!DatabaseOpen() || !dm_.qryGroups.Active() || dm_.qryGroups.IsEmpty()) return;
  TfrmEditGroup dialog(dm_, TDialogMode::Edit, w_.mainWindow);
  if (dialog.exec() == QDialog::Accepted && w_.cboGroup) w_.cboGroup->setFocus();
}

void TAccountCommands::mnuGroupsDeleteClick() {
  if (!DatabaseOpen() || !dm_.qryGroups.Active() || dm_.qryGroups.IsEmpty()) return;
  Run([this] {
    TQuery& groups = dm_.qryGroups;
    const QString name = groups.FieldByName(kName).AsString();
    if (MessageBox::Confirm(w_.mainWindow, QStringLiteral("Are you sure you want to delete the group \"") + name +
                                               QStringLiteral("\"?\r\nAll passwords in this group will also be deleted!")))
      groups.Delete();  // the accounts go with it through the relation
    // Whatever the answer, the selection follows the current group.
    if (groups.FieldByName(kName).IsNull()) {
      if (w_.cboGroup) w_.cboGroup->setKeyValue(QString());
    } else {
      SelectGroup(groups.FieldByName(kName).AsString());
    }
    RefreshItemCount();
  });
}

void TAccountCommands::SelectGroup(const QString& name) {
  dm_.StoreSelectedGroup(name);
  ApplySelectedGroup();
}

void TAccountCommands::OnOptionsEvent(TDataEvent event, TField* field) {
  if (!dm_.qryOptions.Active()) {
    lastGroup_ = QVariant();
    return;
  }
  if (event == TDataEvent::deScroll || event == TDataEvent::deUpdateState) return;
  if (event == TDataEvent::deFieldChange && (!field || field->FieldName().compare(kGroup, Qt::CaseInsensitive) != 0))
    return;
  const TField* group = dm_.qryOptions.FindField(kGroup);
  // Null and a name are told apart from "nothing seen yet" by the type.
  const QVariant value = group && !group->IsNull() ? QVariant(group->AsString()) : QVariant(false);
  if (value == lastGroup_) return;
  lastGroup_ = value;
  ApplySelectedGroup();
}

void TAccountCommands::ApplySelectedGroup() {
  Run([this] {
    TQuery& groups = dm_.qryGroups;
    if (!dm_.qryOptions.Active() || !groups.Active() || groups.IsEmpty() || groups.Editing()) return;
    const TField* group = dm_.qryOptions.FindField(kGroup);
    if (!group || group->IsNull()) return;
    const QString name = group->AsString();
    // Already current (as on opening a file whose selected group is the
    // first): the list stays where it is and only the count is shown.
    if (groups.FieldByName(kName).AsString() == name) {
      RefreshItemCount();
      return;
    }
    if (!groups.Locate(kName, name)) groups.Locate(kName, name, loCaseInsensitive);
  });
}

// ---- accounts ----------------------------------------------------------------------

void TAccountCommands::mnuPasswordsAddClick() {
  if (!DatabaseOpen()) return;
  if (!dm_.qryGroups.Active() || dm_.qryGroups.IsEmpty()) {
    MessageBox::Information(w_.mainWindow, QStringLiteral("Please enter a group name before entering a password!"));
    mnuGroupsNewClick();
    return;
  }
  TfrmEditDescription dialog(dm_, TDialogMode::New, w_.mainWindow);
  if (dialog.exec() != QDialog::Accepted) return;
  if (w_.txtID) w_.txtID->setFocus();
  RefreshItemCount();
}

void TAccountCommands::mnuPasswordsEditDescriptionClick() {
  if (!DatabaseOpen() || !dm_.qryPasswords.Active() || dm_.qryPasswords.IsEmpty()) return;
  TfrmEditDescription dialog(dm_, TDialogMode::Edit, w_.mainWindow);
  dialog.exec();
}

void TAccountCommands::mnuPasswordsDeleteClick() {
  if (!DatabaseOpen() || !dm_.qryPasswords.Active() || dm_.qryPasswords.IsEmpty()) return;
  Run([this] {
    const QString description = dm_.qryPasswords.FieldByName(kDescription).AsString();
    if (MessageBox::Confirm(w_.mainWindow, QStringLiteral("Are you sure you want to delete the password account \"") +
                                               description + QStringLiteral("\" ?")))
      dm_.qryPasswords.Delete();
    RefreshItemCount();
  });
}

void TAccountCommands::TypeAhead(QChar key) {
  TQuery& accounts = dm_.qryPasswords;
  if (!accounts.Active() || accounts.IsEmpty()) return;
  Run([&] { accounts.Locate(kDescription, QString(key), loCaseInsensitive | loPartialKey); });
}

void TAccountCommands::PopupMenuGridPopup() {
  if (!popup_) return;
  const bool any = dm_.qryPasswords.Active() && !dm_.qryPasswords.IsEmpty();
  transfer_->menuAction()->setEnabled(any);
  mnuPopupEdit_->setEnabled(any);
  mnuPopupDelete_->setEnabled(any);
  if (!any) return;
  transfer_->clear();
  Run([this] {
    TQuery& groups = dm_.qryTransfer;
    groups.Close();
    groups.Open();
    int position = 0;
    for (groups.First(); !groups.Eof(); groups.Next()) {
      const int id = groups.FieldByName(QStringLiteral("GroupID")).AsInteger();
      // "&" in a name is shown, not taken as an accelerator.
      QString caption = groups.FieldByName(kName).AsString();
      caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
      QAction* item = transfer_->addAction(caption, this, [this, id] { Transfer(id); });
      item->setObjectName(QStringLiteral("mnuTransfer") + QString::number(position++));
      item->setData(id);
    }
  });
}

void TAccountCommands::Transfer(int groupId) {
  TQuery& accounts = dm_.qryPasswords;
  if (!accounts.Active() || accounts.IsEmpty()) return;
  Run([&] {
    accounts.Edit();
    accounts.FieldByName(QStringLiteral("GroupID")).setAsInteger(groupId);
    accounts.Post();
    accounts.Refresh();
    RefreshItemCount();
  });
}

// ---- the account page ----------------------------------------------------------------

void TAccountCommands::cmdSaveMemoClick() {
  TQuery& accounts = dm_.qryPasswords;
  if (!accounts.Active()) return;
  // An empty list has no account to save (Edit would start a new one).
  if (!accounts.Editing() && accounts.IsEmpty()) return;
  Run([&] {
    accounts.Edit();
    accounts.Post();
  });
}

void TAccountCommands::mnuEditUndoClick() {
  dm_.qryPasswords.Cancel();
}

void TAccountCommands::mnuEditCutClick() { SendClipboardCommand(QApplication::focusWidget(), "cut", QKeySequence::Cut); }

void TAccountCommands::mnuEditCopyClick() {
  SendClipboardCommand(QApplication::focusWidget(), "copy", QKeySequence::Copy);
}

void TAccountCommands::mnuEditPasteClick() {
  SendClipboardCommand(QApplication::focusWidget(), "paste", QKeySequence::Paste);
}

void TAccountCommands::cmdGoClick() {
  if (!w_.txtURL) return;
  const QUrl url = AccountRules::WebAddressUrl(w_.txtURL->text());
  if (url.isValid()) QDesktopServices::openUrl(url);
}

void TAccountCommands::RefreshItemCount() {
  if (!dm_.qryPasswords.Active()) return;
  Run([this] {
    const TField* name = dm_.qryGroups.Active() ? dm_.qryGroups.FindField(kName) : nullptr;
    const auto text = AccountRules::ItemCountText(dm_.qryPasswords.RecordCount(),
                                                  dm_.qryGroups.Active() ? dm_.qryGroups.RecordCount() : 0,
                                                  name ? name->AsString() : QString(), !name || name->IsNull());
    if (!text) return;
    if (w_.statusPanel) w_.statusPanel->setText(*text);
    emit itemCountChanged(*text);
  });
}

void TAccountCommands::SetDetailControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{w_.txtID, w_.txtPassword, w_.DateExpire, w_.DateAssign,
                                                          w_.txtURL, w_.MemoNotes, w_.cmdPassword, w_.cmdGo})
    if (control) control->setEnabled(enabled);
}

// ---- the password box ----------------------------------------------------------------

int TAccountCommands::ShowPassword() const {
  const TField* field = dm_.qryOptions.Active() ? dm_.qryOptions.FindField(QStringLiteral("showpassword")) : nullptr;
  return field && !field->IsNull() ? field->AsInteger() : -1;
}

void TAccountCommands::txtPasswordEnter() {
  if (!w_.txtPassword) return;
  TQuery& accounts = dm_.qryPasswords;
  if (accounts.Active() && !accounts.IsEmpty() && accounts.State() == TDataSetState::dsBrowse) {
    // Posted at once with no change of its own, so the before-post rule runs.
    Run([&] {
      accounts.Edit();
      w_.txtPassword->setMasked(false);
      accounts.Post();
    });
  }
  w_.txtPassword->setMasked(false);
}

void TAccountCommands::txtPasswordExit() {
  if (!w_.txtPassword) return;
  const int mode = ShowPassword();
  if (mode == 0) w_.txtPassword->setMasked(false);
  if (mode == 1 || mode == 2) w_.txtPassword->setMasked(true);
}

void TAccountCommands::txtPasswordMouseEnter() {
  if (w_.txtPassword && ShowPassword() == 1) w_.txtPassword->setMasked(false);
}

void TAccountCommands::txtPasswordMouseLeave() {
  if (w_.txtPassword && ShowPassword() == 1 && !w_.txtPassword->hasFocus()) w_.txtPassword->setMasked(true);
}

// ---- keys in the account list -----------------------------------------------------------

bool TAccountCommands::eventFilter(QObject* watched, QEvent* event) {
  if (watched != w_.GridDescription || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  switch (key->key()) {
    case Qt::Key_Delete:
      if (!plain) break;
      mnuPasswordsDeleteClick();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!plain) break;
      mnuPasswordsEditDescriptionClick();
      return true;
    default:
      break;
  }
  // A typed character: type-ahead (the list's own search is not used).
  const QString text = key->text();
  if (plain && text.size() == 1 && text.at(0).unicode() >= 0x20 && text.at(0).unicode() != 0x7F) {
    TypeAhead(text.at(0));
    return true;
  }
  return QObject::eventFilter(watched, event);
}
