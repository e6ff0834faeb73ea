#include "dialog_template.h"

#include <cstring>

namespace {

// A cursor over the template's bytes that turns `ok` off instead of reading past the end.
struct TemplateReader {
  const BYTE* bytes;
  std::size_t size;
  std::size_t offset = 0;
  bool ok = true;

  bool has(std::size_t count) {
    ok = ok && offset + count <= size;
    return ok;
  }

  template <typename Field>
  Field read() {
    Field value{};
    if (has(sizeof value)) {
      std::memcpy(&value, bytes + offset, sizeof value);
      offset += sizeof value;
    }
    return value;
  }

  std::string readText() {
    std::string text;
    for (WORD unit = read<WORD>(); ok && unit != 0; unit = read<WORD>()) {
      text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
  }

  std::string readNameOrOrdinal() {
    const std::size_t start = offset;
    const WORD first = read<WORD>();
    if (first == 0x0000) {
      return "";
    }
    if (first == 0xFFFF) {
      return "#" + std::to_string(read<WORD>());
    }
    offset = start;
    return readText();
  }

  void padTo(std::size_t alignment) {
    while (ok && offset % alignment != 0) {
      ok = read<BYTE>() == 0;
    }
  }
};

DialogItem readItem(TemplateReader& reader) {
  DialogItem item{};
  reader.padTo(sizeof(DWORD));
  item.style = reader.read<DWORD>();
  item.extendedStyle = reader.read<DWORD>();
  item.x = reader.read<short>();
  item.y = reader.read<short>();
  item.width = reader.read<short>();
  item.height = reader.read<short>();
  item.id = reader.read<WORD>();
  item.windowClass = reader.readNameOrOrdinal();
  item.text = reader.readNameOrOrdinal();
  item.creationDataSize = reader.read<WORD>();
  if (item.creationDataSize != 0 && reader.has(item.creationDataSize)) {
    reader.offset += item.creationDataSize;
  }
  return item;
}

}  // namespace

bool readDialogTemplate(const void* data, std::size_t size, DialogTemplate& dialog) {
  TemplateReader reader{static_cast<const BYTE*>(data), size};
  dialog = DialogTemplate{};
  // An extended template starts with the version 1 and the signature 0xFFFF.
  if (size >= 4 && reader.bytes[0] == 1 && reader.bytes[1] == 0 && reader.bytes[2] == 0xFF &&
      reader.bytes[3] == 0xFF) {
    return false;
  }
  dialog.style = reader.read<DWORD>();
  dialog.extendedStyle = reader.read<DWORD>();
  dialog.itemCount = reader.read<WORD>();
  dialog.x = reader.read<short>();
  dialog.y = reader.read<short>();
  dialog.width = reader.read<short>();
  dialog.height = reader.read<short>();
  dialog.menu = reader.readNameOrOrdinal();
  dialog.windowClass = reader.readNameOrOrdinal();
  dialog.caption = reader.readText();
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = reader.read<WORD>();
    dialog.face = reader.readText();
  }
  for (WORD iItem = 0; reader.ok && iItem < dialog.itemCount; ++iItem) {
    dialog.items.push_back(readItem(reader));
  }
  dialog.length = reader.offset;
  return reader.ok;
}
