#pragma once

// Reads a classic dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs) field by field, as the
// dialog manager does, so that a test can compare every field with what it should be.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// A name-or-ordinal field as text: "" for none (0x0000), "#128" for the ordinal 0x0080, else the
// name itself. Template texts are UTF-16; anything outside ASCII reads as '?'.
struct DialogItem {
  DWORD style;
  DWORD extendedStyle;
  short x, y, width, height;
  WORD id;
  std::string windowClass;
  std::string text;
  WORD creationDataSize;
};

struct DialogTemplate {
  DWORD style;
  DWORD extendedStyle;
  WORD itemCount;
  short x, y, width, height;
  std::string menu;
  std::string windowClass;
  std::string caption;
  WORD pointSize;  // present with DS_SETFONT only
  std::string face;
  std::vector<DialogItem> items;
  // Bytes up to the end of the last item.
  std::size_t length;
};

// False when the data is an extended template, or ends before the template does, or pads between
// items with anything but zeros.
bool readDialogTemplate(const void* data, std::size_t size, DialogTemplate& dialog);
