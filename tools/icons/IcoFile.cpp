#include "IcoFile.h"

#include <zlib.h>

#include <cstdint>

namespace quillmar::icons {

namespace {

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 255);
  s += static_cast<char>((v >> 8) & 255);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Put32BE(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 255);
}
uint32_t Get16(const std::string& s, size_t at) {
  if (at + 2 > s.size()) throw EIconFormat("icon file is truncated");
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8;
}
uint32_t Get32(const std::string& s, size_t at) {
  return Get16(s, at) | Get16(s, at + 2) << 16;
}

size_t MaskStride(int width) {
  return static_cast<size_t>((width + 31) / 32 * 4);
}

std::string Dib(const Image& img) {
  std::string d;
  const uint32_t w = static_cast<uint32_t>(img.width), h = static_cast<uint32_t>(img.height);
  const size_t xorSize = size_t(w) * h * 4, andSize = MaskStride(img.width) * h;
  Put32(d, 40);
  Put32(d, w);
  Put32(d, h * 2);  // colour bitmap and mask
  Put16(d, 1);      // planes
  Put16(d, 32);     // bits per pixel
  Put32(d, 0);      // BI_RGB
  Put32(d, static_cast<uint32_t>(xorSize + andSize));
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, 0);
  for (int y = img.height - 1; y >= 0; --y)
    d.append(reinterpret_cast<const char*>(img.At(0, y)), size_t(w) * 4);
  for (int y = img.height - 1; y >= 0; --y) {
    std::string row(MaskStride(img.width), '\0');
    for (int x = 0; x < img.width; ++x)
      if (img.At(x, y)[3] == 0) row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    d += row;
  }
  return d;
}

}  // namespace

std::string WriteIco(const std::vector<Image>& images) {
  std::string head, body;
  Put16(head, 0);
  Put16(head, 1);  // icon
  Put16(head, static_cast<uint32_t>(images.size()));
  size_t offset = 6 + 16 * images.size();
  for (const Image& img : images) {
    if (img.width != img.height || img.width < 1 || img.width > 256)
      throw EIconFormat("icon images must be square, 1 to 256 pixels");
    std::string dib = Dib(img);
    head += static_cast<char>(img.width == 256 ? 0 : img.width);
    head += static_cast<char>(img.height == 256 ? 0 : img.height);
    head += '\0';  // no palette
    head += '\0';
    Put16(head, 1);
    Put16(head, 32);
    Put32(head, static_cast<uint32_t>(dib.size()));
    Put32(head, static_cast<uint32_t>(offset + body.size()));
    body += dib;
  }
  return head + body;
}

static Image ReadDib(const std::string& bytes, size_t at, size_t size, int expectW, int expectH,
                     std::string* maskOut) {
  if (at + size > bytes.size() || size < 40) throw EIconFormat("icon image lies outside the file");
  if (Get32(bytes, at) != 40) throw EIconFormat("icon image has no BITMAPINFOHEADER");
  int w = static_cast<int>(Get32(bytes, at + 4)), h2 = static_cast<int>(Get32(bytes, at + 8));
  if (w != expectW || h2 != 2 * expectH)
    throw EIconFormat("icon image size differs from its directory entry");
  if (Get16(bytes, at + 12) != 1 || Get16(bytes, at + 14) != 32 || Get32(bytes, at + 16) != 0)
    throw EIconFormat("icon image is not an uncompressed 32-bit bitmap");
  int h = h2 / 2;
  size_t xorSize = size_t(w) * size_t(h) * 4, andSize = MaskStride(w) * size_t(h);
  if (40 + xorSize + andSize != size) throw EIconFormat("icon image has the wrong byte size");
  Image img;
  img.width = w;
  img.height = h;
  img.bgra.resize(xorSize);
  for (int y = 0; y < h; ++y)
    bytes.copy(reinterpret_cast<char*>(img.At(0, h - 1 - y)), size_t(w) * 4, at + 40 + size_t(y) * w * 4);
  if (maskOut) *maskOut = bytes.substr(at + 40 + xorSize, andSize);
  return img;
}

std::vector<Image> ReadIco(const std::string& bytes) {
  if (Get16(bytes, 0) != 0 || Get16(bytes, 2) != 1) throw EIconFormat("not an icon file");
  size_t count = Get16(bytes, 4);
  if (count == 0) throw EIconFormat("icon file holds no image");
  std::vector<Image> images;
  for (size_t i = 0; i < count; ++i) {
    size_t e = 6 + 16 * i;
    if (e + 16 > bytes.size()) throw EIconFormat("icon directory is truncated");
    int w = uint8_t(bytes[e]) == 0 ? 256 : uint8_t(bytes[e]);
    int h = uint8_t(bytes[e + 1]) == 0 ? 256 : uint8_t(bytes[e + 1]);
    if (Get16(bytes, e + 6) != 32) throw EIconFormat("icon directory entry is not 32-bit");
    images.push_back(ReadDib(bytes, Get32(bytes, e + 12), Get32(bytes, e + 8), w, h, nullptr));
  }
  return images;
}

bool IcoMasksMatchAlpha(const std::string& bytes) {
  size_t count = Get16(bytes, 4);
  for (size_t i = 0; i < count; ++i) {
    size_t e = 6 + 16 * i;
    int w = uint8_t(bytes[e]) == 0 ? 256 : uint8_t(bytes[e]);
    int h = uint8_t(bytes[e + 1]) == 0 ? 256 : uint8_t(bytes[e + 1]);
    std::string mask;
    Image img = ReadDib(bytes, Get32(bytes, e + 12), Get32(bytes, e + 8), w, h, &mask);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        bool set = uint8_t(mask[MaskStride(w) * size_t(h - 1 - y) + size_t(x / 8)]) & (0x80 >> (x % 8));
        if (set != (img.At(x, y)[3] == 0)) return false;
      }
  }
  return true;
}

std::string WritePng(const Image& image) {
  std::string raw;
  for (int y = 0; y < image.height; ++y) {
    raw += '\0';  // filter: none
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.At(x, y);
      raw += static_cast<char>(p[2]);
      raw += static_cast<char>(p[1]);
      raw += static_cast<char>(p[0]);
      raw += static_cast<char>(p[3]);
    }
  }
  uLongf zsize = compressBound(static_cast<uLong>(raw.size()));
  std::string z(zsize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(z.data()), &zsize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK)
    throw EIconFormat("PNG compression failed");
  z.resize(zsize);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  auto chunk = [&](const char* type, const std::string& data) {
    Put32BE(png, static_cast<uint32_t>(data.size()));
    std::string td = std::string(type, 4) + data;
    png += td;
    Put32BE(png, static_cast<uint32_t>(
                     crc32(0, reinterpret_cast<const Bytef*>(td.data()), static_cast<uInt>(td.size()))));
  };
  std::string ihdr;
  Put32BE(ihdr, static_cast<uint32_t>(image.width));
  Put32BE(ihdr, static_cast<uint32_t>(image.height));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, deflate, no filter method, no interlace
  chunk("IHDR", ihdr);
  chunk("IDAT", z);
  chunk("IEND", "");
  return png;
}

}  // namespace quillmar::icons
