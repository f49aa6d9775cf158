#include "jobs/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) >= 0xA0) ||
        (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) >= 0x90))
        return 0;
    return length;
}

void AppendString(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t length = c >= 0x80 ? Utf8Length(text, i) : 0) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        }
    }
    out += '"';
}

// A reader of the one object shape the writer makes; any surprise ends it with failure.
class LineReader {
public:
    explicit LineReader(const std::string& line) : line_(line) {}

    bool literal(char c) {
        skipSpace();
        if (at_ >= line_.size() || line_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool string(std::string& out) {
        out.clear();
        if (!literal('"')) return false;
        while (at_ < line_.size()) {
            const char c = line_[at_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= line_.size()) return false;
            const char escaped = line_[at_++];
            switch (escaped) {
                case '"': case '\\': case '/': out += escaped; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'u': {
                    // Only \u0000-\u00ff are written: they stand for single bytes.
                    if (at_ + 4 > line_.size() || line_.compare(at_, 2, "00") != 0) return false;
                    unsigned value = 0;
                    for (size_t k = at_ + 2; k < at_ + 4; ++k) {
                        const char h = line_[k];
                        const int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                        : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
                        if (digit < 0) return false;
                        value = value * 16 + static_cast<unsigned>(digit);
                    }
                    out += static_cast<char>(value);
                    at_ += 4;
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool number(uint64_t& out) {
        skipSpace();
        const size_t start = at_;
        out = 0;
        while (at_ < line_.size() && line_[at_] >= '0' && line_[at_] <= '9' && at_ - start < 19)
            out = out * 10 + static_cast<uint64_t>(line_[at_++] - '0');
        return at_ > start && (at_ >= line_.size() || line_[at_] < '0' || line_[at_] > '9');
    }
    bool atEnd() {
        skipSpace();
        return at_ == line_.size();
    }

private:
    void skipSpace() {
        while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t' || line_[at_] == '\r')) ++at_;
    }
    const std::string& line_;
    size_t at_ = 0;
};

}  // namespace

std::string FormatRunLogLine(const RunLogEntry& entry) {
    std::string line = "{\"input\":";
    AppendString(line, entry.input);
    line += ",\"output\":";
    AppendString(line, entry.output);
    line += ",\"status\":";
    AppendString(line, entry.status);
    line += ",\"reason\":";
    AppendString(line, entry.reason);
    line += ",\"input_bytes\":" + std::to_string(entry.inputBytes);
    line += ",\"output_bytes\":" + std::to_string(entry.outputBytes);
    line += ",\"ms\":" + std::to_string(entry.milliseconds) + "}\n";
    return line;
}

std::optional<RunLogEntry> ParseRunLogLine(const std::string& line) {
    RunLogEntry entry;
    LineReader reader(line);
    if (!reader.literal('{')) return std::nullopt;
    bool first = true, hasInput = false, hasStatus = false;
    while (!reader.literal('}')) {
        if (!first && !reader.literal(',')) return std::nullopt;
        first = false;
        std::string key;
        if (!reader.string(key) || !reader.literal(':')) return std::nullopt;
        bool ok = true;
        if (key == "input") ok = hasInput = reader.string(entry.input);
        else if (key == "output") ok = reader.string(entry.output);
        else if (key == "status") ok = hasStatus = reader.string(entry.status);
        else if (key == "reason") ok = reader.string(entry.reason);
        else if (key == "input_bytes") ok = reader.number(entry.inputBytes);
        else if (key == "output_bytes") ok = reader.number(entry.outputBytes);
        else if (key == "ms") ok = reader.number(entry.milliseconds);
        else return std::nullopt;
        if (!ok) return std::nullopt;
    }
    if (!reader.atEnd() || !hasInput || !hasStatus) return std::nullopt;
    return entry;
}

RunLog::~RunLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool RunLog::open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    const off_t size = ::lseek(fd_, 0, SEEK_END);
    char last = '\n';
    if (size > 0 && ::pread(fd_, &last, 1, size - 1) == 1 && last != '\n' && ::write(fd_, "\n", 1) != 1) return false;
    return true;
}

bool RunLog::append(const RunLogEntry& entry) {
    if (fd_ < 0) return false;
    const std::string line = FormatRunLogLine(entry);
    ssize_t written;
    do {
        written = ::write(fd_, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(line.size());
}

std::unordered_map<std::string, DoneFile> ReadDoneFiles(const std::string& logPath) {
    std::unordered_map<std::string, DoneFile> done;
    std::ifstream in(logPath, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const std::optional<RunLogEntry> entry = ParseRunLogLine(line);
        if (!entry) continue;
        if (entry->status == "done") done[entry->input] = DoneFile{entry->output, entry->outputBytes};
        else done.erase(entry->input);
    }
    return done;
}
