// corvane3-metafile-renderer wmf|emf FILE: converts a Windows metafile or
// enhanced metafile to SVG on standard output, through libwmf and
// libemf2svg. The program runs this in a process of its own, with limits on
// time and memory, because both libraries are old C code that a damaged
// file can crash or send into a loop. Exit status 0 on success; otherwise
// the reason is on standard error.

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Far beyond any drawing a user attaches; the caller refuses larger files.
constexpr long kMaxFileBytes = 64L << 20;

int fail(const char* why)
{
    std::fprintf(stderr, "%s\n", why);
    return 1;
}

bool readFile(const char* path, std::vector<unsigned char>& bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    unsigned char chunk[1 << 16];
    size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0 && long(bytes.size()) <= kMaxFileBytes)
        bytes.insert(bytes.end(), chunk, chunk + read);
    std::fclose(file);
    return !bytes.empty() && long(bytes.size()) <= kMaxFileBytes;
}

int renderWmf(std::vector<unsigned char>& bytes)
{
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_svg_function;
    const unsigned long flags
        = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None)
        return fail("the metafile library cannot start");
    wmfD_Rect bbox;
    if (wmf_mem_open(api, bytes.data(), long(bytes.size())) != wmf_E_None
        || wmf_scan(api, 0, &bbox) != wmf_E_None) {
        wmf_api_destroy(api);
        return fail("its records cannot be read");
    }
    unsigned int width = 0;
    unsigned int height = 0;
    // 96 dots an inch: the picture's natural size in screen pixels.
    if (wmf_display_size(api, &width, &height, 96, 96) != wmf_E_None || width == 0 || height == 0) {
        wmf_api_destroy(api);
        return fail("it draws nothing");
    }
    wmf_svg_t* svg = WMF_SVG_GetData(api);
    svg->out = wmf_stream_create(api, nullptr); // into memory
    svg->Description = const_cast<char*>("corvane3");
    svg->bbox = bbox;
    svg->width = width;
    svg->height = height;
    svg->flags |= WMF_SVG_INLINE_IMAGES; // never files beside it
    const wmf_error_t played = wmf_play(api, 0, &bbox);
    char* text = nullptr;
    unsigned long length = 0;
    wmf_stream_destroy(api, svg->out, &text, &length);
    int status = 0;
    if (played != wmf_E_None || !text || length == 0)
        status = fail("its records cannot be read");
    else
        std::fwrite(text, 1, length, stdout);
    wmf_api_destroy(api); // frees the text too: libwmf keeps track of what it allocated

    return status;
}

int renderEmf(std::vector<unsigned char>& bytes)
{
    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.svgDelimiter = true;
    options.emfplus = true;
    char* text = nullptr;
    size_t length = 0;
    const int ok = emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &text, &length, &options);
    int status = 0;
    if (ok != 1 || !text || length == 0)
        status = fail("its records cannot be read");
    else
        std::fwrite(text, 1, length, stdout);
    std::free(text);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "wmf") != 0 && std::strcmp(argv[1], "emf") != 0)) {
        std::fprintf(stderr, "usage: corvane3-metafile-renderer wmf|emf FILE\n");
        return 2;
    }
    std::vector<unsigned char> bytes;
    if (!readFile(argv[2], bytes))
        return fail("it cannot be read");
    const int status = std::strcmp(argv[1], "wmf") == 0 ? renderWmf(bytes) : renderEmf(bytes);
    return std::fflush(stdout) == 0 ? status : 1;
}
