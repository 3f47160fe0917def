// Text helpers of the simulator: Windows' case-insensitive comparisons,
// path normalisation and wildcard matching.
#pragma once

#include <string>
#include <vector>

namespace zmp::sim {

std::string Upper(const std::string& text);
bool IEquals(const std::string& a, const std::string& b);
bool IStartsWith(const std::string& text, const std::string& prefix);
bool IEndsWith(const std::string& text, const std::string& suffix);
std::string Trim(const std::string& text);
std::vector<std::string> Split(const std::string& text, char separator);

// A physical Windows path in canonical form: "/" read as "\", runs of
// separators collapsed, "." and ".." applied, no trailing separator except
// at a drive root ("C:\"). Returns "" when the path is not absolute
// (no "X:" drive).
std::string NormalizePath(const std::string& path);
// The canonical path's map key: upper case.
inline std::string PathKey(const std::string& normalized) { return Upper(normalized); }
// "C:\A\B" -> "C:\A"; "C:\A" -> "C:\"; a root -> "".
std::string ParentPath(const std::string& normalized);
// The last component ("" for a root).
std::string FileName(const std::string& normalized);
std::string JoinPath(const std::string& directory, const std::string& name);
bool IsDriveRoot(const std::string& normalized);

// FindFirstFile's pattern match of a file name: "*" and "?", case-insensitive,
// "*.*" matches every name.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace zmp::sim
