// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/PngEncoder.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <stdexcept>

namespace fennow {

namespace {

constexpr std::size_t kMaxPaletteSize = 256;
constexpr std::size_t kMaxKeywordBytes = 79;  // the format's limit
constexpr std::size_t kMessageBytes = 200;

// Whatever libpng hands back, gathered in memory; a failed allocation stops the encoder through
// libpng's own error path rather than with an exception through its C frames.
struct Sink {
  std::vector<std::uint8_t>* out = nullptr;
  bool outOfMemory = false;
};

// libpng leaves an error by longjmp, so the frames it may jump over hold nothing with a destructor:
// everything the encoder needs is made ready first, in plain arrays.
struct Job {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 8;
  const png_color* colours = nullptr;
  int colourCount = 0;
  const png_byte* alphas = nullptr;  // null when every colour is opaque
  int alphaCount = 0;
  png_bytep* rows = nullptr;
  png_text* text = nullptr;
  int textCount = 0;
};

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  try {
    sink->out->insert(sink->out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    sink->outOfMemory = true;
  }
  if (sink->outOfMemory) png_error(png, "out of memory");
}

void Flush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
  auto* kept = static_cast<char*>(png_get_error_ptr(png));
  std::snprintf(kept, kMessageBytes, "%s", message);
  png_longjmp(png, 1);
}

// A warning is no failure, and the program's output is no place for libpng's own words.
void OnWarning(png_structp, png_const_charp) {}

bool Run(const Job& job, Sink& sink, char* message) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, OnError, OnWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, Append, Flush);
  png_set_IHDR(png, info, job.width, job.height, job.bitDepth, PNG_COLOR_TYPE_PALETTE,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, job.colours, job.colourCount);
  if (job.alphas != nullptr) png_set_tRNS(png, info, job.alphas, job.alphaCount, nullptr);
  if (job.textCount > 0) png_set_text(png, info, job.text, job.textCount);
  // Filters do not help indexed pixels; the strongest compression costs nothing at these sizes.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  png_set_packing(png);  // the rows hold a byte a pixel; libpng packs them to the bit depth
  png_write_image(png, job.rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

int BitDepthFor(std::size_t colours) {
  if (colours <= 2) return 1;
  if (colours <= 4) return 2;
  if (colours <= 16) return 4;
  return 8;
}

void Check(const PngPicture& picture) {
  if (picture.palette.empty() || picture.palette.size() > kMaxPaletteSize) {
    throw std::invalid_argument("a PNG palette holds 1 to 256 colours");
  }
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() !=
          static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height)) {
    throw std::invalid_argument("the pixels do not fill the picture's size");
  }
  const auto highest = std::max_element(picture.pixels.begin(), picture.pixels.end());
  if (*highest >= picture.palette.size()) {
    throw std::invalid_argument("a pixel has no colour in the palette");
  }
  for (const auto& [keyword, text] : picture.text) {
    if (keyword.empty() || keyword.size() > kMaxKeywordBytes) {
      throw std::invalid_argument("a PNG text keyword holds 1 to 79 characters");
    }
  }
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const PngPicture& picture) {
  Check(picture);
  std::vector<png_color> colours;
  std::vector<png_byte> alphas;
  for (const PngColour& c : picture.palette) {
    colours.push_back({c.red, c.green, c.blue});
    alphas.push_back(c.alpha);
  }
  // Only as many alpha values as reach the last translucent colour: the rest are opaque.
  while (!alphas.empty() && alphas.back() == 0xFF) alphas.pop_back();

  std::vector<png_bytep> rows;
  std::vector<std::uint8_t> pixels = picture.pixels;  // libpng takes its rows unconst
  for (int y = 0; y < picture.height; ++y) {
    rows.push_back(pixels.data() +
                   static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width));
  }
  std::vector<std::string> keywords;
  std::vector<std::string> texts;
  for (const auto& [keyword, text] : picture.text) {
    keywords.push_back(keyword);
    texts.push_back(text);
  }
  std::vector<png_text> chunks(picture.text.size());
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
    chunks[i].key = keywords[i].data();
    chunks[i].text = texts[i].data();
    chunks[i].text_length = texts[i].size();
  }

  Job job;
  job.width = static_cast<png_uint_32>(picture.width);
  job.height = static_cast<png_uint_32>(picture.height);
  job.bitDepth = BitDepthFor(colours.size());
  job.colours = colours.data();
  job.colourCount = static_cast<int>(colours.size());
  job.alphas = alphas.empty() ? nullptr : alphas.data();
  job.alphaCount = static_cast<int>(alphas.size());
  job.rows = rows.data();
  job.text = chunks.data();
  job.textCount = static_cast<int>(chunks.size());

  std::vector<std::uint8_t> file;
  Sink sink{&file};
  char message[kMessageBytes] = "libpng could not start";
  if (!Run(job, sink, message)) throw std::runtime_error(std::string("PNG: ") + message);
  return file;
}

}  // namespace fennow
