#include "zip/ArcTypes.h"

#include "base/Exception.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "zip/ZipErrors.h"

#include <algorithm>

namespace addoscope::zip {

std::u16string TArchiveItem::GetDiskFileName() const
{
    std::u16string name = FFileName;
    std::replace(name.begin(), name.end(), u'/', u'\\');
    return name;
}

// ---- TArchiveList ---------------------------------------------------------

TArchiveList::TArchiveList(bool ownsItems) : FOwnsItems(ownsItems) {}

TArchiveList::~TArchiveList()
{
    Clear();
}

namespace {

uint32_t ElfHashStep(uint32_t h, char16_t c)
{
    h = (h << 4) + c;
    const uint32_t g = h & 0xF0000000u;
    if (g != 0)
        h ^= g >> 24;
    return h & ~g;
}

} // namespace

uint32_t TArchiveList::NameHash(const std::u16string& fileName)
{
    // The locale's upper case of an ASCII letter is the ASCII one, so names
    // of ASCII characters alone (nearly all) need no trip to the platform.
    uint32_t h = 0;
    for (const char16_t c : fileName) {
        if (c >= 0x80) {
            h = 0;
            for (const char16_t u : platform::UpperCase(fileName))
                h = ElfHashStep(h, u);
            return h % HashSize;
        }
        h = ElfHashStep(h, c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    }
    return h % HashSize;
}

void TArchiveList::Add(std::unique_ptr<TArchiveItem> item)
{
    TArchiveItem* raw = item.get();
    raw->FIndex = static_cast<int>(FList.size());
    FList.push_back(std::move(item));
    if (FOwnsItems) {
        TArchiveItem*& head = HashTable[NameHash(raw->GetFileName())];
        raw->NextItem = head;
        head = raw;
    }
}

int TArchiveList::Find(const std::u16string& fileName) const
{
    if (!FOwnsItems) {
        for (size_t i = 0; i < FList.size(); ++i)
            if (base::SameTextAscii(FList[i]->GetFileName(), fileName))
                return static_cast<int>(i);
        return -1;
    }
    for (const TArchiveItem* item = HashTable[NameHash(fileName)]; item; item = item->NextItem)
        if (base::SameTextAscii(item->GetFileName(), fileName))
            return item->FIndex;
    return -1;
}

void TArchiveList::Clear()
{
    // A list that does not own its items must not free them.
    if (!FOwnsItems)
        for (auto& item : FList)
            (void)item.release();
    FList.clear();
    HashTable.fill(nullptr);
}

// ---- TArchive --------------------------------------------------------------

TArchive::TArchive(base::TStream* stream, bool ownsStream, std::u16string archiveName)
    : FStream(stream), FOwnsStream(ownsStream), FArchiveName(std::move(archiveName))
{
}

TArchive::~TArchive()
{
    FItemList.Clear();
    if (FOwnsStream)
        delete FStream;
}

void TArchive::Load()
{
    try {
        LoadArchive();
    } catch (...) {
        if (FOnLoad)
            FOnLoad();
        throw;
    }
    if (FOnLoad)
        FOnLoad();
    FStatus = TArchiveStatus::asIdle;
}

bool TArchive::ReportArchiveProgress(uint8_t progress)
{
    bool abort = false;
    if (FOnArchiveProgress)
        FOnArchiveProgress(progress, abort);
    return abort;
}

namespace {

void Classify(TErrorClass& errorClass, int32_t& errorCode)
{
    try {
        throw;
    } catch (const EArcException& e) {
        errorClass = TErrorClass::ecArchive;
        errorCode = e.ErrorCode();
    } catch (const base::EFOpenError&) {
        errorClass = TErrorClass::ecFileOpenError;
        errorCode = 0;
    } catch (const base::EStreamError&) {
        errorClass = TErrorClass::ecFilerError;
        errorCode = 0;
    } catch (...) {
        errorClass = TErrorClass::ecOther;
        errorCode = 0;
    }
}

} // namespace

void TArchive::ExtractToStream(const std::u16string& fileName, base::TStream& target)
{
    if (FStatus == TArchiveStatus::asInvalid)
        throw EArcNoArchive();
    const int index = FindFile(fileName);
    if (index < 0)
        return;
    TArchiveItem& item = FItemList.Item(index);
    // Items read from a directory are always aaNone: there is never a pending
    // change to save before extracting.
    bool confirm = true;
    if (FOnConfirmProcessItem)
        FOnConfirmProcessItem(item, TProcessType::ptExtract, confirm);
    if (!confirm)
        return;
    FCurrentItem = &item;
    try {
        if (!FExtractToStreamHelper)
            throw EZipNoExtraction();
        FExtractToStreamHelper(item, &target);
    } catch (...) {
        TErrorClass errorClass;
        int32_t errorCode;
        Classify(errorClass, errorCode);
        if (FOnProcessItemFailure) {
            try {
                FOnProcessItemFailure(item, TProcessType::ptExtract, errorClass, errorCode);
            } catch (...) {
                // A failing handler must not turn a quiet failure into a loud one.
            }
        }
    }
    FCurrentItem = nullptr;
}

} // namespace addoscope::zip
