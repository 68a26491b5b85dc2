#include "base/Budget.h"
#include "base/Text.h"
#include "package/Package.h"
#include "platform/Platform.h"
#include "plugin/ContentPlugin.h"
#include "plugin/FieldTable.h"
#include "plugin/Lifecycle.h"
#include "plugin/PathRules.h"
#include "plugin/PluginState.h"

namespace addoscope::plugin {

std::atomic<bool> KeepFileNameCase {false};
void (*ReadingTestHook)() = nullptr;

namespace {

// Reads the package on a cache miss. An error that escapes the reading
// gives no record at all, so nothing is cached and the next request tries
// again. A reading that passes its budget of time or memory is a broken
// package: it is cached as not valid, so it is not read again until it
// changes, and no field of what it had read so far is shown.
std::unique_ptr<TCacheObject> ReadRecord(const std::u16string& name, const platform::TFindData& found,
                                         const std::u16string& localeSetting)
{
    std::unique_ptr<TCacheObject> object;
    try {
        object = std::make_unique<TCacheObject>();
        object->FileTime = found.LastWriteTime;
        object->FileDateTime = platform::FileTimeToLocalDateTime(found.LastWriteTime);
        object->FileSize = found.Size;
    } catch (...) {
        return nullptr;
    }
    base::TReadingBudget budget(ReadingCpuBudget, ReadingMemoryBudget);
    try {
        if (ReadingTestHook)
            ReadingTestHook();
        object->Valid = package::ReadPackage(name, localeSetting, object->Addoscope);
    } catch (...) {
        if (!budget.Exceeded())
            return nullptr;
    }
    if (budget.Exceeded()) {
        object->Valid = false;
        object->Addoscope = package::TAddoscope();
    }
    return object;
}

} // namespace

void SetDefaultParams()
{
    KeepFileNameCase = platform::FileNamesKeepCase();
}

int32_t GetValue(const char16_t* fileName, int32_t fieldIndex, int32_t /*unitIndex*/, void* fieldValue,
                 int32_t maxlen, int32_t flags)
{
    // Every value counts as slow: the host asks again from a background
    // thread without the flag, and only then is the package read.
    if (flags & CONTENT_DELAYIFSLOW)
        return ft_delayed;

    TPluginLockGuard lock;
    TModuleState& module = Module();
    // Assigned in place: the last name's storage is reused on every request.
    module.LastFileName.assign(fileName ? fileName : u"", base::WideLength(fileName));
    // The name as given serves as it is unless it must be prefixed or
    // lower-cased, which happens in a copy: the last name stays as given.
    const bool keepCase = KeepFileNameCase;
    std::u16string* prepared = &module.LastFileName;
    if (platform::UsesLongNamePrefix) {
        module.PreparedName = PrefixLongName(module.LastFileName);
        prepared = &module.PreparedName;
    }

    // When the name is used as given and the find takes no wildcards, a
    // successful find already proves the name exists: the separate
    // existence test would only repeat the same file-system look-up on the
    // path that carries nearly every request.
    if (!keepCase || platform::FindFileMatchesPatterns) {
        if (!platform::FileExists(*prepared))
            return ft_fieldempty;
        if (!keepCase) {
            module.PreparedName = platform::LowerCase(*prepared);
            prepared = &module.PreparedName;
        }
    }
    const std::u16string& name = *prepared;

    platform::TFindData found;
    if (!platform::FindFile(name, found, module.NativeName))
        return ft_fieldempty;

    // The reader captures one reference, small enough for the function
    // object to hold without an allocation: a cache hit allocates nothing.
    struct TReading {
        const std::u16string& Name;
        const platform::TFindData& Found;
        const std::u16string& LocaleSetting;
    } reading {name, found, module.Settings.UseCurrentLocaleDescription};
    const TPackageReader reader = [&reading] {
        return ReadRecord(reading.Name, reading.Found, reading.LocaleSetting);
    };
    TRecordLookup lookup;
    if (module.RecordCache) {
        lookup = LookupRecord(*module.RecordCache, name, found.LastWriteTime, found.Size, reader);
    } else {
        lookup.Owned = reader();
        lookup.Object = lookup.Owned.get();
    }
    if (!lookup.Object || !lookup.Object->Valid)
        return ft_fieldempty;

    // The field is read straight from the record: the lock is held until
    // the text has been copied to the host, so no other request can evict
    // or replace the cached object meanwhile, and copying the whole record
    // for one field would cost more than the rest of a cache hit.
    const std::u16string& text = FieldText(lookup.Object->Addoscope, fieldIndex);
    if (text.empty())
        return ft_fieldempty;
    CopyFieldValue(text, fieldValue, maxlen);
    return FieldTable[static_cast<size_t>(fieldIndex)].Type;
}

int32_t GetValueAnsi(const char* fileName, int32_t fieldIndex, int32_t unitIndex, void* fieldValue, int32_t maxlen,
                     int32_t flags)
{
    const std::u16string name = fileName ? platform::HostNameToUnicode(fileName) : std::u16string();
    return GetValue(name.c_str(), fieldIndex, unitIndex, fieldValue, maxlen, flags);
}

void SendStateInformation(int32_t state, const char16_t* /*path*/)
{
    // The lock guards the cache and the last file name against a request
    // running on another thread.
    TPluginLockGuard lock;
    TModuleState& module = Module();
    if (!module.RecordCache)
        return;
    if (state == contst_readnewdir) {
        if (module.RecordCache->Count() > module.Settings.CacheSize)
            module.RecordCache->Clear();
    } else if (state == contst_refreshpressed) {
        if (platform::SameTextLocale(FolderPart(module.LastFileName), FolderPart(module.ModuleFileName)))
            module.RecordCache->Clear();
    }
}

} // namespace addoscope::plugin
