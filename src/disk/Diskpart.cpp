#include "disk/Diskpart.h"

#include <initializer_list>

namespace kx {
namespace {

constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";
constexpr std::string_view kWords[] = {"卷", "Volume"};
// Between the volume number and the drive column diskpart leaves at most five blanks; a row without a
// letter has the empty drive column as well, so its next word (label or file system) is further away.
constexpr size_t kMaxLetterGap = 7;

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view Trim(std::string_view s) {
    for (bool changed = true; changed;) {
        changed = false;
        for (std::string_view blank : {std::string_view(" "), std::string_view("\t"), kFullWidthSpace}) {
            if (s.substr(0, blank.size()) == blank) s.remove_prefix(blank.size()), changed = true;
            if (s.size() >= blank.size() && s.substr(s.size() - blank.size()) == blank)
                s.remove_suffix(blank.size()), changed = true;
        }
    }
    return s;
}

std::vector<std::string> Words(std::string_view s) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
        if (i > start) words.emplace_back(s.substr(start, i - start));
    }
    return words;
}

size_t Blanks(std::string_view s, size_t i) {
    size_t start = i;
    while (i < s.size() && s[i] == ' ') ++i;
    return i - start;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The table's header word when `line` is its header ("Volume ###", "卷 ###").
std::string_view HeaderWord(std::string_view line) {
    line = Trim(line);
    for (std::string_view word : kWords) {
        if (line.substr(0, word.size()) != word) continue;
        size_t gap = Blanks(line, word.size());
        if (gap > 0 && line.substr(word.size() + gap, 3) == "###") return word;
    }
    return {};
}

// Reads a row line ("  Volume 2     C   Data  NTFS ..."); false when the line is no row of the table.
bool ReadRow(std::string_view line, std::string_view word, VolumeRow& row) {
    std::string_view s = Trim(line);
    if (s.substr(0, word.size()) != word) return false;
    size_t i = word.size();
    size_t gap = Blanks(s, i);
    i += gap;
    size_t digits = 0;
    while (i + digits < s.size() && IsDigit(s[i + digits])) ++digits;
    if (gap == 0 || digits == 0 || (i + digits < s.size() && s[i + digits] != ' ')) return false;
    i += digits;
    gap = Blanks(s, i);
    i += gap;
    bool single = i < s.size() && (i + 1 == s.size() || s[i + 1] == ' ');
    if (single && s[i] >= 'A' && s[i] <= 'Z' && gap <= kMaxLetterGap) row.letter = std::string(1, s[i]);
    row.fields = Words(s.substr(word.size()));
    row.line = std::string(line);
    return true;
}

template <typename Words>
bool MentionsAny(const VolumeRow& row, const Words& words) {
    for (std::string_view w : words)
        if (row.Mentions(w)) return true;
    return false;
}

}  // namespace

std::vector<VolumeRow> ReadVolumeTable(std::string_view output) {
    std::vector<VolumeRow> rows;
    std::string_view word;
    for (std::string_view line : Lines(output)) {
        if (word.empty()) {
            word = HeaderWord(line);
            continue;
        }
        VolumeRow row;
        if (!ReadRow(line, word, row)) continue;
        row.position = static_cast<int>(rows.size()) + 1;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string DiskIdOf(std::string_view output) {
    for (std::string_view line : Lines(output)) {
        line = Trim(line);
        for (std::string_view word : {std::string_view("磁盘 ID"), std::string_view("Disk ID")}) {
            if (line.substr(0, word.size()) != word) continue;
            const size_t colon = line.find(':', word.size());
            if (colon != std::string_view::npos) return std::string(Trim(line.substr(colon + 1)));
        }
    }
    return {};
}

bool ReportsNoSelectedDisk(std::string_view output) { return output.find("请选择一个磁盘") != std::string_view::npos; }

std::vector<ListedVolume> VolumesOfDiskDetail(std::string_view output, int disk) {
    static constexpr std::string_view kHealthy[] = {"正常", "状态良好", "Healthy"};
    std::vector<ListedVolume> volumes;
    if (ReportsNoSelectedDisk(output)) return volumes;
    for (VolumeRow& row : ReadVolumeTable(output)) {
        if (row.letter.empty() || !MentionsAny(row, kHealthy)) continue;
        std::string designator = std::to_string(disk) + ":" + std::to_string(row.position);
        volumes.push_back({std::move(row), std::move(designator), {}});
    }
    return volumes;
}

std::vector<ListedVolume> VolumesOfVolumeList(std::string_view output) {
    // "GB" admits any sized volume whatever its status; "Healthy" admits the healthy volumes of English
    // systems that diskpart sizes in MB or TB.
    static constexpr std::string_view kAccepted[] = {"正常", "状态良好", "GB", "Healthy"};
    std::vector<ListedVolume> volumes;
    for (VolumeRow& row : ReadVolumeTable(output)) {
        if (row.letter.empty() || !MentionsAny(row, kAccepted)) continue;
        std::string designator = "1:" + std::to_string(row.position - 1);
        volumes.push_back({std::move(row), std::move(designator), {}});
    }
    return volumes;
}

std::string DiskScript(int index) { return "select disk " + std::to_string(index) + "\r\ndetail disk\r\n"; }

}  // namespace kx
