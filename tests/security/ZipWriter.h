#pragma once

// Writes zip archives with any entry names and with symbolic links, which no archiver would make
// from a folder on disk: the releases a hostile server could publish. Entries are stored
// uncompressed.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace dravik::test {

struct ZipEntry {
    enum Kind { File, Link };
    std::string name;
    std::string data; // the file's bytes, or the link's target
    Kind kind = File;
};

inline uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline bool writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    std::string out, directory;
    auto put16 = [](std::string& to, uint32_t value) {
        to.push_back(static_cast<char>(value & 0xFF));
        to.push_back(static_cast<char>((value >> 8) & 0xFF));
    };
    auto put32 = [&](std::string& to, uint32_t value) {
        put16(to, value & 0xFFFF);
        put16(to, value >> 16);
    };
    for (const ZipEntry& entry : entries) {
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint32_t crc = crc32(entry.data);
        const uint32_t size = static_cast<uint32_t>(entry.data.size());
        const uint32_t mode = entry.kind == ZipEntry::Link ? 0120777u : 0100644u;
        // Local header.
        put32(out, 0x04034b50);
        put16(out, 10);   // version needed
        put16(out, 0);    // flags
        put16(out, 0);    // stored
        put16(out, 0);    // time
        put16(out, 0x21); // date: 1980-01-01
        put32(out, crc);
        put32(out, size);
        put32(out, size);
        put16(out, static_cast<uint32_t>(entry.name.size()));
        put16(out, 0);
        out += entry.name;
        out += entry.data;
        // Its central directory record, made on a Unix system so that the mode counts.
        put32(directory, 0x02014b50);
        put16(directory, (3u << 8) | 20u);
        put16(directory, 10);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0x21);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<uint32_t>(entry.name.size()));
        put16(directory, 0); // extra
        put16(directory, 0); // comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, mode << 16);
        put32(directory, offset);
        directory += entry.name;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    std::ofstream file(path, std::ios::binary);
    file << out;
    return static_cast<bool>(file.flush());
}

} // namespace dravik::test
