#include "simulator/PeImage.h"

#include <cstdint>

namespace zmp::sim {

namespace {

constexpr size_t kLfanewOffset = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kExportDirectorySize = 40;
constexpr Dword kFileDll = 0x2000;
constexpr Dword kMagicPe32 = 0x10B;
constexpr Dword kMagicPe32Plus = 0x20B;
constexpr size_t kMaxNames = 65536;
constexpr size_t kMaxNameLength = 512;

class Reader {
public:
    explicit Reader(const std::string& data) : data_(data) {}
    bool Has(size_t offset, size_t size) const { return offset <= data_.size() && size <= data_.size() - offset; }
    Dword U16(size_t offset) const { return Has(offset, 2) ? Byte(offset) | Byte(offset + 1) << 8 : 0; }
    Dword U32(size_t offset) const {
        return Has(offset, 4) ? Byte(offset) | Byte(offset + 1) << 8 | Byte(offset + 2) << 16 |
                                    static_cast<Dword>(Byte(offset + 3)) << 24
                              : 0;
    }
    std::optional<std::string> CString(size_t offset) const {
        std::string out;
        for (size_t i = offset; i < data_.size() && out.size() < kMaxNameLength; ++i) {
            if (data_[i] == '\0') return out;
            out += data_[i];
        }
        return std::nullopt;
    }

private:
    Dword Byte(size_t offset) const { return static_cast<unsigned char>(data_[offset]); }
    const std::string& data_;
};

struct Section {
    Dword virtualAddress, virtualSize, rawSize, rawOffset;
};

std::optional<size_t> FileOffset(const std::vector<Section>& sections, Dword rva) {
    for (const Section& s : sections) {
        const Dword span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span && rva - s.virtualAddress < s.rawSize)
            return static_cast<size_t>(s.rawOffset) + (rva - s.virtualAddress);
    }
    return std::nullopt;
}

void Put16(std::string& out, size_t offset, Dword value) {
    out[offset] = static_cast<char>(value & 0xFF);
    out[offset + 1] = static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string& out, size_t offset, Dword value) {
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

}  // namespace

std::optional<PeImage> ReadPeImage(const std::string& data) {
    Reader r(data);
    if (!r.Has(0, 64) || data[0] != 'M' || data[1] != 'Z') return std::nullopt;
    const size_t pe = r.U32(kLfanewOffset);
    if (!r.Has(pe, 4 + kFileHeaderSize) || data.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
    const size_t header = pe + 4;
    PeImage image;
    image.machine = r.U16(header);
    image.dll = (r.U16(header + 18) & kFileDll) != 0;
    const size_t sectionCount = r.U16(header + 2);
    const size_t optionalSize = r.U16(header + 16);
    const size_t optional = header + kFileHeaderSize;

    size_t directories = 0, countOffset = 0;
    const Dword magic = r.U16(optional);
    if (magic == kMagicPe32) {
        countOffset = optional + 92;
        directories = optional + 96;
    } else if (magic == kMagicPe32Plus) {
        countOffset = optional + 108;
        directories = optional + 112;
    } else {
        return image;
    }
    if (r.U32(countOffset) < 1 || directories + 8 > optional + optionalSize) return image;
    const Dword exportRva = r.U32(directories);
    if (exportRva == 0) return image;

    std::vector<Section> sections;
    for (size_t i = 0; i < sectionCount; ++i) {
        const size_t s = optional + optionalSize + i * kSectionHeaderSize;
        if (!r.Has(s, kSectionHeaderSize)) break;
        sections.push_back({r.U32(s + 12), r.U32(s + 8), r.U32(s + 16), r.U32(s + 20)});
    }
    std::optional<size_t> exports = FileOffset(sections, exportRva);
    if (!exports || !r.Has(*exports, kExportDirectorySize)) return image;
    const size_t names = r.U32(*exports + 24);
    std::optional<size_t> table = FileOffset(sections, r.U32(*exports + 32));
    for (size_t i = 0; table && i < names && i < kMaxNames; ++i) {
        std::optional<size_t> name = FileOffset(sections, r.U32(*table + 4 * i));
        std::optional<std::string> text = name ? r.CString(*name) : std::nullopt;
        if (!text) break;
        image.exports.push_back(*text);
    }
    return image;
}

std::string BuildPeImage(Dword machine, bool dll, const std::vector<std::string>& exports) {
    const bool plus = machine == pe::kMachineAmd64;
    const size_t optionalSize = plus ? 240 : 224;
    const size_t header = 0x44;  // after the DOS header and "PE\0\0" at 0x40
    const size_t sectionHeader = header + kFileHeaderSize + optionalSize;
    constexpr size_t kRaw = 0x400;
    constexpr Dword kVirtual = 0x1000;

    // The section: export directory, name table, ordinals, function table, names.
    std::string section(kExportDirectorySize, '\0');
    const size_t nameTable = section.size();
    section.resize(section.size() + 4 * exports.size());
    const size_t ordinals = section.size();
    section.resize(section.size() + 2 * exports.size());
    const size_t functions = section.size();
    section.resize(section.size() + 4 * exports.size());
    Put32(section, 20, static_cast<Dword>(exports.size()));
    Put32(section, 24, static_cast<Dword>(exports.size()));
    Put32(section, 28, static_cast<Dword>(kVirtual + functions));
    Put32(section, 32, static_cast<Dword>(kVirtual + nameTable));
    Put32(section, 36, static_cast<Dword>(kVirtual + ordinals));
    for (size_t i = 0; i < exports.size(); ++i) {
        Put32(section, nameTable + 4 * i, static_cast<Dword>(kVirtual + section.size()));
        Put16(section, ordinals + 2 * i, static_cast<Dword>(i));
        Put32(section, functions + 4 * i, kVirtual);
        section += exports[i];
        section += '\0';
    }

    std::string out(kRaw, '\0');
    out[0] = 'M';
    out[1] = 'Z';
    Put32(out, kLfanewOffset, 0x40);
    out.replace(0x40, 4, std::string("PE\0\0", 4));
    Put16(out, header, machine);
    Put16(out, header + 2, 1);
    Put16(out, header + 16, static_cast<Dword>(optionalSize));
    Put16(out, header + 18, 0x0002 | (dll ? kFileDll : 0));  // executable image
    const size_t optional = header + kFileHeaderSize;
    Put16(out, optional, plus ? kMagicPe32Plus : kMagicPe32);
    Put32(out, optional + (plus ? 108 : 92), 16);
    Put32(out, optional + (plus ? 112 : 96), kVirtual);
    Put32(out, optional + (plus ? 116 : 100), static_cast<Dword>(section.size()));
    out.replace(sectionHeader, 6, ".edata");
    Put32(out, sectionHeader + 8, static_cast<Dword>(section.size()));
    Put32(out, sectionHeader + 12, kVirtual);
    Put32(out, sectionHeader + 16, static_cast<Dword>(section.size()));
    Put32(out, sectionHeader + 20, static_cast<Dword>(kRaw));
    return out + section;
}

}  // namespace zmp::sim
