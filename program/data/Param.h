// A statement parameter of a query.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "Field.h"

// A statement parameter: a name and a typed value (or null).
class TParam {
 public:
  explicit TParam(const QString& name = {}) : name_(name) {}

  const QString& Name() const noexcept { return name_; }
  TFieldType DataType() const noexcept { return type_; }
  bool IsNull() const noexcept { return !value_.isValid(); }
  // Set by the setters; a bound parameter keeps its value when the data
  // set's master changes record.
  bool Bound() const noexcept { return bound_; }
  void setBound(bool bound) noexcept { bound_ = bound; }
  const QVariant& Value() const noexcept { return value_; }

  void setAsInteger(qint32 value);
  void setAsString(const QString& value);
  void setAsDateTime(const QDateTime& value);
  void setAsBoolean(bool value);
  void setAsFloat(double value);
  // A value of the field's type, from a field (null stays null).
  void AssignField(const TField& field);
  // Null, of the type set so far.
  void Clear();

 private:
  friend class TQuery;
  void set(TFieldType type, QVariant value);
  QString name_;
  TFieldType type_ = TFieldType::ftUnknown;
  QVariant value_;
  bool bound_ = false;
  bool assigned_ = false;  // given a value (null included) at least once
};
