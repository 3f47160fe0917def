// Text helpers of the simulator: Windows' case-insensitive comparisons,
// path normalisation and wildcard matching.
#pragma once

#include <string>
#include <vector>

namespace zmp::sim {

std::string Upper(const std::string& text);
// The same into a buffer whose storage is reused: for the lookups every
// simulated call makes.
const std::string& UpperInto(const std::string& text, std::string& buffer);
bool IEquals(const std::string& a, const std::string& b);
bool IStartsWith(const std::string& text, const std::string& prefix);
bool IEndsWith(const std::string& text, const std::string& suffix);
// path is folder itself or lies below it (compared without regard to case;
// both in canonical form: no trailing separator except at a drive root).
bool IsWithin(const std::string& path, const std::string& folder);
std::string Trim(const std::string& text);
std::vector<std::string> Split(const std::string& text, char separator);

// A physical Windows path in canonical form: "/" read as "\", runs of
// separators collapsed, "." and ".." applied, no trailing separator except
// at a drive root ("C:\"). Returns "" when the path is not absolute
// (no "X:" drive).
std::string NormalizePath(const std::string& path);
// The canonical path's map key: upper case.
inline std::string PathKey(const std::string& normalized) { return Upper(normalized); }
inline const std::string& PathKeyInto(const std::string& normalized, std::string& buffer) {
    return UpperInto(normalized, buffer);
}
// "C:\A\B" -> "C:\A"; "C:\A" -> "C:\"; a root -> "".
std::string ParentPath(const std::string& normalized);
// The last component ("" for a root).
std::string FileName(const std::string& normalized);
std::string JoinPath(const std::string& directory, const std::string& name);
bool IsDriveRoot(const std::string& normalized);

// Text of a program's "A" calls in its ANSI code page and the same text as
// the model keeps paths. In the double-byte code page 932 every two-byte
// character becomes one private-use character (4 bytes of UTF-8), so that
// its second byte, which may be 0x5C, is never taken for a backslash or a
// letter; single-byte code pages pass through unchanged.
bool IsLeadByte(unsigned codePage, unsigned char byte);
std::string FromAnsi(unsigned codePage, const std::string& text);
std::string ToAnsi(unsigned codePage, const std::string& text);
// CharPrevA: where the character before position starts.
std::size_t CharPrevAnsi(unsigned codePage, const std::string& text, std::size_t position);

// FNV-1a of the data, 64 bits, as 16 hex digits.
std::string Digest(const std::string& data);

// FindFirstFile's pattern match of a file name: "*" and "?", case-insensitive,
// "*.*" matches every name.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace zmp::sim
