#include "files/png_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "files/file_message.h"
#include "files/whole_file.h"
#include "raster/frame_limits.h"

namespace {

// Each side is limited by libpng; the area is limited here so that a small file with
// a huge header fails cleanly instead of asking for gigabytes.
constexpr png_uint_32 maxSide = largestSide;
constexpr double maxPixels = 32.0 * 1024 * 1024;

// libpng reports through these callbacks and then longjmps back to the setjmp in
// decode() or encode(); the message waits here, in plain memory, for the caller.
struct ErrorSink {
    char message[256] = {};
};

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (a bad ancillary chunk, say) still leave a usable image; stay quiet so that
// errors remain one line.
void onWarning(png_structp, png_const_charp) {}

void readFromFile(png_structp png, png_bytep data, png_size_t length)
{
    auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) != length)
        png_error(png, std::ferror(file) ? "read error" : "the file ends too early");
}

void writeToFile(png_structp png, png_bytep data, png_size_t length)
{
    if (std::fwrite(data, 1, length, static_cast<std::FILE*>(png_get_io_ptr(png))) != length)
        png_error(png, std::strerror(errno));
}

void writeToString(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

struct Layout {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;  // 3 or 4 after the transformations
    int bitDepth = 0;  // 8 or 16
    png_size_t rowBytes = 0;
};

// Everything between setjmp and a possible longjmp is owned by the caller, so the jump
// skips no destructor and leaves no local in an unknown state.
bool decode(png_structp png, png_infop info, std::FILE* file, Layout& layout, std::vector<unsigned char>& pixels,
            std::vector<png_bytep>& rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, file, readFromFile);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, maxSide, maxSide);
    png_read_info(png, info);
    if (double(png_get_image_width(png, info)) * png_get_image_height(png, info) > maxPixels)
        png_error(png, "the image is too large");

    png_set_expand(png); // palette to RGB, grey below 8 bits to 8, transparency to alpha
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    layout.width = png_get_image_width(png, info);
    layout.height = png_get_image_height(png, info);
    layout.channels = png_get_channels(png, info);
    layout.bitDepth = png_get_bit_depth(png, info);
    layout.rowBytes = png_get_rowbytes(png, info);
    pixels.resize(layout.rowBytes * layout.height);
    rows.resize(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y)
        rows[y] = pixels.data() + y * layout.rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return true;
}

void toImage(const Layout& layout, const std::vector<unsigned char>& pixels, PngAlpha use, Image& image)
{
    image.width = static_cast<int>(layout.width);
    image.height = static_cast<int>(layout.height);
    image.rgb.resize(std::size_t(layout.width) * layout.height * 3);
    const bool wide = layout.bitDepth == 16;
    const double full = wide ? 65535.0 : 255.0;
    const int sampleBytes = wide ? 2 : 1;
    double* to = image.rgb.data();
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        const unsigned char* p = pixels.data() + y * layout.rowBytes;
        for (png_uint_32 x = 0; x < layout.width; ++x) {
            double sample[4] = {0.0, 0.0, 0.0, full};
            for (int c = 0; c < layout.channels; ++c, p += sampleBytes)
                sample[c] = wide ? (p[0] << 8 | p[1]) : p[0];
            const double alpha = use == PngAlpha::overBlack ? sample[3] / full : 1.0;
            for (int c = 0; c < 3; ++c)
                *to++ = sample[c] / full * alpha;
        }
    }
}

bool encode(png_structp png, png_infop info, void* to, png_rw_ptr write, const PngData& data,
            const std::vector<png_color>& palette, std::vector<png_bytep>& rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    // The writer flushes and closes the file itself.
    png_set_write_fn(png, to, write, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(data.width), static_cast<png_uint_32>(data.height),
                 data.bitDepth, data.colorType, data.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    if (data.pixels.size() != rowBytes * static_cast<png_size_t>(data.height))
        png_error(png, "the pixel data does not match the image size");
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!data.paletteAlpha.empty())
        png_set_tRNS(png, info, data.paletteAlpha.data(), static_cast<int>(data.paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    // libpng copies each row before filtering it, so the const data is only read.
    auto* base = const_cast<unsigned char*>(data.pixels.data());
    rows.resize(static_cast<std::size_t>(data.height));
    for (int y = 0; y < data.height; ++y)
        rows[static_cast<std::size_t>(y)] = base + static_cast<png_size_t>(y) * rowBytes;
    png_set_interlace_handling(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

// Runs decode() or encode() once libpng's structures exist (`info` is made last). Running
// out of memory, here or in libpng's set-up, leaves "out of memory" in the sink.
template <typename Step>
bool runStep(png_infop info, ErrorSink& sink, Step step)
{
    if (info) {
        try {
            return step();
        } catch (const std::bad_alloc&) {
        }
    }
    std::snprintf(sink.message, sizeof sink.message, "out of memory");
    return false;
}

} // namespace

bool readPng(const char* path, Image& image, std::string& error, PngAlpha alpha)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = "cannot open " + quotedPath(path) + ": " + std::strerror(errno);
        return false;
    }
    unsigned char signature[8] = {};
    const std::size_t got = std::fread(signature, 1, sizeof signature, file);
    if (std::ferror(file)) {
        error = "cannot read " + quotedPath(path) + ": " + std::strerror(errno);
        std::fclose(file);
        return false;
    }
    if (got != sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
        error = quotedPath(path) + " is not a PNG file";
        std::fclose(file);
        return false;
    }

    ErrorSink sink;
    Layout layout;
    std::vector<unsigned char> pixels;
    std::vector<png_bytep> rows;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = runStep(info, sink, [&] { return decode(png, info, file, layout, pixels, rows); });
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!ok) {
        error = quotedPath(path) + " is not a valid PNG: " + sink.message;
        return false;
    }
    toImage(layout, pixels, alpha, image);
    return true;
}

namespace {

// Encodes `data` through `write` into `to`; "" or why not.
std::string encodePng(const PngData& data, void* to, png_rw_ptr write)
{
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < data.palette.size(); i += 3)
        palette.push_back(png_color{data.palette[i], data.palette[i + 1], data.palette[i + 2]});
    std::vector<png_bytep> rows;
    ErrorSink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = runStep(info, sink, [&] { return encode(png, info, to, write, data, palette, rows); });
    png_destroy_write_struct(&png, &info);
    return ok ? "" : sink.message;
}

} // namespace

bool writePng(const char* path, const PngData& data, std::string& error)
{
    return writeWholeFile(path, [&data](std::FILE* file) { return encodePng(data, file, writeToFile); }, error);
}

bool pngBytes(const PngData& data, std::string& bytes, std::string& error)
{
    bytes.clear();
    error = encodePng(data, &bytes, writeToString);
    return error.empty();
}
