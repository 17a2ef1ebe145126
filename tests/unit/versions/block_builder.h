#pragma once
// Hand-built version blocks and PE images for the tests of the pure readers.

#include <cstdint>
#include <string>
#include <vector>

namespace calvorn::test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, static_cast<std::uint16_t>(v));
    Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void PadTo4(Bytes& b) {
    while (b.size() % 4)
        b.push_back(0);
}

inline void PutText(Bytes& b, const std::u16string& text) {
    for (char16_t c : text)
        Put16(b, b.size(), c);
    Put16(b, b.size(), 0);
}

// One entry: wLength, wValueLength, wType, key, padding, value, padding;
// children follow. `valueLength` defaults to the value's characters + NUL.
inline Bytes Entry(const std::u16string& key, const Bytes& value, std::uint16_t type,
                   const std::vector<Bytes>& children = {}, int valueLength = -1) {
    Bytes b(6, 0);
    PutText(b, key);
    PadTo4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        PadTo4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, static_cast<std::uint16_t>(b.size()));
    const std::size_t units = type == 1 ? value.size() / 2 : value.size();
    Put16(b, 2, static_cast<std::uint16_t>(valueLength >= 0 ? valueLength : int(units)));
    Put16(b, 4, type);
    return b;
}

inline Bytes TextValue(const std::u16string& text) {
    Bytes b;
    PutText(b, text);
    return b;
}

inline Bytes String(const std::u16string& key, const std::u16string& value) {
    return Entry(key, TextValue(value), 1);
}

inline Bytes Table(const std::u16string& language, const std::vector<Bytes>& strings) {
    return Entry(language, {}, 1, strings);
}

inline Bytes FixedInfo(std::uint32_t fileMs, std::uint32_t fileLs, std::uint32_t flags,
                       std::uint32_t os, std::uint32_t type, std::uint32_t subtype) {
    Bytes b(52, 0);
    Put32(b, 0, 0xFEEF04BD);
    Put32(b, 4, 0x00010000);
    Put32(b, 8, fileMs);
    Put32(b, 12, fileLs);
    Put32(b, 16, fileMs);
    Put32(b, 20, fileLs);
    Put32(b, 24, 0x3F);
    Put32(b, 28, flags);
    Put32(b, 32, os);
    Put32(b, 36, type);
    Put32(b, 40, subtype);
    return b;
}

inline Bytes VersionBlock(const std::vector<Bytes>& tables,
                          const Bytes& fixed = FixedInfo(0x00010002, 0x00030004, 0, 0x40004, 2,
                                                         0)) {
    return Entry(u"VS_VERSION_INFO", fixed, 0, {Entry(u"StringFileInfo", {}, 1, tables)});
}

// The 16-bit layout: wLength, wValueLength, the key in single bytes, then the
// value and the children at 4-byte boundaries; no type word.
inline Bytes Entry16(const std::string& key, const Bytes& value,
                     const std::vector<Bytes>& children = {}) {
    Bytes b;
    Put32(b, 0, 0); // the two lengths, filled in below
    for (char c : key)
        b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(0);
    PadTo4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        PadTo4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, static_cast<std::uint16_t>(b.size()));
    Put16(b, 2, static_cast<std::uint16_t>(value.size()));
    return b;
}

inline Bytes String16(const std::string& key, const std::string& value) {
    Bytes text(value.begin(), value.end());
    text.push_back(0);
    return Entry16(key, text);
}

} // namespace calvorn::test
