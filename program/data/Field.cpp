// Fields and the texts and timestamps of their values.
#include "Field.h"

#include "DataSet.h"
#include "DatabaseError.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DataSetSupport.h"
#include "binding/Bde.h"

using namespace keyhaven::data;

QString DateTimeToText(const QDateTime& value) {
  if (!value.isValid()) return {};
  QString text = value.date().toString(QStringLiteral("MM/dd/yyyy"));
  if (value.time() != QTime(0, 0)) text += QLatin1Char(' ') + value.time().toString(QStringLiteral("h:mm:ss AP"));
  return text;
}

QDateTime TextToDateTime(const QString& text, bool* ok) {
  const QString t = text.simplified();
  static const char* const dateTimeFormats[] = {"MM/dd/yyyy h:mm:ss AP", "M/d/yyyy h:mm:ss AP", "MM/dd/yyyy h:mm AP",
                                                "M/d/yyyy h:mm AP",      "MM/dd/yyyy H:mm:ss",  "M/d/yyyy H:mm:ss",
                                                "MM/dd/yyyy H:mm",       "M/d/yyyy H:mm"};
  for (const char* format : dateTimeFormats) {
    const QDateTime dt = QDateTime::fromString(t, QString::fromLatin1(format));
    if (dt.isValid()) {
      if (ok) *ok = true;
      return dt;
    }
  }
  for (const char* format : {"MM/dd/yyyy", "M/d/yyyy", "yyyy-MM-dd"}) {
    const QDate d = QDate::fromString(t, QString::fromLatin1(format));
    if (d.isValid()) {
      if (ok) *ok = true;
      return QDateTime(d, QTime(0, 0));
    }
  }
  const QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
  if (ok) *ok = iso.isValid();
  return iso;
}

namespace {
constexpr double kMsPerDay = 86400000.0;
// Julian day number of the timestamps' day 0 (31 December of the year 0).
constexpr qint64 kTimestampDayZero = 1721425;
}  // namespace

double DateTimeToTimestamp(const QDateTime& value) {
  const qint64 days = value.date().toJulianDay() - kTimestampDayZero;
  return static_cast<double>(days) * kMsPerDay + value.time().msecsSinceStartOfDay();
}

QDateTime TimestampToDateTime(double timestamp) {
  if (!std::isfinite(timestamp)) return {};
  double days = std::floor(timestamp / kMsPerDay);
  qint64 ms = std::llround(timestamp - days * kMsPerDay);
  if (ms >= 86400000) {
    days += 1;
    ms -= 86400000;
  }
  const QDate date = QDate::fromJulianDay(static_cast<qint64>(days) + kTimestampDayZero);
  return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

// ---- fields ---------------------------------------------------------------------------

namespace {

TFieldType typeOf(const kbe::FLDDesc& d) {
  switch (d.iFldType) {
    case fldZSTRING:
      return TFieldType::ftString;
    case fldBLOB:
      return d.iSubType == fldstMEMO ? TFieldType::ftMemo : TFieldType::ftBlob;
    case fldBOOL:
      return TFieldType::ftBoolean;
    case fldINT16:
      return TFieldType::ftSmallint;
    case fldINT32:
      return TFieldType::ftInteger;
    case fldFLOAT:
      return d.iSubType == fldstMONEY ? TFieldType::ftCurrency : TFieldType::ftFloat;
    case fldBYTES:
      return TFieldType::ftBytes;
    case fldTIMESTAMP:
      return TFieldType::ftDateTime;
    default:
      return TFieldType::ftUnknown;
  }
}


}  // namespace

TField::TField(TDataSet& dataSet, const kbe::FLDDesc& desc) : dataSet_(&dataSet) { rebind(desc); }

void TField::rebind(const kbe::FLDDesc& desc) {
  desc_ = desc;
  name_ = fromAnsi(desc.szName);
  type_ = typeOf(desc);
}

int TField::Size() const noexcept { return type_ == TFieldType::ftString ? desc_.iUnits1 : 0; }

bool TField::ReadOnly() const noexcept { return desc_.efldrRights != 0; }

bool TField::IsNull() const { return dataSet_->fieldIsNull(*this, dataSet_->activeBuffer()); }

QVariant TField::AsVariant() const { return dataSet_->readField(*this, dataSet_->activeBuffer()); }

QString TField::AsString() const { return variantText(*this, AsVariant()); }

qint32 TField::AsInteger() const {
  const QVariant v = AsVariant();
  if (!v.isValid()) return 0;
  switch (type_) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
      return v.toInt();
    case TFieldType::ftBoolean:
      return v.toBool() ? 1 : 0;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: {
      const double d = v.toDouble();
      if (d >= -2147483648.0 && d <= 2147483647.0) return static_cast<qint32>(std::llround(d));
      break;
    }
    case TFieldType::ftString:
    case TFieldType::ftMemo: {
      bool ok = false;
      const qint32 n = v.toString().trimmed().toInt(&ok);
      if (ok) return n;
      break;
    }
    default:
      break;
  }
  throw EDatabaseError(QStringLiteral("The value of field '%1' is not an integer").arg(name_));
}

