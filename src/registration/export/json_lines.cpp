// JSON Lines: one object per exported file, for scripts. Strings are UTF-8,
// numbers plain, and data that is not what its type says is kept as hex, so
// that nothing stored is lost or bent.

#include "platform/text.h"
#include "registration/export/export_formats.h"
#include "registration/export/export_text.h"

#include <cstdio>

namespace calvorn::registration {

namespace {

std::string JsonUtf8(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string JsonString(std::wstring_view text) {
    return JsonUtf8(platform::Narrow(text));
}

std::string Hex(const std::vector<std::uint8_t>& data) {
    std::string out = "\"";
    for (std::uint8_t byte : data) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        out += pair;
    }
    return out + "\"";
}

// "data" in the value's own terms where the bytes allow it, else "hex".
std::string ValueData(const CapturedValue& value) {
    switch (value.type) {
    case CapturedType::String:
    case CapturedType::ExpandString:
        if (const auto text = export_text::StoredString(value.data))
            return "\"data\":" + JsonString(*text);
        break;
    case CapturedType::MultiString:
        if (const auto strings = export_text::MultiStrings(value.data)) {
            std::string out = "\"data\":[";
            for (std::size_t i = 0; i < strings->size(); ++i) {
                if (i)
                    out += ',';
                out += JsonString((*strings)[i]);
            }
            return out + "]";
        }
        break;
    case CapturedType::Dword:
        if (value.data.size() == 4)
            return "\"data\":" + std::to_string(export_text::LittleEndian(value.data));
        break;
    case CapturedType::Qword:
        if (value.data.size() == 8)
            return "\"data\":" + std::to_string(export_text::LittleEndian(value.data));
        break;
    default:
        break;
    }
    return "\"hex\":" + Hex(value.data);
}

std::string Version(const std::array<std::uint16_t, 4>& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

} // namespace

std::string WriteJsonLines(const std::vector<ExportedFile>& files, const ExportOptions& options) {
    std::string out;
    for (const ExportedFile& file : files) {
        const CapturedRegistration& registration = file.registration;
        out += "{\"file\":" + JsonString(registration.file);
        out += ",\"machine\":\"";
        out += registration.machine == CapturedMachine::X64 ? "x64" : "x86";
        out += "\",\"version\":\"" + Version(file.version) + "\"";
        out += ",\"outcome\":" + JsonUtf8(file.outcome);
        out += ",\"perUser\":";
        out += options.perUser ? "true" : "false";
        out += ",\"keys\":[";
        for (std::size_t k = 0; k < registration.keys.size(); ++k) {
            const CapturedKey& key = registration.keys[k];
            out += k ? ",{" : "{";
            out += "\"key\":" + JsonString(export_text::FullKeyPath(key, options.perUser));
            out += ",\"values\":[";
            for (std::size_t v = 0; v < key.values.size(); ++v) {
                const CapturedValue& value = key.values[v];
                out += v ? ",{" : "{";
                out += "\"name\":" + JsonString(value.name);
                out += ",\"type\":\"" + export_text::TypeName(value.type) + "\",";
                out += ValueData(value) + "}";
            }
            out += "]}";
        }
        out += "]}\n";
    }
    return out;
}

} // namespace calvorn::registration
