// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/RegistryFileFormat.h"

#include <unordered_map>

#include "persist/RegistryValueText.h"

namespace kavri {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";

std::string NormalizeKeyPath(std::string_view path) {
    path = TrimRegistryLeft(path);
    while (!path.empty() && (path.back() == '\\' || IsRegistryBlank(path.back())))
        path.remove_suffix(1);
    return std::string(path);
}

// One line as the reader sees it: hex data continued over several lines of the file is
// joined into one, with the raw text it came from.
struct LogicalLine {
    std::string text;       // joined, without leading blanks, line ends or continuation marks
    std::string_view raw;   // the file's bytes, line ends included
    size_t lineNumber = 0;  // of its first line in the file
    bool cut = false;       // ended with a continuation mark but no continuation followed
};

// Splits the file into lines and joins continued hex lines. A continuation is joined only
// when the next line looks like more data, so a line cut short at the end of a damaged value
// cannot swallow the section header or value that follows it.
std::vector<LogicalLine> LogicalLines(std::string_view text) {
    std::vector<LogicalLine> lines;
    bool continuing = false;
    size_t offset = 0;
    size_t lineNumber = 0;
    while (offset < text.size()) {
        const size_t end = text.find('\n', offset);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line =
            text.substr(offset, (end == std::string_view::npos ? next : end) - offset);
        const std::string_view raw = text.substr(offset, next - offset);
        offset = next;
        ++lineNumber;
        while (!line.empty() && IsRegistryBlank(line.back())) line.remove_suffix(1);
        const std::string_view content = TrimRegistryLeft(line);
        const bool moreData = !content.empty() && content.front() != '[' &&
                              content.front() != '"' && content.front() != '@' &&
                              content.front() != ';';
        if (continuing && moreData) {
            LogicalLine& last = lines.back();
            last.text += content;
            last.raw = std::string_view(last.raw.data(), last.raw.size() + raw.size());
        } else {
            if (continuing) lines.back().cut = true;
            lines.push_back({std::string(content), raw, lineNumber, false});
        }
        LogicalLine& last = lines.back();
        continuing = !last.text.empty() && last.text.back() == '\\' && last.text.front() != '[';
        if (continuing) last.text.pop_back();
    }
    if (continuing) lines.back().cut = true;
    return lines;
}

}  // namespace

// Builds contents from a file's text, one logical line at a time.
class RegistryFileParser {
public:
    static RegistryFileContents Parse(std::string_view text) {
        RegistryFileContents contents;
        const size_t firstBreak = text.find('\n');
        if (firstBreak != std::string_view::npos &&
            (firstBreak == 0 || text[firstBreak - 1] != '\r'))
            contents.lineEnd_ = "\n";
        RegistryFileParser parser(contents);
        for (const LogicalLine& line : LogicalLines(text)) parser.Read(line);
        return contents;
    }

private:
    static constexpr size_t kNoSection = SIZE_MAX;

    explicit RegistryFileParser(RegistryFileContents& contents) : contents_(contents) {}

    void Read(const LogicalLine& logical) {
        const size_t lineIndex = contents_.lines_.size();
        contents_.lines_.emplace_back(logical.raw);
        const std::string& line = logical.text;
        if (line.empty() || line.front() == ';') return;
        if (line == kHeader || line == kOldHeader) {
            if (!seenContent_) contents_.hasHeader_ = true;
            seenContent_ = true;
            return;
        }
        seenContent_ = true;
        if (line.front() == '[') {
            ReadHeader(logical, lineIndex);
            return;
        }
        RegistryFileValue value;
        size_t pos = 0;
        bool understood = current_ != kNoSection;
        if (understood && line.front() == '@') {
            pos = 1;
        } else if (understood && line.front() == '"') {
            understood = ParseRegistryQuoted(line, pos, value.name) && !value.name.empty();
        } else {
            understood = false;
        }
        const std::string_view rest =
            understood ? TrimRegistryLeft(std::string_view(line).substr(pos)) : std::string_view();
        understood = understood && !rest.empty() && rest.front() == '=';
        if (!understood) return Skip(logical);
        RegistryFileKey& key = contents_.keys_[current_];
        const std::string_view data = TrimRegistry(rest.substr(1));
        if (data == "-") {
            key.RemoveValue(value.name);
        } else if (!logical.cut && ParseRegistryValueData(data, value)) {
            key.SetFromLine(std::move(value), lineIndex);
        } else {
            return Skip(logical);
        }
        key.insertAfter_ = lineIndex;
    }

