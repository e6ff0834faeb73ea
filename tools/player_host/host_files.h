#pragma once

// Files as the Windows programs here handle them: whole, as bytes, by wide-character paths, so
// that folders no ANSI code page can spell work too.

#include <string>

std::string readFileBytes(const std::wstring& path);
// Replaces the file; false when it cannot be written whole.
bool writeFileBytes(const std::wstring& path, const std::string& bytes);
bool fileExists(const std::wstring& path);
// Deletes the folder and everything in it, read-only files included.
void deleteTree(const std::wstring& path);
// Makes FOLDER (it may be there already) and copies the built library into it as COPY; on
// failure says which step failed, and why, in FAILURE.
bool layOutLibraryFolder(const std::wstring& folder, const std::wstring& builtLibrary,
                         const std::wstring& copy, std::string& failure);
// ANSI code-page text, as the 8-bit Windows calls take it, in wide characters.
std::wstring widenedText(const std::string& text);
