#include "simulator/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace zmp::sim {

namespace {
// Windows compares names without regard to the case of A-Z (the "C"
// locale's toupper, done here without its per-character call).
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = UpperAscii(c);
    return out;
}

const std::string& UpperInto(const std::string& text, std::string& buffer) {
    buffer.assign(text);
    for (char& c : buffer) c = UpperAscii(c);
    return buffer;
}

bool IEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

bool IStartsWith(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (UpperAscii(text[i]) != UpperAscii(prefix[i])) return false;
    return true;
}

bool IEndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    const size_t at = text.size() - suffix.size();
    for (size_t i = 0; i < suffix.size(); ++i)
        if (UpperAscii(text[at + i]) != UpperAscii(suffix[i])) return false;
    return true;
}

bool IsWithin(const std::string& path, const std::string& folder) {
    return IStartsWith(path, folder) && (path.size() == folder.size() || path[folder.size()] == '\\');
}

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return text.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

std::string NormalizePath(const std::string& path) {
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return "";
    constexpr size_t kRoot = 3;  // "C:\"
    std::string out;
    out.reserve(path.size() + 1);
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    out += ":\\";
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    for (size_t i = 2; i < path.size();) {
        while (i < path.size() && separator(path[i])) ++i;
        size_t end = i;
        while (end < path.size() && !separator(path[end])) ++end;
        const size_t length = end - i;
        if (length == 2 && path[i] == '.' && path[i + 1] == '.') {
            if (out.size() > kRoot) out.resize(std::max(out.rfind('\\'), kRoot));
        } else if (!(length == 1 && path[i] == '.')) {
            // Windows drops trailing dots and blanks of a component.
            size_t last = end;
            while (last > i && (path[last - 1] == '.' || path[last - 1] == ' ')) --last;
            if (last > i) {
                if (out.size() > kRoot) out += '\\';
                out.append(path, i, last - i);
            }
        }
        i = end;
    }
    return out;
}

bool IsDriveRoot(const std::string& normalized) { return normalized.size() == 3 && normalized[2] == '\\'; }

std::string ParentPath(const std::string& normalized) {
    if (normalized.empty() || IsDriveRoot(normalized)) return "";
    size_t slash = normalized.rfind('\\');
    if (slash == std::string::npos) return "";
    if (slash == 2) return normalized.substr(0, 3);
    return normalized.substr(0, slash);
}

std::string FileName(const std::string& normalized) {
    if (normalized.empty() || IsDriveRoot(normalized)) return "";
    return normalized.substr(normalized.rfind('\\') + 1);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '\\') return directory + name;
    return directory + "\\" + name;
}

bool IsLeadByte(unsigned codePage, unsigned char byte) {
    return codePage == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

namespace {
constexpr unsigned kPrivatePlane = 0xF0000;  // plane 15, private use
}

std::string FromAnsi(unsigned codePage, const std::string& text) {
    if (codePage != 932) return text;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        if (!IsLeadByte(codePage, lead) || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        unsigned cp = kPrivatePlane + (lead << 8) + static_cast<unsigned char>(text[++i]);
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string ToAnsi(unsigned codePage, const std::string& text) {
    if (codePage != 932) return text;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char b0 = static_cast<unsigned char>(text[i]);
        if (b0 == 0xF3 && i + 3 < text.size()) {
            unsigned cp = ((b0 & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                          ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                          (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            if (cp >= kPrivatePlane && cp <= kPrivatePlane + 0xFFFF) {
                out += static_cast<char>((cp - kPrivatePlane) >> 8);
                out += static_cast<char>((cp - kPrivatePlane) & 0xFF);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::size_t CharPrevAnsi(unsigned codePage, const std::string& text, std::size_t position) {
    if (position > text.size()) position = text.size();
    std::size_t previous = 0;
    for (std::size_t i = 0; i < position;) {
        previous = i;
        i += IsLeadByte(codePage, static_cast<unsigned char>(text[i])) && i + 1 < position ? 2 : 1;
    }
    return previous;
}

static bool Match(const char* p, const char* n) {
    for (;;) {
        if (*p == '\0') return *n == '\0';
        if (*p == '*') {
            while (*p == '*') ++p;
            if (*p == '\0') return true;
            for (const char* s = n; ; ++s) {
                if (Match(p, s)) return true;
                if (*s == '\0') return false;
            }
        }
        if (*n == '\0') return false;
        if (*p != '?' && std::toupper(static_cast<unsigned char>(*p)) != std::toupper(static_cast<unsigned char>(*n)))
            return false;
        ++p;
        ++n;
    }
}

std::string Digest(const std::string& data) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : data) h = (h ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*" || pattern == "*") return true;
    // "name.*" also matches "name" without an extension, as on Windows.
    if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos && Match(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str()))
        return true;
    return Match(pattern.c_str(), name.c_str());
}

}  // namespace zmp::sim
