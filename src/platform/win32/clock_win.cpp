#include "platform/win32/clock_win.h"

#include <windows.h>

#include <limits>

#include "platform/win32/os_error_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

WORD ToWord(int value) {
  // Out-of-range fields become an invalid moment, which the format functions refuse.
  return value < 0 || value > std::numeric_limits<WORD>::max() ? std::numeric_limits<WORD>::max()
                                                               : static_cast<WORD>(value);
}

SYSTEMTIME ToSystemTime(const LocalDateTime& moment) {
  SYSTEMTIME time{};
  time.wYear = ToWord(moment.year);
  time.wMonth = ToWord(moment.month);
  time.wDay = ToWord(moment.day);
  time.wDayOfWeek = ToWord(moment.dayOfWeek);
  time.wHour = ToWord(moment.hour);
  time.wMinute = ToWord(moment.minute);
  time.wSecond = ToWord(moment.second);
  time.wMilliseconds = ToWord(moment.millisecond);
  return time;
}

// Both format functions share the size-query-then-fill pattern.
template <typename Format>
OsResult<std::string> FormatWith(Format format, const char* api) {
  const int needed = format(nullptr, 0);
  if (needed <= 0) return LastOsError(api);
  std::wstring text(static_cast<size_t>(needed), L'\0');
  const int written = format(text.data(), needed);
  if (written <= 0) return LastOsError(api);
  text.resize(static_cast<size_t>(written - 1));  // the count includes the terminating NUL
  return WideToUtf8(text);
}

}  // namespace

LocalDateTime ClockWin::Now() {
  SYSTEMTIME time{};
  ::GetLocalTime(&time);
  return LocalDateTime{time.wYear,   time.wMonth,  time.wDay,          time.wHour,
                       time.wMinute, time.wSecond, time.wMilliseconds, time.wDayOfWeek};
}

uint64_t ClockWin::SteadyMilliseconds() { return ::GetTickCount64(); }

void ClockWin::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

OsResult<std::string> ClockWin::FormatLongTime(const LocalDateTime& moment) {
  const SYSTEMTIME time = ToSystemTime(moment);
  // No explicit format: the user's own long time format applies.
  return FormatWith(
      [&](wchar_t* out, int size) {
        return ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, out, size);
      },
      "GetTimeFormatEx");
}

OsResult<std::string> ClockWin::FormatShortDate(const LocalDateTime& moment) {
  const SYSTEMTIME time = ToSystemTime(moment);
  return FormatWith(
      [&](wchar_t* out, int size) {
        return ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, out,
                                 size, nullptr);
      },
      "GetDateFormatEx");
}

}  // namespace dpc::win32
