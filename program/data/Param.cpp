// Statement parameters.
#include "Param.h"

#include "DatabaseError.h"
#include <algorithm>
#include <cstring>

#include "DataSetSupport.h"
#include "binding/Bde.h"
#include "platform/ansi.h"

using namespace keyhaven::data;

// ---- parameters --------------------------------------------------------------------

void TParam::set(TFieldType type, QVariant value) {
  type_ = type;
  value_ = std::move(value);
  bound_ = true;
  assigned_ = true;
}

void TParam::setAsInteger(qint32 value) { set(TFieldType::ftInteger, value); }
void TParam::setAsString(const QString& value) { set(TFieldType::ftString, value); }
void TParam::setAsDateTime(const QDateTime& value) {
  set(TFieldType::ftDateTime, value.isValid() ? QVariant(value) : QVariant());
}
void TParam::setAsBoolean(bool value) { set(TFieldType::ftBoolean, value); }
void TParam::setAsFloat(double value) { set(TFieldType::ftFloat, value); }
void TParam::Clear() { set(type_, QVariant()); }

void TParam::AssignField(const TField& field) {
  TFieldType type = field.DataType();
  if (type == TFieldType::ftSmallint) type = TFieldType::ftInteger;
  if (type == TFieldType::ftCurrency) type = TFieldType::ftFloat;
  if (type == TFieldType::ftMemo) type = TFieldType::ftString;
  type_ = type;
  value_ = field.AsVariant();
  assigned_ = true;
}

