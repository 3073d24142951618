#include "version_record.h"

#include <optional>
#include <utility>
#include <vector>

#include "common/text.h"

namespace plinth::pack {
namespace {

constexpr std::size_t kMaxValueUnits = 7000;

void append_text(Bytes& out, std::u16string_view text) {
    for (char16_t unit : text) append_u16(out, unit);
    append_u16(out, 0);
}

// One node: wLength, wValueLength, wType, key, padding, value, padding, children. Its length
// is patched once the children are in.
class Node {
public:
    Node(Bytes& out, std::u16string_view key, std::uint16_t value_length, bool text)
        : out_(out), start_(out.size()) {
        pad_to(out_, 4);
        start_ = out_.size();
        append_u16(out_, 0);
        append_u16(out_, value_length);
        append_u16(out_, text ? 1 : 0);
        append_text(out_, key);
        pad_to(out_, 4);
    }
    ~Node() { put_u16(out_, start_, static_cast<std::uint16_t>(out_.size() - start_)); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

private:
    Bytes& out_;
    std::size_t start_;
};

// One node of a version record, its bounds checked against the record.
struct NodeView {
    std::size_t start = 0;
    std::size_t end = 0;  // start + wLength
    std::uint16_t value_length = 0;
    std::uint16_t type = 0;
    std::u16string key;
    std::size_t value = 0;  // the value's offset, after the key's padding
};

std::optional<NodeView> read_node(ByteView record, std::size_t start, std::size_t limit) {
    const auto length = read_u16(record, start);
    const auto value_length = read_u16(record, start + 2);
    const auto type = read_u16(record, start + 4);
    if (!length || !value_length || !type || *length < 6 || !in_bounds(start, *length, limit)) return std::nullopt;
    NodeView node{start, start + *length, *value_length, *type, {}, 0};
    std::size_t at = start + 6;
    while (true) {
        const auto unit = read_u16(record, at);
        if (!unit || at + 2 > node.end) return std::nullopt;
        at += 2;
        if (*unit == 0) break;
        node.key.push_back(static_cast<char16_t>(*unit));
    }
    node.value = align_up(at, 4);
    return node;
}

// The offset of the first child: after the value and its padding.
std::size_t first_child(const NodeView& node) {
    const std::size_t value_bytes = node.type == 1 ? std::size_t{node.value_length} * 2 : node.value_length;
    return align_up(node.value + value_bytes, 4);
}

std::u16string text_value(ByteView record, const NodeView& node) {
    std::u16string text;
    for (std::size_t at = node.value; at + 2 <= node.end; at += 2) {
        const auto unit = read_u16(record, at);
        if (!unit || *unit == 0) break;
        text.push_back(static_cast<char16_t>(*unit));
    }
    return text;
}

}  // namespace

std::map<std::u16string, std::u16string> read_version_strings(ByteView record) {
    std::map<std::u16string, std::u16string> strings;
    const auto root = read_node(record, 0, record.size());
    if (!root || root->key != u"VS_VERSION_INFO") return strings;
    // Children of the root: StringFileInfo and VarFileInfo; of StringFileInfo: one table per
    // language; of a table: the strings. Each level's walk stays inside its parent.
    for (std::size_t info = first_child(*root); info < root->end;) {
        const auto block = read_node(record, info, root->end);
        if (!block) break;
        if (block->key == u"StringFileInfo") {
            for (std::size_t t = first_child(*block); t < block->end;) {
                const auto table = read_node(record, t, block->end);
                if (!table) break;
                for (std::size_t s = first_child(*table); s < table->end;) {
                    const auto string = read_node(record, s, table->end);
                    if (!string) break;
                    strings.emplace(string->key, text_value(record, *string));
                    s = align_up(string->end, 4);
                }
                t = align_up(table->end, 4);
            }
        }
        info = align_up(block->end, 4);
    }
    return strings;
}

std::array<std::uint16_t, 4> numeric_version(std::string_view text) {
    std::array<std::uint16_t, 4> parts{};
    std::size_t i = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        std::uint32_t value = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = std::min<std::uint32_t>(value * 10 + (text[i] - '0'), 0x10000);
            ++i;
            ++digits;
        }
        if (digits == 0) break;
        parts[part] = value > 0xffff ? 0 : static_cast<std::uint16_t>(value);
        if (i >= text.size() || text[i] != '.') break;
        ++i;
    }
    return parts;
}

Bytes build_version_record(const VersionStrings& strings) {
    const auto version = numeric_version(strings.product_version);
    const std::uint32_t ms = (std::uint32_t{version[0]} << 16) | version[1];
    const std::uint32_t ls = (std::uint32_t{version[2]} << 16) | version[3];

    Bytes out;
    {
        Node root(out, u"VS_VERSION_INFO", 52, false);
        append_u32(out, 0xfeef04bd);  // signature
        append_u32(out, 0x00010000);  // structure version
        append_u32(out, ms);          // file version
        append_u32(out, ls);
        append_u32(out, ms);          // product version
        append_u32(out, ls);
        append_u32(out, 0x3f);        // flags mask
        append_u32(out, 0);           // flags
        append_u32(out, 0x00040004);  // VOS_NT_WINDOWS32
        append_u32(out, 1);           // VFT_APP
        append_u32(out, 0);           // subtype
        append_u32(out, 0);           // date
        append_u32(out, 0);
        {
            Node file_info(out, u"StringFileInfo", 0, true);
            Node table(out, u"040904B0", 0, true);
            const std::pair<std::u16string_view, const std::string*> values[] = {
                {u"CompanyName", &strings.company_name},
                {u"FileDescription", &strings.file_description},
                {u"ProductName", &strings.product_name},
                {u"ProductVersion", &strings.product_version},
            };
            for (const auto& [key, value] : values) {
                // Node lengths are 16-bit: cap each text so the whole record stays below 64 KiB.
                std::u16string wide = to_utf16(*value);
                if (wide.size() > kMaxValueUnits) {
                    wide.resize(kMaxValueUnits);
                    if (wide.back() >= 0xd800 && wide.back() < 0xdc00) wide.pop_back();
                }
                Node string(out, key, static_cast<std::uint16_t>(wide.size() + 1), true);
                append_text(out, wide);
            }
        }
        {
            Node var_info(out, u"VarFileInfo", 0, true);
            Node translation(out, u"Translation", 4, false);
            append_u16(out, 0x0409);  // US English
            append_u16(out, 1200);    // UTF-16
        }
    }
    return out;
}

}  // namespace plinth::pack