    void ReadHeader(const LogicalLine& logical, size_t lineIndex) {
        const std::string& line = logical.text;
        current_ = kNoSection;
        if (line.back() != ']' || line.size() < 3) return Skip(logical);
        const std::string_view inner =
            TrimRegistry(std::string_view(line).substr(1, line.size() - 2));
        if (!inner.empty() && inner.front() == '-') {
            contents_.RemoveKeyTree(NormalizeKeyPath(inner.substr(1)));
            return;
        }
        const std::string path = NormalizeKeyPath(inner);
        if (path.empty()) return Skip(logical);
        RegistryFileKey& key = contents_.FindOrAddKey(path);
        key.insertAfter_ = lineIndex;
        current_ = static_cast<size_t>(&key - contents_.keys_.data());
    }

    void Skip(const LogicalLine& logical) {
        contents_.skipped_.push_back({logical.lineNumber, logical.text});
    }

    RegistryFileContents& contents_;
    size_t current_ = kNoSection;  // the key values go to; none before a header or after a bad one
    bool seenContent_ = false;     // a line other than blanks and comments came before
};

const RegistryFileValue* RegistryFileKey::FindValue(std::string_view name) const {
    const auto found = index_.find(FoldRegistryName(name));
    return found == index_.end() ? nullptr : &values_[found->second];
}

void RegistryFileKey::SetValue(RegistryFileValue value) {
    SetFromLine(std::move(value), kNoLine);
}

void RegistryFileKey::SetFromLine(RegistryFileValue value, size_t line) {
    const auto [found, added] = index_.emplace(FoldRegistryName(value.name), values_.size());
    if (added) {
        values_.push_back(std::move(value));
        sourceLines_.push_back(line);
        edited_.push_back(false);
        return;
    }
    const size_t position = found->second;
    if (line != kNoLine) {
        sourceLines_[position] = line;  // a later line of the file: it holds the value now
        edited_[position] = false;
    } else if (values_[position].SameContent(value)) {
        return;  // setting what is there already keeps the line as it was written
    } else {
        edited_[position] = true;
    }
    values_[position].kind = value.kind;
    values_[position].data = std::move(value.data);
}

void RegistryFileKey::RemoveValue(std::string_view name) {
    const auto found = index_.find(FoldRegistryName(name));
    if (found == index_.end()) return;
    const size_t position = found->second;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
    sourceLines_.erase(sourceLines_.begin() + static_cast<std::ptrdiff_t>(position));
    edited_.erase(edited_.begin() + static_cast<std::ptrdiff_t>(position));
    index_.erase(found);
    for (auto& entry : index_)
        if (entry.second > position) --entry.second;
}

std::vector<const RegistryFileKey*> RegistryFileContents::Keys() const {
    std::vector<const RegistryFileKey*> keys;
    keys.reserve(index_.size());
    for (const auto& key : keys_)
        if (!key.removed_) keys.push_back(&key);
    return keys;
}

const RegistryFileKey* RegistryFileContents::FindKey(std::string_view path) const {
    const auto found = index_.find(FoldRegistryName(path));
    return found == index_.end() ? nullptr : &keys_[found->second];
}

