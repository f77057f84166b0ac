#include "pngio.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* libpng reports errors through this handler; the message is kept for the
 * caller and control returns to the setjmp in the reading or writing code. */
struct PngFailure {
    char message[200];
    int error;      /* errno of a failed write, 0 if none */
    bool noMemory;  /* an allocation failed */
    bool tooLarge;  /* more pixels than maxPixels */
    long long maxPixels;
};

void onPngError(png_structp png, png_const_charp msg)
{
    PngFailure *f = static_cast<PngFailure *>(png_get_error_ptr(png));
    snprintf(f->message, sizeof f->message, "%s", msg);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

/* libpng's own buffers (a row of a wide image is large too): a failed one
 * is marked, so that it is reported as out of memory, not as a bad file. */
png_voidp pngMalloc(png_structp png, png_alloc_size_t size)
{
    void *p = malloc(size);
    if (!p)
        static_cast<PngFailure *>(png_get_mem_ptr(png))->noMemory = true;
    return p;
}

void pngFree(png_structp, png_voidp p)
{
    free(p);
}

/* libpng's own writer reports every failed fwrite as "Write Error": this
 * one keeps the cause (no space left, file too large) for the message. */
void writeData(png_structp png, png_bytep data, png_size_t length)
{
    if (fwrite(data, 1, length, static_cast<FILE *>(png_get_io_ptr(png))) != length) {
        static_cast<PngFailure *>(png_get_error_ptr(png))->error = errno;
        png_error(png, "Write Error");
    }
}

void flushData(png_structp png)
{
    fflush(static_cast<FILE *>(png_get_io_ptr(png)));
}

/* Sizes the samples without letting std::bad_alloc through libpng's frames. */
bool sizeSamples(std::vector<uint16_t> *samples, size_t count)
{
    try {
        samples->resize(count);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void outOfMemory(png_structp png, PngFailure *f)
{
    f->noMemory = true;
    snprintf(f->message, sizeof f->message, "out of memory");
    png_longjmp(png, 1);
}

/* Everything that runs between setjmp and a possible longjmp lives in plain
 * C frames or in these functions, which own no objects with destructors. */
bool decode(FILE *fp, PngImage *img, PngFailure *failure)
{
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, failure, onPngError, onPngWarning, failure,
                                               pngMalloc, pngFree);
    if (!png) {
        snprintf(failure->message, sizeof failure->message, "out of memory");
        failure->noMemory = true;
        return false;
    }
    png_infop info = png_create_info_struct(png);
    /* Written after setjmp and read after a longjmp: volatile. */
    uint8_t *volatile bytes = nullptr;
    png_bytep *volatile rowPointers = nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        free(bytes);
        free(rowPointers);
        if (!info) {
            snprintf(failure->message, sizeof failure->message, "out of memory");
            failure->noMemory = true;
        }
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_init_io(png, fp);
    png_set_sig_bytes(png, 8);
    /* libpng refuses sides above a million by default; the format allows
     * 2^31-1, and the pixel count below is the only limit we want. */
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);
    /* From the header, before anything the size decides is allocated. */
    const unsigned long long headerPixels =
        static_cast<unsigned long long>(png_get_image_width(png, info)) * png_get_image_height(png, info);
    if (failure->maxPixels > 0 && headerPixels > static_cast<unsigned long long>(failure->maxPixels)) {
        snprintf(failure->message, sizeof failure->message,
                 "%lux%lu is %llu pixels, more than the limit of %lld (raise it with --max-pixels)",
                 static_cast<unsigned long>(png_get_image_width(png, info)),
                 static_cast<unsigned long>(png_get_image_height(png, info)), headerPixels, failure->maxPixels);
        failure->tooLarge = true;
        png_longjmp(png, 1);
    }
    png_set_expand(png); /* palette to RGB, grey below 8 bits to 8, tRNS to alpha */
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info);
    if ((depth != 8 && depth != 16) || channels < 1 || channels > 4) {
        snprintf(failure->message, sizeof failure->message, "unsupported format (%d-bit, %d channels)", depth,
                 channels);
        png_longjmp(png, 1);
    }
    /* Sides reach 2^31-1: every size below is checked against SIZE_MAX
     * before it is multiplied, and one that does not fit is out of memory. */
    const size_t rowBytes = png_get_rowbytes(png, info);
    const size_t perRow = static_cast<size_t>(width) * channels;
    const size_t rows = static_cast<size_t>(height) + 1;
    if (rowBytes == 0 || rowBytes > (SIZE_MAX - 1) / rows || rows > SIZE_MAX / sizeof(png_bytep) ||
        perRow > img->samples.max_size() / height)
        outOfMemory(png, failure);
    /* Everything is allocated before the (slow) decoding starts. */
    bytes = static_cast<uint8_t *>(malloc(rowBytes * height + 1));
    rowPointers = static_cast<png_bytep *>(malloc(sizeof(png_bytep) * rows));
    if (!bytes || !rowPointers || !sizeSamples(&img->samples, perRow * height))
        outOfMemory(png, failure);
    for (png_uint_32 i = 0; i < height; ++i)
        rowPointers[i] = bytes + rowBytes * i;
    png_read_image(png, rowPointers);
    png_read_end(png, nullptr);

    for (png_uint_32 i = 0; i < height; ++i) {
        const uint8_t *src = rowPointers[i];
        uint16_t *dst = img->samples.data() + perRow * i;
        for (size_t k = 0; k < perRow; ++k)
            dst[k] = depth == 16 ? static_cast<uint16_t>(src[2 * k] << 8 | src[2 * k + 1]) : src[k];
    }
    free(bytes);
    free(rowPointers);
    png_destroy_read_struct(&png, &info, nullptr);
    img->width = static_cast<int>(width);
    img->height = static_cast<int>(height);
    img->channels = channels;
    img->depth = depth;
    return true;
}

