// The peer: libzip opening the package (a CRX through a source that starts
// at its zip part), RapidJSON parsing manifest.json and the messages of its
// locale, the six values a user wants with their __MSG_ names resolved;
// pugixml for install.rdf.
#include "Peer.h"

#include <rapidjson/document.h>
#include <pugixml.hpp>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadItem(zip_t* archive, const char* name, std::vector<char>& out)
{
    zip_stat_t st;
    if (zip_stat(archive, name, ZIP_FL_NOCASE, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return false;
    zip_file_t* file = zip_fopen(archive, name, ZIP_FL_NOCASE);
    if (!file)
        return false;
    out.resize(st.size + 1);
    const zip_int64_t got = zip_fread(file, out.data(), st.size);
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(st.size))
        return false;
    out[st.size] = 0;
    out.resize(st.size);
    return true;
}

long ZipStart(const char* path)
{
    if (!std::strstr(path, ".crx"))
        return 0;
    unsigned char head[16] = {};
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return -1;
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (got != sizeof head)
        return -1;
    const auto le32 = [&](int i) {
        return uint32_t(head[i]) | uint32_t(head[i + 1]) << 8 | uint32_t(head[i + 2]) << 16 | uint32_t(head[i + 3]) << 24;
    };
    return le32(4) >= 3 ? 12 + long(le32(8)) : 16 + long(le32(8)) + long(le32(12));
}

const char* const Keys[] = {"name", "description", "author", "version", "homepage_url", "update_url"};

} // namespace

int PeerRead(const char* path, std::string& name)
{
    const long start = ZipStart(path);
    if (start < 0)
        return 0;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_file_create(path, static_cast<zip_uint64_t>(start), -1, &error);
    if (!source)
        return 0;
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        zip_source_free(source);
        return 0;
    }
    int values = 0;
    std::vector<char> text;
    if (ReadItem(archive, "install.rdf", text)) {
        pugi::xml_document document;
        if (document.load_buffer_inplace(text.data(), text.size())) {
            const pugi::xml_node description = document.child("RDF").child("Description");
            for (const char* key : {"em:name", "em:description", "em:creator", "em:version", "em:homepageURL",
                                    "em:updateURL"})
                if (const pugi::xml_node value = description.child(key)) {
                    if (!std::strcmp(key, "em:name"))
                        name = value.text().get();
                    ++values;
                }
        }
    } else if (ReadItem(archive, "manifest.json", text)) {
        rapidjson::Document manifest;
        manifest.ParseInsitu(text.data());
        if (manifest.IsObject()) {
            rapidjson::Document messages;
            std::vector<char> messagesText;
            std::string locale = "en";
            if (manifest.HasMember("default_locale") && manifest["default_locale"].IsString())
                locale = manifest["default_locale"].GetString();
            if (ReadItem(archive, ("_locales/" + locale + "/messages.json").c_str(), messagesText))
                messages.ParseInsitu(messagesText.data());
            for (const char* key : Keys) {
                if (!manifest.HasMember(key) || !manifest[key].IsString())
                    continue;
                std::string value = manifest[key].GetString();
                if (value.rfind("__MSG_", 0) == 0 && value.size() > 8 && messages.IsObject()) {
                    const std::string id = value.substr(6, value.size() - 8);
                    const auto found = messages.FindMember(id.c_str());
                    if (found != messages.MemberEnd() && found->value.IsObject() &&
                        found->value.HasMember("message") && found->value["message"].IsString())
                        value = found->value["message"].GetString();
                }
                if (!std::strcmp(key, "name"))
                    name = value;
                ++values;
            }
        }
    }
    zip_close(archive);
    return values;
}