RegistryFileKey* RegistryFileContents::FindKey(std::string_view path) {
    const auto found = index_.find(FoldRegistryName(path));
    return found == index_.end() ? nullptr : &keys_[found->second];
}

RegistryFileKey& RegistryFileContents::FindOrAddKey(std::string_view path) {
    const auto [found, added] = index_.emplace(FoldRegistryName(path), keys_.size());
    if (added) {
        keys_.emplace_back();
        keys_.back().path_ = std::string(path);
    }
    return keys_[found->second];
}

void RegistryFileContents::RemoveKeyTree(std::string_view path) {
    // Keys below a path sort right after "path\", so the tree is one range of the index.
    const std::string folded = FoldRegistryName(path);
    const auto remove = [this](std::map<std::string, size_t>::iterator entry) {
        keys_[entry->second].removed_ = true;
        return index_.erase(entry);
    };
    if (const auto self = index_.find(folded); self != index_.end()) remove(self);
    const std::string below = folded + '\\';
    for (auto entry = index_.lower_bound(below);
         entry != index_.end() && entry->first.compare(0, below.size(), below) == 0;)
        entry = remove(entry);
}

RegistryFileContents ParseRegistryFile(std::string_view bytes) {
    std::string converted;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        const auto utf8 =
            Utf16LeToBytes(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
        converted.assign(utf8.begin(), utf8.end());
        bytes = converted;
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    return RegistryFileParser::Parse(bytes);
}

std::string FormatRegistryFile(const RegistryFileContents& contents) {
    const std::string& lineEnd = contents.lineEnd_;
    const auto endLine = [&](std::string& out) {
        if (!out.empty() && out.back() != '\n') out += lineEnd;
    };
    // Lines of the file rewritten with a changed value, and keys whose new values follow a line.
    std::unordered_map<size_t, const RegistryFileValue*> rewritten;
    std::unordered_map<size_t, const RegistryFileKey*> followedBy;
    std::vector<const RegistryFileKey*> newKeys;
    for (const RegistryFileKey* key : contents.Keys()) {
        bool hasNewValues = false;
        for (size_t i = 0; i < key->values_.size(); ++i) {
            if (key->sourceLines_[i] == RegistryFileKey::kNoLine)
                hasNewValues = true;
            else if (key->edited_[i])
                rewritten[key->sourceLines_[i]] = &key->values_[i];
        }
        if (key->insertAfter_ == RegistryFileKey::kNoLine)
            newKeys.push_back(key);
        else if (hasNewValues)
            followedBy[key->insertAfter_] = key;
    }
    const auto appendNewValues = [&](std::string& out, const RegistryFileKey& key) {
        for (size_t i = 0; i < key.values_.size(); ++i)
            if (key.sourceLines_[i] == RegistryFileKey::kNoLine)
                AppendRegistryValueLine(out, key.values_[i], lineEnd);
    };

    std::string out;
    if (!contents.hasHeader_) {
        out += kHeader;
        out += lineEnd;
        out += lineEnd;
    }
    for (size_t line = 0; line < contents.lines_.size(); ++line) {
        if (const auto value = rewritten.find(line); value != rewritten.end()) {
            AppendRegistryValueLine(out, *value->second, lineEnd);
        } else {
            out += contents.lines_[line];
        }
        if (const auto key = followedBy.find(line); key != followedBy.end()) {
            endLine(out);
            appendNewValues(out, *key->second);
        }
    }
    for (const RegistryFileKey* key : newKeys) {
        endLine(out);
        // A blank line between sections, as the export tool separates them.
        if (out.size() < 2 * lineEnd.size() ||
            out.compare(out.size() - 2 * lineEnd.size(), 2 * lineEnd.size(), lineEnd + lineEnd) !=
                0)
            out += lineEnd;
        out += '[';
        out += key->path_;
        out += ']';
        out += lineEnd;
        appendNewValues(out, *key);
        out += lineEnd;
    }
    return out;
}

}  // namespace kavri
