// A column of a data set, and the texts and timestamps of field values.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "../../engine/include/kbe/kbe.h"

class TDataSet;

enum class TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftDateTime,
  ftBytes,
  ftMemo,
  ftBlob,
};

// A column of a data set. Its value is the current record's (the record being
// edited while the data set is in edit or insert state); a data set that is
// closed or has no current record reads every field as null. Writing needs
// edit or insert state.
class TField {
 public:
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const QString& FieldName() const noexcept { return name_; }
  TFieldType DataType() const noexcept { return type_; }
  // Characters of a string field; 0 for the other types.
  int Size() const noexcept;
  // 1-based position in the current result.
  int FieldNo() const noexcept { return desc_.iFldNum; }
  TDataSet& DataSet() const noexcept { return *dataSet_; }
  bool ReadOnly() const noexcept;
  bool IsBlob() const noexcept { return type_ == TFieldType::ftMemo || type_ == TFieldType::ftBlob; }

  bool IsNull() const;
  // Null reads as "", 0, false, an invalid QDateTime.
  QString AsString() const;
  qint32 AsInteger() const;
  bool AsBoolean() const;
  QDateTime AsDateTime() const;
  double AsFloat() const;
  // Null is an invalid QVariant; otherwise QString, int, bool, double,
  // QDateTime or QByteArray by type.
  QVariant AsVariant() const;

  void setAsString(const QString& value);
  void setAsInteger(qint32 value);
  void setAsBoolean(bool value);
  void setAsDateTime(const QDateTime& value);
  void setAsFloat(double value);
  void setAsVariant(const QVariant& value);
  void Clear();

  // The text a control shows: AsString, or for a date-time or float field
  // with a display format, the value formatted with it (a Qt date-time or
  // printf-style number format).
  QString DisplayText() const;
  QString DisplayFormat() const;
  void setDisplayFormat(const QString& format);

  // The engine's descriptor of the column.
  const kbe::FLDDesc& Descriptor() const noexcept { return desc_; }

 private:
  friend class TDataSet;
  TField(TDataSet& dataSet, const kbe::FLDDesc& desc);
  void rebind(const kbe::FLDDesc& desc);

  TDataSet* dataSet_;
  kbe::FLDDesc desc_;
  QString name_;
  TFieldType type_;
};

// Formats and parses the texts of field values: dates "MM/dd/yyyy", with the
// time "h:mm:ss AP" when it is not midnight; booleans "True" and "False".
QString DateTimeToText(const QDateTime& value);
QDateTime TextToDateTime(const QString& text, bool* ok);

// BDE timestamps (milliseconds, day 1 = 1 January 0001) and Qt date-times
// (local wall-clock values).
double DateTimeToTimestamp(const QDateTime& value);
QDateTime TimestampToDateTime(double timestamp);
