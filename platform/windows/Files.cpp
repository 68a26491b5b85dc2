#include "base/Text.h"
#include "platform/Platform.h"
#include "platform/windows/WinApi.h"

#include <algorithm>

namespace addoscope::platform {

namespace windows {

std::string ErrorText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result;
    if (length > 0 && text != nullptr)
        result = base::Utf16ToUtf8(FromWide(text, length));
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result.empty() ? "system error " + std::to_string(code) : result;
}

} // namespace windows

using windows::Wide;

bool FileExists(const std::u16string& name)
{
    if (name.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesW(Wide(name));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return true;
    // A symbolic link or junction: it exists when its target does. Opening
    // with no access rights follows the link without touching the data.
    const HANDLE handle = ::CreateFileW(Wide(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(handle);
    return true;
}

bool FindFile(const std::u16string& name, TFindData& data, std::string& /*scratch*/)
{
    return FindFile(name, data);
}

bool FindFile(const std::u16string& name, TFindData& data)
{
    if (name.empty())
        return false;
    // Every attribute but "directory" is accepted: hidden, system and
    // read-only files are found, folders are passed over.
    constexpr DWORD acceptedAttributes = 0x1EF;
    constexpr DWORD excluded = ~acceptedAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                       FILE_ATTRIBUTE_DIRECTORY);
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(Wide(name), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    while ((found.dwFileAttributes & excluded) != 0) {
        if (!::FindNextFileW(search, &found)) {
            ok = false;
            break;
        }
    }
    ::FindClose(search);
    if (!ok)
        return false;
    data.LastWriteTime = static_cast<int64_t>((static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                              found.ftLastWriteTime.dwLowDateTime);
    data.Size = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    return true;
}

double FileTimeToLocalDateTime(TFileTime time)
{
    if (time < 0)
        return 0;
    FILETIME fileTime;
    fileTime.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(time) & 0xFFFFFFFFu);
    fileTime.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(time) >> 32);
    // Through SYSTEMTIME so that the time-zone rules of that date apply,
    // not today's offset (which FileTimeToLocalFileTime would use).
    SYSTEMTIME utc {};
    SYSTEMTIME local {};
    if (!::FileTimeToSystemTime(&fileTime, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return 0;
    const int64_t ticksOfSecond = time % 10000000;
    const double secondsOfDay = local.wHour * 3600.0 + local.wMinute * 60.0 + local.wSecond +
                                static_cast<double>(ticksOfSecond) / 1e7;
    return LocalDateTime(local.wYear, local.wMonth, local.wDay, secondsOfDay);
}

TFile::TFile(const std::u16string& name) : FHandle(reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE))
{
    const HANDLE handle = ::CreateFileW(Wide(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        FErrorText = windows::ErrorText(::GetLastError());
        return;
    }
    // Pipes, consoles and devices could block a read forever; only files on
    // a disk are read.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        FErrorText = "Not a regular file";
        ::CloseHandle(handle);
        return;
    }
    FHandle = reinterpret_cast<intptr_t>(handle);
}

TFile::~TFile()
{
    if (IsOpen())
        ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

bool TFile::IsOpen() const
{
    return reinterpret_cast<HANDLE>(FHandle) != INVALID_HANDLE_VALUE;
}

int64_t TFile::Read(void* buffer, int64_t count)
{
    if (!IsOpen() || count < 0)
        return -1;
    auto* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        DWORD read = 0;
        if (!::ReadFile(reinterpret_cast<HANDLE>(FHandle), out + done, chunk, &read, nullptr))
            return -1;
        if (read == 0)
            break;
        done += read;
    }
    return done;
}

int64_t TFile::ReadAt(void* buffer, int64_t count, int64_t offset)
{
    if (!IsOpen() || count < 0 || offset < 0)
        return -1;
    auto* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        const auto at = static_cast<uint64_t>(offset + done);
        OVERLAPPED overlapped {};
        overlapped.Offset = static_cast<DWORD>(at);
        overlapped.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD read = 0;
        if (!::ReadFile(reinterpret_cast<HANDLE>(FHandle), out + done, chunk, &read, &overlapped)) {
            // A synchronous read at or past the end fails with this code.
            if (::GetLastError() == ERROR_HANDLE_EOF)
                break;
            return -1;
        }
        if (read == 0)
            break;
        done += read;
    }
    return done;
}

bool TFile::SeekTo(int64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return IsOpen() && offset >= 0 && ::SetFilePointerEx(reinterpret_cast<HANDLE>(FHandle), to, nullptr, FILE_BEGIN);
}

int64_t TFile::Size()
{
    LARGE_INTEGER size;
    if (!IsOpen() || !::GetFileSizeEx(reinterpret_cast<HANDLE>(FHandle), &size))
        return -1;
    return size.QuadPart;
}

int64_t TFile::SizeAtOpen()
{
    if (FSizeAtOpen < 0)
        FSizeAtOpen = Size();
    return FSizeAtOpen;
}

} // namespace addoscope::platform