bool encode(FILE *fp, const PngImage &img, PngFailure *failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, onPngError, onPngWarning);
    if (!png) {
        snprintf(failure->message, sizeof failure->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    uint8_t *volatile row = nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        free(row);
        if (!info)
            snprintf(failure->message, sizeof failure->message, "out of memory");
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    static const int colourTypes[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                       PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_write_fn(png, fp, writeData, flushData);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX); /* as when reading */
    png_set_IHDR(png, info, static_cast<png_uint_32>(img.width), static_cast<png_uint_32>(img.height), img.depth,
                 colourTypes[img.channels], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t perRow = static_cast<size_t>(img.width) * img.channels;
    row = static_cast<uint8_t *>(malloc(perRow * 2 + 1));
    if (!row) {
        snprintf(failure->message, sizeof failure->message, "out of memory");
        png_longjmp(png, 1);
    }
    for (int i = 0; i < img.height; ++i) {
        const uint16_t *src = img.samples.data() + perRow * i;
        for (size_t k = 0; k < perRow; ++k) {
            if (img.depth == 16) {
                row[2 * k] = static_cast<uint8_t>(src[k] >> 8);
                row[2 * k + 1] = static_cast<uint8_t>(src[k] & 0xff);
            } else {
                row[k] = static_cast<uint8_t>(src[k]);
            }
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    free(row);
    png_destroy_write_struct(&png, &info);
    return true;
}

/* The temporary file being written, removed if the program is interrupted
 * (Ctrl-C, kill, a file size limit) before it is renamed into place. */
char pendingTemp[4096];
volatile sig_atomic_t pendingSet = 0;

void removePendingAndDie(int sig)
{
    if (pendingSet)
        unlink(pendingTemp);
    signal(sig, SIG_DFL);
    raise(sig);
}

void watchSignals()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    /* Signals the caller ignores (nohup, trap '') stay ignored. */
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            signal(sig, removePendingAndDie);
    }
}

} // namespace

bool readPng(const std::string &path, PngImage *img, std::string *why, long long maxPixels)
{
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp) {
        *why = errno == ENOENT ? "no such file" : std::string("cannot open: ") + strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(fp);
        *why = "is a folder, not a PNG file";
        return false;
    }
    unsigned char sig[8];
    if (fread(sig, 1, 8, fp) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
        fclose(fp);
        *why = "not a PNG file";
        return false;
    }
    PngFailure failure = {};
    failure.maxPixels = maxPixels;
    PngImage result;
    const bool ok = decode(fp, &result, &failure);
    fclose(fp);
    if (!ok) {
        *why = failure.noMemory ? std::string("out of memory")
               : failure.tooLarge ? std::string("too large: ") + failure.message
                   : std::string("unreadable PNG (") + failure.message + ")";
        return false;
    }
    *img = std::move(result);
    return true;
}

bool writePng(const std::string &path, const PngImage &img, std::string *why)
{
    if (img.channels < 1 || img.channels > 4 || (img.depth != 8 && img.depth != 16) || img.width < 1 ||
        img.height < 1 || img.samples.size() != static_cast<size_t>(img.width) * img.height * img.channels) {
        *why = "internal error: malformed image";
        return false;
    }
    /* The temporary name is the folder's plus a short name of its own, never
     * longer than the final name: a legal output name must not fail for
     * its temporary's sake (the tools' names are all longer than this). */
    const size_t slash = path.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".partXXXXXX";
    if (temp.size() >= sizeof pendingTemp) {
        *why = "cannot write: the file name is too long";
        return false;
    }
    watchSignals();
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        *why = std::string("cannot write: ") + strerror(errno);
        return false;
    }
    memcpy(pendingTemp, temp.c_str(), temp.size() + 1);
    pendingSet = 1;
    /* mkstemp makes the file private; give it the permissions a plain
     * fopen would have. */
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE *fp = fdopen(fd, "wb");
    if (!fp) {
        *why = std::string("cannot write: ") + strerror(errno);
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    PngFailure failure = {};
    bool ok = encode(fp, img, &failure);
    if (!ok)
        *why = std::string("cannot write: ") + (failure.error ? strerror(failure.error) : failure.message);
    if (fflush(fp) != 0 || ferror(fp)) {
        if (ok)
            *why = std::string("cannot write: ") + strerror(errno);
        ok = false;
    }
    if (fclose(fp) != 0 && ok) {
        *why = std::string("cannot write: ") + strerror(errno);
        ok = false;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        *why = std::string("cannot write: ") + strerror(errno);
        ok = false;
    }
    if (!ok)
        unlink(temp.c_str());
    pendingSet = 0;
    return ok;
}
