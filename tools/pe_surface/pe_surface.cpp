// pe_surface FILE: prints what a Windows DLL shows the loader, read from its PE headers, so that no
// tool's text layout decides the check of what the product exports and imports:
//   export ORDINAL NAME   one line per exported entry (NAME empty where it is exported by ordinal)
//   import DLL            one line per DLL it imports from, delay-loaded ones too
// Exits 2, saying why, when FILE is not a PE image this reader can follow.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Section {
  std::uint32_t address;  // relative to the image's base, as every pointer in the headers is
  std::uint32_t size;
  std::uint32_t fileOffset;
};

struct Image {
  std::vector<unsigned char> bytes;
  std::vector<Section> sections;
  const char* fault = nullptr;  // the first thing that could not be read

  std::uint32_t read(std::size_t offset, int width) {
    if (offset + width > bytes.size()) {
      fault = fault ? fault : "a header points past the end of the file";
      return 0;
    }
    std::uint32_t value = 0;
    for (int iByte = width - 1; iByte >= 0; --iByte) {
      value = value << 8 | bytes[offset + iByte];
    }
    return value;
  }
  std::uint32_t word(std::size_t offset) { return read(offset, 2); }
  std::uint32_t dword(std::size_t offset) { return read(offset, 4); }

  // Where in the file the image's address lies.
  std::size_t offsetOf(std::uint32_t address) {
    for (const Section& section : sections) {
      if (address >= section.address && address - section.address < section.size) {
        return section.fileOffset + (address - section.address);
      }
    }
    fault = fault ? fault : "a header points outside every section";
    return bytes.size();
  }
  std::uint32_t dwordAt(std::uint32_t address) { return dword(offsetOf(address)); }
  std::uint32_t wordAt(std::uint32_t address) { return word(offsetOf(address)); }

  std::string textAt(std::uint32_t address) {
    std::string text;
    for (std::size_t offset = offsetOf(address); !fault; ++offset) {
      const char letter = static_cast<char>(read(offset, 1));
      if (letter == '\0') {
        break;
      }
      text += letter;
    }
    return text;
  }
};

struct Directory {
  std::uint32_t address;
  std::uint32_t size;
};

void printExports(Image& image, Directory exports) {
  if (exports.size == 0) {
    return;
  }
  const std::uint32_t base = image.dwordAt(exports.address + 16);
  const std::uint32_t functionCount = image.dwordAt(exports.address + 20);
  const std::uint32_t nameCount = image.dwordAt(exports.address + 24);
  const std::uint32_t functions = image.dwordAt(exports.address + 28);
  const std::uint32_t names = image.dwordAt(exports.address + 32);
  const std::uint32_t nameIndices = image.dwordAt(exports.address + 36);
  for (std::uint32_t iFunction = 0; iFunction < functionCount && !image.fault; ++iFunction) {
    if (image.dwordAt(functions + 4 * iFunction) == 0) {
      continue;  // a gap in the ordinals
    }
    std::string name;
    for (std::uint32_t iName = 0; iName < nameCount && !image.fault; ++iName) {
      if (image.wordAt(nameIndices + 2 * iName) == iFunction) {
        name = image.textAt(image.dwordAt(names + 4 * iName));
      }
    }
    std::printf("export %lu %s\n", static_cast<unsigned long>(base + iFunction), name.c_str());
  }
}

// Each import descriptor names its DLL at NAME_OFFSET; a descriptor of zeros ends the list.
void printImports(Image& image, Directory imports, std::uint32_t descriptorSize,
                  std::uint32_t nameOffset) {
  if (imports.size == 0) {
    return;
  }
  for (std::uint32_t descriptor = imports.address; !image.fault; descriptor += descriptorSize) {
    const std::uint32_t name = image.dwordAt(descriptor + nameOffset);
    if (name == 0) {
      break;
    }
    std::printf("import %s\n", image.textAt(name).c_str());
  }
}

}  // namespace

int main(int argumentCount, char** arguments) {
  if (argumentCount != 2) {
    std::fprintf(stderr, "usage: pe_surface FILE\n");
    return 2;
  }
  std::ifstream file(arguments[1], std::ios::binary);
  Image image;
  image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  const std::uint32_t peHeader = image.dword(0x3c);
  if (!file || image.word(0) != 0x5a4d || image.dword(peHeader) != 0x4550) {
    std::fprintf(stderr, "pe_surface: %s is not a PE image\n", arguments[1]);
    return 2;
  }
  const std::uint32_t coffHeader = peHeader + 4;
  const std::uint32_t sectionCount = image.word(coffHeader + 2);
  const std::uint32_t optionalHeader = coffHeader + 20;
  const std::uint32_t optionalSize = image.word(coffHeader + 16);
  // The data directories follow the optional header's fields, 16 bytes more of them in PE32+.
  const std::uint32_t directories =
      optionalHeader + (image.word(optionalHeader) == 0x20b ? 112 : 96);
  const std::uint32_t directoryCount = image.dword(directories - 4);
  for (std::uint32_t iSection = 0; iSection < sectionCount; ++iSection) {
    const std::uint32_t header = optionalHeader + optionalSize + 40 * iSection;
    const std::uint32_t virtualSize = image.dword(header + 8);
    const std::uint32_t fileSize = image.dword(header + 16);
    image.sections.push_back({image.dword(header + 12),
                              virtualSize != 0 && virtualSize < fileSize ? virtualSize : fileSize,
                              image.dword(header + 20)});
  }
  auto directory = [&](std::uint32_t index) {
    if (index >= directoryCount) {
      return Directory{0, 0};
    }
    return Directory{image.dword(directories + 8 * index),
                     image.dword(directories + 8 * index + 4)};
  };
  printExports(image, directory(0));
  printImports(image, directory(1), 20, 12);
  printImports(image, directory(13), 32, 4);
  if (image.fault) {
    std::fprintf(stderr, "pe_surface: %s: %s\n", arguments[1], image.fault);
    return 2;
  }
  return 0;
}
