// Local time and sleeping.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {

LocalTime Win32Clock::GetLocalTime() {
    SYSTEMTIME st = {};
    ::GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.milliseconds = st.wMilliseconds;
    return t;
}

void Win32Clock::Sleep(Dword milliseconds) { ::Sleep(milliseconds); }

}  // namespace zmp::win32
