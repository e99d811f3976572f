#include "imaging/WimInfo.h"

#include <cstring>

#include "text/Text.h"

namespace kx {
namespace {

constexpr char kMagic[8] = {'M', 'S', 'W', 'I', 'M', 0, 0, 0};
constexpr uint32_t kHeaderSize = 208;
constexpr uint32_t kSolidVersion = 0xE00;
constexpr uint8_t kCompressedResource = 0x04;
// An installation medium's XML is some tens of kilobytes; a larger one is not believed.
constexpr uint64_t kLargestXml = 16u << 20;

uint64_t Little(std::string_view bytes, size_t at, size_t count) {
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= uint64_t(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

// The five named entities and numeric references; anything else is kept as written.
std::string Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t semi = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 10) {
            out += text[i];
            continue;
        }
        const std::string_view entity = text.substr(i + 1, semi - i - 1);
        if (entity == "amp")
            out += '&';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "quot")
            out += '"';
        else if (entity == "apos")
            out += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            uint32_t code = 0;
            bool valid = entity.size() > (hex ? 2u : 1u);
            for (char ch : entity.substr(hex ? 2 : 1)) {
                const int digit = ch >= '0' && ch <= '9'          ? ch - '0'
                                  : hex && ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                                  : hex && ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                                  : -1;
                if (digit < 0 || code > 0x10FFFF) valid = false;
                if (!valid) break;
                code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
            }
            if (!valid || code > 0x10FFFF) {
                out.append(text.substr(i, semi - i + 1));
            } else {
                AppendUtf8(out, code);
            }
        } else {
            out.append(text.substr(i, semi - i + 1));
        }
        i = semi;
    }
    return out;
}

// The value of attribute `name` in a start tag's text (`IMAGE INDEX="2"`).
std::string Attribute(std::string_view tag, std::string_view name) {
    const size_t at = tag.find(std::string(name) + "=");
    if (at == std::string_view::npos) return {};
    const size_t open = at + name.size() + 1;
    if (open >= tag.size() || (tag[open] != '"' && tag[open] != '\'')) return {};
    const size_t close = tag.find(tag[open], open + 1);
    return close == std::string_view::npos ? std::string() : std::string(tag.substr(open + 1, close - open - 1));
}

// The editions' fields are the IMAGE element's own children, and the Windows version's major number
// (WINDOWS/VERSION/MAJOR); other deeper ones are passed over.
void ReadImageBody(std::string_view body, WimEdition& edition) {
    std::vector<std::string_view> path;
    size_t textStart = 0;
    for (size_t at = body.find('<'); at != std::string_view::npos; at = body.find('<', at + 1)) {
        const size_t end = body.find('>', at);
        if (end == std::string_view::npos) return;
        const std::string_view tag = body.substr(at + 1, end - at - 1);
        if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
        if (tag[0] == '/') {
            const std::string_view name = tag.substr(1);
            const std::string text = Unescaped(body.substr(textStart, at - textStart));
            if (path.size() == 1) {
                if (name == "NAME")
                    edition.name = text;
                else if (name == "DISPLAYNAME")
                    edition.displayName = text;
                else if (name == "DESCRIPTION")
                    edition.description = text;
                else if (name == "TOTALBYTES")
                    edition.totalBytes = std::strtoull(text.c_str(), nullptr, 10);
            } else if (path.size() == 3 && path[0] == "WINDOWS" && path[1] == "VERSION" && name == "MAJOR") {
                edition.windowsMajor = std::atoi(text.c_str());
            }
            if (!path.empty()) path.pop_back();
        } else if (tag.back() != '/') {
            path.push_back(tag.substr(0, tag.find(' ')));
            textStart = end + 1;
        }
        at = end;
    }
}

}  // namespace

std::string Utf8OfUtf16Le(std::string_view bytes) {
    size_t i = bytes.size() >= 2 && Little(bytes, 0, 2) == 0xFEFF ? 2 : 0;
    std::string out;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<uint32_t>(Little(bytes, i, 2));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const auto low = static_cast<uint32_t>(Little(bytes, i + 2, 2));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

std::vector<WimEdition> EditionsOfWimXml(std::string_view xml) {
    std::vector<WimEdition> editions;
    for (size_t at = xml.find("<IMAGE"); at != std::string_view::npos; at = xml.find("<IMAGE", at + 1)) {
        const size_t tagEnd = xml.find('>', at);
        if (tagEnd == std::string_view::npos) break;
        const std::string_view tag = xml.substr(at + 1, tagEnd - at - 1);
        if (tag.size() > 5 && tag[5] != ' ') continue;  // <IMAGEFOO>
        const size_t close = xml.find("</IMAGE>", tagEnd);
        if (close == std::string_view::npos) break;
        WimEdition edition;
        edition.index = std::atoi(Attribute(tag, "INDEX").c_str());
        ReadImageBody(xml.substr(tagEnd + 1, close - tagEnd - 1), edition);
        editions.push_back(std::move(edition));
        at = close;
    }
    return editions;
}

Result<WimInfo> ReadWimInfo(const WimReadAt& read) {
    Result<std::string> header = read(0, kHeaderSize);
    if (!header) return header.outcome();
    const std::string& h = header.value();
    if (h.size() < kHeaderSize || std::memcmp(h.data(), kMagic, sizeof kMagic) != 0)
        return Outcome::Failed("不是 WIM 映像文件（文件头不对）");
    WimInfo info;
    info.version = static_cast<uint32_t>(Little(h, 12, 4));
    info.solid = info.version == kSolidVersion;
    info.part = static_cast<uint16_t>(Little(h, 40, 2));
    info.totalParts = static_cast<uint16_t>(Little(h, 42, 2));
    info.imageCount = static_cast<uint32_t>(Little(h, 44, 4));
    if (info.totalParts != 1)
        return Outcome::Failed("这是分卷 WIM 映像的第 " + std::to_string(info.part) + " 卷（共 " +
                               std::to_string(info.totalParts) + " 卷），不能单独安装");
    // The XML's resource header: a 56-bit size, its flags, its offset.
    const uint64_t xmlSize = Little(h, 72, 7);
    const auto xmlFlags = static_cast<uint8_t>(h[79]);
    const uint64_t xmlOffset = Little(h, 80, 8);
    if (xmlFlags & kCompressedResource) return Outcome::Failed("WIM 映像的说明（XML）是压缩的，无法读取");
    if (xmlSize == 0 || xmlSize > kLargestXml || xmlSize % 2 != 0)
        return Outcome::Failed("WIM 映像的说明（XML）大小不对：" + std::to_string(xmlSize) + " 字节");
    Result<std::string> xml = read(xmlOffset, static_cast<uint32_t>(xmlSize));
    if (!xml) return xml.outcome();
    if (xml.value().size() != xmlSize) return Outcome::Failed("WIM 映像文件不完整（说明部分被截断）");
    info.editions = EditionsOfWimXml(Utf8OfUtf16Le(xml.value()));
    if (info.editions.size() != info.imageCount)
        return Outcome::Failed("WIM 映像的说明列出 " + std::to_string(info.editions.size()) + " 个映像，文件头却说有 " +
                               std::to_string(info.imageCount) + " 个");
    for (size_t i = 0; i < info.editions.size(); ++i)
        if (info.editions[i].index != static_cast<int>(i + 1))
            return Outcome::Failed("WIM 映像的说明中映像的编号不连续");
    return info;
}

std::string EditionLabel(const WimEdition& edition) {
    const std::string& name = edition.displayName.empty() ? edition.name : edition.displayName;
    return std::to_string(edition.index) + ": " + name;
}

}  // namespace kx