bool TField::AsBoolean() const {
  const QVariant v = AsVariant();
  if (!v.isValid()) return false;
  switch (type_) {
    case TFieldType::ftBoolean:
      return v.toBool();
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return v.toDouble() != 0;
    case TFieldType::ftString:
    case TFieldType::ftMemo: {
      bool b = false;
      if (parseBoolean(v.toString(), b)) return b;
      break;
    }
    default:
      break;
  }
  throw EDatabaseError(QStringLiteral("The value of field '%1' is not a Boolean").arg(name_));
}

QDateTime TField::AsDateTime() const {
  const QVariant v = AsVariant();
  if (!v.isValid()) return {};
  if (type_ == TFieldType::ftDateTime) return v.toDateTime();
  if (type_ == TFieldType::ftString || type_ == TFieldType::ftMemo) {
    bool ok = false;
    const QDateTime dt = TextToDateTime(v.toString(), &ok);
    if (ok) return dt;
  }
  throw EDatabaseError(QStringLiteral("The value of field '%1' is not a date").arg(name_));
}

double TField::AsFloat() const {
  const QVariant v = AsVariant();
  if (!v.isValid()) return 0;
  switch (type_) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return v.toDouble();
    case TFieldType::ftBoolean:
      return v.toBool() ? 1 : 0;
    case TFieldType::ftString:
    case TFieldType::ftMemo: {
      bool ok = false;
      const double d = v.toString().trimmed().toDouble(&ok);
      if (ok) return d;
      break;
    }
    default:
      break;
  }
  throw EDatabaseError(QStringLiteral("The value of field '%1' is not a number").arg(name_));
}

void TField::setAsVariant(const QVariant& value) { dataSet_->writeField(*this, value); }
void TField::setAsString(const QString& value) { dataSet_->writeField(*this, value); }
void TField::setAsInteger(qint32 value) { dataSet_->writeField(*this, value); }
void TField::setAsBoolean(bool value) { dataSet_->writeField(*this, value); }
void TField::setAsDateTime(const QDateTime& value) {
  if (!value.isValid()) throw EDatabaseError(QStringLiteral("Invalid date for field '%1'").arg(name_));
  dataSet_->writeField(*this, value);
}
void TField::setAsFloat(double value) { dataSet_->writeField(*this, value); }
void TField::Clear() { dataSet_->writeField(*this, QVariant()); }

QString TField::DisplayFormat() const { return dataSet_->DisplayFormat(name_); }

void TField::setDisplayFormat(const QString& format) { dataSet_->setDisplayFormat(name_, format); }

QString TField::DisplayText() const { return displayText(*this, AsVariant()); }

