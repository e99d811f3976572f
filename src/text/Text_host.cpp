// The host build's code-page conversions, through glibc's iconv (the support tool and the tests).
#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "text/Text.h"

namespace kx {
namespace {

std::string Charset(unsigned codePage) { return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage); }

class Iconv {
public:
    Iconv(const std::string& from, const std::string& to) : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; returns false (keeping what converted) at the first sequence that does not.
    bool Append(std::string_view& in, std::string& out) {
        char buffer[4096];
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        bool good = true;
        while (left > 0) {
            char* dst = buffer;
            size_t room = sizeof buffer;
            size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, dst - buffer);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                good = false;
                break;
            }
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        in = in.substr(in.size() - left);
        return good;
    }

private:
    iconv_t cd_;
};

size_t Utf8SequenceLength(unsigned char c) { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

}  // namespace

std::string FromCodePage(std::string_view bytes, unsigned codePage) {
    Iconv cv(Charset(codePage), "UTF-8");
    if (!cv.ok()) return std::string(bytes);
    std::string out;
    while (!bytes.empty() && !cv.Append(bytes, out)) {
        out += "\xEF\xBF\xBD";  // an undecodable or cut-off byte
        bytes.remove_prefix(1);
    }
    return out;
}

std::string ToCodePage(std::string_view utf8, unsigned codePage) {
    Iconv cv("UTF-8", Charset(codePage));
    if (!cv.ok()) return std::string(utf8);
    std::string out;
    while (!utf8.empty() && !cv.Append(utf8, out)) {
        out += '?';
        utf8.remove_prefix(std::min(utf8.size(), Utf8SequenceLength(static_cast<unsigned char>(utf8[0]))));
    }
    return out;
}

}  // namespace kx
