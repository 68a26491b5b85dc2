#pragma once
// Helpers shared by the XML reader's tests.
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "xml/XmlDoc.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace addoscope::xml::xmltest {

inline std::unique_ptr<base::TMemoryStream> StreamOf(const std::string& bytes)
{
    auto stream = std::make_unique<base::TMemoryStream>();
    stream->LoadFromBuffer(bytes.data(), bytes.size());
    return stream;
}

// A document loaded from bytes, with its diagnostics collected.
struct TLoaded {
    std::unique_ptr<TXmlDoc> Doc = std::make_unique<TXmlDoc>();
    std::vector<std::pair<std::string, TxWarnStyle>> Messages;

    bool Said(const std::string& prefix) const
    {
        for (const auto& message : Messages)
            if (message.first.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
};

inline TLoaded Load(const std::string& bytes, TxEolStyle eol = esCRLF)
{
    TLoaded loaded;
    auto* messages = &loaded.Messages;
    loaded.Doc->SetOnDebugOut([messages](const std::string& text, TxWarnStyle style) {
        messages->emplace_back(text, style);
    });
    loaded.Doc->SetEolStyle(eol);
    loaded.Doc->LoadFromStream(*StreamOf(bytes));
    return loaded;
}

// The UTF-16 form of UTF-8 text as bytes, little or big endian.
inline std::string Utf16Bytes(const std::string& utf8, bool bigEndian)
{
    std::string bytes;
    for (const char16_t unit : base::Utf8ToUtf16(utf8)) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string {high, low} : std::string {low, high};
    }
    return bytes;
}

} // namespace addoscope::xml::xmltest
