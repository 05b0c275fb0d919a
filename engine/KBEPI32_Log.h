// Failure conversion and the diagnostic log.
//
// Inside the engine failures are exceptions: EDAOError from the wrapper layer,
// EKBEError from the engine's own checks, anything else from the run-time.
// Every export runs its work under trap(), which turns whatever escapes into a
// result code (and writes it to the log when logging is on).
//
// The conversion (KBEPI32_Errors.cpp) sits above the sessions, whose DAO
// errors it reports; the log file (KBEPI32_Log.cpp) sits below everything.
#pragma once

#include <stdexcept>
#include <string>

#include "kbe/kbe.h"

namespace kbe {

// A failure found by the engine's own checks.
class EKBEError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A handle or state record of the wrong class where the engine expected
// another (the run-time's failed class cast).
class EInvalidCast : public std::runtime_error {
 public:
  EInvalidCast() : std::runtime_error("Invalid class typecast") {}
};

// Converts the failure being handled (call only inside a catch block) into a
// result code, writing the head line and the DAO errors of the current
// session to the log. Never throws.
DBIResult convertCurrentFailure() noexcept;

// Runs `work` (which returns a DBIResult) and converts any failure.
template <class F>
DBIResult trap(F&& work) noexcept {
  try {
    return work();
  } catch (...) {
    return convertCurrentFailure();
  }
}

// Writes one line to the log when logging is active.
void logLine(const std::string& text) noexcept;
bool loggingActive() noexcept;

// The current local date and time as the log writes it: "MM/DD/YYYY" with
// '/', a blank, and the time as "hh:mm:ss" (24-hour clock) with ':'.
std::string logDateTime();

// Library unload: writes "logging terminated" when logging is active, then
// closes the log file. Logging is off afterwards.
void finishLog() noexcept;

}  // namespace kbe
