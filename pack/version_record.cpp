#include "version_record.h"

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

}  // namespace

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
