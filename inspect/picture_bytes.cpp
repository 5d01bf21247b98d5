#include "inspect/picture_bytes.h"

#include <algorithm>
#include <cctype>

#include "raster/frame_limits.h"

namespace {

bool isBlank(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The bytes one at a time, -1 past the end, as a file is read.
struct Reader {
    const std::vector<unsigned char>& bytes;
    std::size_t at = 2;

    int next() { return at < bytes.size() ? bytes[at++] : (++at, -1); }
    bool ended() const { return at > bytes.size(); }
};

// Skips blanks and comments, then reads a decimal of at most nine digits; -1 if none.
long number(Reader& in)
{
    int c = in.next();
    while (c == '#' || isBlank(c)) {
        if (c == '#')
            while (c != '\n' && c != -1)
                c = in.next();
        c = in.next();
    }
    long value = 0;
    int digits = 0;
    for (; c >= '0' && c <= '9' && digits < 9; c = in.next(), ++digits)
        value = value * 10 + (c - '0');
    if (digits == 0 || (c != -1 && !isBlank(c) && c != '#'))
        return -1;
    if (c == '#')
        while (c != '\n' && c != -1)
            c = in.next();
    return value;
}

bool endsWithCaseless(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

} // namespace

PictureFormat pictureFormat(const std::vector<unsigned char>& bytes)
{
    static const unsigned char png[] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (bytes.size() >= sizeof png && std::equal(png, png + sizeof png, bytes.begin()))
        return PictureFormat::png;
    if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '6' || bytes[1] == '3'))
        return PictureFormat::ppm;
    return PictureFormat::neither;
}

std::string notAPicture(const std::string& name, const std::vector<unsigned char>& bytes)
{
    const std::string what = endsWithCaseless(name, ".ppm")   ? "is not a PPM file (it does not start with P6 or P3)"
                             : endsWithCaseless(name, ".png") ? "is not a PNG file (no PNG signature)"
                                                              : "is neither a PNG nor a PPM file";
    return bytes.empty() ? "is empty; " + what.substr(3) : what;
}

std::string readPpmBytes(const std::vector<unsigned char>& bytes, PpmSamples& ppm)
{
    if (pictureFormat(bytes) != PictureFormat::ppm)
        return "is not a PPM file (it does not start with P6 or P3)";
    const bool binary = bytes[1] == '6';
    Reader in{bytes};
    const long width = number(in), height = number(in), maxval = number(in);
    if (width < 1 || height < 1 || width > largestSide || height > largestSide)
        return "has no PPM size of 1.." + std::to_string(largestSide) + " per side";
    if (maxval < 0)
        return "has no PPM maxval (255 or 65535)";
    if (maxval != 255 && maxval != 65535)
        return "is a PPM with maxval " + std::to_string(maxval) + "; only 255 and 65535 are read";
    const std::size_t count = std::size_t(width) * std::size_t(height) * 3, sampleBytes = maxval == 255 ? 1 : 2;
    // Every sample takes at least one byte: a short file fails before the pixels are allocated.
    if (in.ended() || bytes.size() - in.at < count * (binary ? sampleBytes : 1))
        return "ends before its last pixel";
    PpmSamples read{int(width), int(height), int(maxval), std::vector<unsigned short>(count)};
    for (std::size_t i = 0; i < count; ++i) {
        if (binary) {
            const std::size_t at = in.at + i * sampleBytes;
            read.samples[i] = sampleBytes == 1 ? bytes[at] : (unsigned short)(bytes[at] << 8 | bytes[at + 1]);
            continue;
        }
        const long value = number(in);
        if (value < 0 && in.ended())
            return "ends before its last pixel";
        if (value < 0 || value > maxval)
            return "has a sample that is not a number from 0 to " + std::to_string(maxval);
        read.samples[i] = static_cast<unsigned short>(value);
    }
    ppm = std::move(read);
    return "";
}
