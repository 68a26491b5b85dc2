#include "zip/ArcTypes.h"

#include "base/Budget.h"
#include "base/Exception.h"
#include "base/Text.h"
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

void TArchiveList::Reserve(size_t count)
{
    FList.reserve(count);
    size_t buckets = 16;
    while (buckets < count)
        buckets *= 2;
    if (buckets > FHashTable.size())
        Rehash(buckets);
}

uint64_t TArchiveList::NameHash(std::u16string_view fileName) const
{
    FFolded.resize(fileName.size());
    for (size_t i = 0; i < fileName.size(); ++i) {
        const char16_t c = fileName[i];
        FFolded[i] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    }
    return FHash(std::u16string_view(FFolded));
}

void TArchiveList::Rehash(size_t buckets)
{
    FHashTable.assign(buckets, nullptr);
    // In directory order, each to the front of its chain: chains keep the
    // latest item first.
    for (const auto& item : FList) {
        TArchiveItem*& head = Head(item->GetFileName());
        item->NextItem = head;
        head = item.get();
    }
}

void TArchiveList::Add(std::unique_ptr<TArchiveItem> item)
{
    TArchiveItem* raw = item.get();
    raw->FIndex = static_cast<int>(FList.size());
    FList.push_back(std::move(item));
    if (!FOwnsItems)
        return;
    if (FList.size() > FHashTable.size()) {
        Rehash(std::max<size_t>(16, FHashTable.size() * 2));
        return; // linked by the rehash
    }
    TArchiveItem*& head = Head(raw->GetFileName());
    raw->NextItem = head;
    head = raw;
}

int TArchiveList::Find(std::u16string_view fileName) const
{
    if (!FOwnsItems) {
        for (size_t i = 0; i < FList.size(); ++i)
            if (base::SameTextAscii(FList[i]->GetFileName(), fileName))
                return static_cast<int>(i);
        return -1;
    }
    if (FHashTable.empty())
        return -1;
    // Chains hold the latest item first: the first exact name is the last
    // in directory order, and so is the first name equal without case.
    int sameText = -1;
    for (const TArchiveItem* item = Head(fileName); item; item = item->NextItem) {
        base::BudgetTick();
        const std::u16string& name = item->GetFileName();
        if (name.size() != fileName.size())
            continue;
        if (name == fileName)
            return item->FIndex;
        if (sameText < 0 && base::SameTextAscii(name, fileName))
            sameText = item->FIndex;
    }
    return sameText;
}

void TArchiveList::Clear()
{
    // A list that does not own its items must not free them.
    if (!FOwnsItems)
        for (auto& item : FList)
            (void)item.release();
    FList.clear();
    FHashTable.clear();
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
