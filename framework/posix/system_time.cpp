// Last error, ticks, clock, time zone, locale formats, random bytes and platform version.
#include "framework/system.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <clocale>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <sys/random.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {
thread_local DWORD t_lastError = 0;
std::atomic<int> g_forcedPlatform{-1};
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

DWORD AfxErrnoToWin32Error(int err)
{
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ESPIPE: return ERROR_SEEK;
    case EIO: return ERROR_WRITE_FAULT;
    case EBUSY: return ERROR_BUSY;
    case EWOULDBLOCK: return ERROR_LOCK_VIOLATION;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSYS: return ERROR_CALL_NOT_IMPLEMENTED;
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ELOOP: return ERROR_BAD_PATHNAME;
    default: return 0x20000000u | static_cast<DWORD>(err);
    }
}

DWORD GetTickCount()
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ull + static_cast<unsigned long long>(ts.tv_nsec) / 1000000ull;
    return static_cast<DWORD>(ms);
}

namespace {

void FromTm(const std::tm& tm, long nanoseconds, SYSTEMTIME* out)
{
    out->wYear = static_cast<WORD>(tm.tm_year + 1900);
    out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    out->wDay = static_cast<WORD>(tm.tm_mday);
    out->wHour = static_cast<WORD>(tm.tm_hour);
    out->wMinute = static_cast<WORD>(tm.tm_min);
    out->wSecond = static_cast<WORD>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

// A calendar record for formatting: the fields of the time, with the weekday worked out
// from the date (timegm normalises a copy and leaves the fields we set alone otherwise).
std::tm ToTm(const SYSTEMTIME& t)
{
    std::tm tm{};
    tm.tm_year = static_cast<int>(t.wYear) - 1900;
    tm.tm_mon = static_cast<int>(t.wMonth) - 1;
    tm.tm_mday = t.wDay;
    tm.tm_hour = t.wHour;
    tm.tm_min = t.wMinute;
    tm.tm_sec = t.wSecond;
    std::tm copy = tm;
    ::timegm(&copy);
    tm.tm_wday = copy.tm_wday;
    tm.tm_yday = copy.tm_yday;
    return tm;
}

// The user's LC_TIME locale as a locale object, so formatting never touches the
// process-wide locale.
class UserTimeLocale {
public:
    UserTimeLocale()
    {
        m_loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        if (!m_loc)
            m_loc = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
    ~UserTimeLocale()
    {
        if (m_loc)
            ::freelocale(m_loc);
    }
    UserTimeLocale(const UserTimeLocale&) = delete;
    UserTimeLocale& operator=(const UserTimeLocale&) = delete;

    std::string Info(nl_item item) const
    {
        const char* s = m_loc ? ::nl_langinfo_l(item, m_loc) : nullptr;
        return s ? s : "";
    }
    CString Format(const std::string& format, const std::tm& tm) const
    {
        if (format.empty())
            return CString();
        char buffer[512];
        size_t n = m_loc ? ::strftime_l(buffer, sizeof buffer, format.c_str(), &tm, m_loc)
                         : std::strftime(buffer, sizeof buffer, format.c_str(), &tm);
        return CString(buffer, static_cast<int>(n));
    }

private:
    locale_t m_loc = static_cast<locale_t>(0);
};

// Position of the first of the given conversions in a strftime format, or npos.
size_t FirstConversion(const std::string& fmt, const char* letters)
{
    for (size_t i = 0; i + 1 < fmt.size(); ++i) {
        if (fmt[i] != '%')
            continue;
        size_t j = i + 1;
        while (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O' || fmt[j] == '-' || fmt[j] == '_' || fmt[j] == '0'))
            ++j;
        if (j < fmt.size() && std::strchr(letters, fmt[j]))
            return i;
        i = j;
    }
    return std::string::npos;
}

std::string ExpandTimeFormat(std::string fmt)
{
    // Composite conversions are spelled out so the seconds can be found and left out.
    auto replaceAll = [&](const char* from, const char* to) {
        for (size_t p = fmt.find(from); p != std::string::npos; p = fmt.find(from, p + std::strlen(to)))
            fmt.replace(p, std::strlen(from), to);
    };
    replaceAll("%r", "%I:%M:%S %p");
    replaceAll("%T", "%H:%M:%S");
    replaceAll("%X", "%H:%M:%S");
    return fmt;
}

} // namespace

void GetSystemTime(SYSTEMTIME* time)
{
    timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::gmtime_r(&ts.tv_sec, &tm);
    FromTm(tm, ts.tv_nsec, time);
}

void GetLocalTime(SYSTEMTIME* time)
{
    timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    ::tzset();
    std::tm tm{};
    ::localtime_r(&ts.tv_sec, &tm);
    FromTm(tm, ts.tv_nsec, time);
}

LONG AfxGetTimeZoneBias()
{
    ::tzset();
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return static_cast<LONG>(-(tm.tm_gmtoff / 60));
}

CString AfxFormatLongDate(const SYSTEMTIME& time)
{
    UserTimeLocale loc;
    std::string shortDate = loc.Info(D_FMT);
    size_t month = FirstConversion(shortDate, "mbBhD");
    size_t year = FirstConversion(shortDate, "yYCGgF");
    size_t day = FirstConversion(shortDate, "de");
    std::string format;
    if (month != std::string::npos && (day == std::string::npos || month < day) && (year == std::string::npos || month < year))
        format = "%A, %B %d, %Y";
    else if (year != std::string::npos && (day == std::string::npos || year < day))
        format = "%Y %B %d, %A";
    else if (shortDate.find('.') != std::string::npos)
        format = "%A, %d. %B %Y";
    else
        format = "%A, %d %B %Y";
    return loc.Format(format, ToTm(time));
}

CString AfxFormatTime(const SYSTEMTIME& time, BOOL withSeconds)
{
    UserTimeLocale loc;
    std::string fmt = ExpandTimeFormat(loc.Info(T_FMT));
    if (fmt.empty())
        fmt = "%H:%M:%S";
    if (!withSeconds) {
        size_t s = FirstConversion(fmt, "S");
        if (s != std::string::npos) {
            size_t end = s + 2;
            while (end < fmt.size() && fmt[end - 1] != 'S')
                ++end;
            // Drop the separator before the seconds together with them.
            size_t begin = s;
            while (begin > 0 && fmt[begin - 1] != '%' && !std::isalnum(static_cast<unsigned char>(fmt[begin - 1])) &&
                   (begin < 2 || fmt[begin - 2] != '%'))
                --begin;
            fmt.erase(begin, end - begin);
        }
    }
    return loc.Format(fmt, ToTm(time));
}

BOOL AfxGetOSRandomBytes(void* buffer, size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::getrandom(out + done, count - done, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (done == count)
        return TRUE;
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(AfxErrnoToWin32Error(errno));
        return FALSE;
    }
    while (done < count) {
        ssize_t n = ::read(fd, out + done, count - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    int err = errno;
    ::close(fd);
    if (done != count) {
        SetLastError(AfxErrnoToWin32Error(err ? err : EIO));
        return FALSE;
    }
    return TRUE;
}

BOOL GetVersionExA(OSVERSIONINFOA* info)
{
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    std::memset(info, 0, sizeof *info);
    info->dwOSVersionInfoSize = size;
    utsname u{};
    if (::uname(&u) == 0) {
        unsigned major = 0, minor = 0, build = 0;
        std::sscanf(u.release, "%u.%u.%u", &major, &minor, &build);
        info->dwMajorVersion = major;
        info->dwMinorVersion = minor;
        info->dwBuildNumber = build;
        std::string text = std::string(u.sysname) + " " + u.release;
        text.resize(std::min(text.size(), sizeof info->szCSDVersion - 1));
        std::memcpy(info->szCSDVersion, text.c_str(), text.size() + 1);
    }
    int forced = g_forcedPlatform.load();
    info->dwPlatformId = forced >= 0 ? static_cast<DWORD>(forced) : VER_PLATFORM_WIN32_NT;
    return TRUE;
}

void AfxForcePlatformId(int id) { g_forcedPlatform.store(id < 0 ? -1 : id); }
