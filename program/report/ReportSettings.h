// The report choices kept in the settings file "kh.ini" in the program
// directory, section "PrintOptions". Read and written through the profile
// functions each time; this is the one place the report windows touch the
// settings file.
#pragma once

#include <QString>

struct TPrintOptions {
  QString title;          // "title"; "Account Summary" when absent
  bool date = true;       // "date"
  bool one = true;        // "one": one group per page
  int type = 0;           // "type": 0 current group, 1 all groups
  int concise = 0;        // "concise": 0 full, 1 concise
};

// The path of the settings file.
QString ReportSettingsFile();
TPrintOptions LoadPrintOptions();
// Raises std::runtime_error "Unable to write to <file>" when a value cannot
// be written (the values before it stay written).
void SavePrintOptions(const TPrintOptions& options);
