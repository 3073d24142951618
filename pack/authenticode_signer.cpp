#include "authenticode_signer.h"

#include <array>
#include <vector>

#include "pe_image.h"

namespace plinth::pack {
namespace {

// One DER element: its tag, its contents, and the whole encoding (tag and length included).
struct Der {
    std::uint8_t tag = 0;
    ByteView content;
    ByteView whole;
};

constexpr std::uint8_t kInteger = 0x02, kOid = 0x06, kSequence = 0x30, kSet = 0x31, kContext0 = 0xA0;

// The element at the start of `bytes` (definite lengths only, as DER has), or nothing.
std::optional<Der> read_der(ByteView bytes) {
    if (bytes.size() < 2) return std::nullopt;
    std::uint64_t length = bytes[1];
    std::size_t header = 2;
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > 4 || bytes.size() < 2 + count) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | bytes[2 + i];
        header += count;
    }
    if (!in_bounds(header, length, bytes.size())) return std::nullopt;
    return Der{bytes[0], bytes.subspan(header, static_cast<std::size_t>(length)),
               bytes.subspan(0, header + static_cast<std::size_t>(length))};
}

// The elements inside a constructed one, or nothing when one of them is cut short.
std::optional<std::vector<Der>> children(ByteView content) {
    std::vector<Der> out;
    while (!content.empty()) {
        auto next = read_der(content);
        if (!next) return std::nullopt;
        out.push_back(*next);
        content = content.subspan(next->whole.size());
    }
    return out;
}

bool same(ByteView a, ByteView b) { return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin()); }

std::string attribute_name(ByteView oid) {
    // 2.5.4.x, the directory's attributes; 1.2.840.113549.1.9.1, the e-mail address.
    if (oid.size() == 3 && oid[0] == 0x55 && oid[1] == 0x04) {
        switch (oid[2]) {
            case 3: return "CN";
            case 5: return "SERIALNUMBER";
            case 6: return "C";
            case 7: return "L";
            case 8: return "S";
            case 10: return "O";
            case 11: return "OU";
        }
    }
    static constexpr std::array<std::uint8_t, 9> email{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};
    if (same(oid, email)) return "E";
    // Any other as its dotted number.
    std::string dotted;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < oid.size(); ++i) {
        value = (value << 7) | (oid[i] & 0x7F);
        if (oid[i] & 0x80) continue;
        if (dotted.empty()) {
            const std::uint64_t first = value < 80 ? value / 40 : 2;
            dotted = std::to_string(first) + "." + std::to_string(value - first * 40);
        } else {
            dotted += "." + std::to_string(value);
        }
        value = 0;
    }
    return dotted;
}

void append_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A name's value as text: UTF-8, printable, IA5 and T.61 strings as their bytes (the last two
// are ASCII in practice), a BMP string from UTF-16 (surrogates become U+FFFD).
std::string value_text(const Der& value) {
    std::string text;
    if (value.tag == 0x1E) {
        for (std::size_t i = 0; i + 1 < value.content.size(); i += 2) {
            const std::uint32_t c = (value.content[i] << 8) | value.content[i + 1];
            append_utf8(text, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
        }
    } else {
        for (std::uint8_t byte : value.content) text += static_cast<char>(byte < 0x20 ? '?' : byte);
    }
    if (text.find_first_of(",+=\"") != std::string::npos) {
        std::string quoted = "\"";
        for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + "\"";
    }
    return text;
}

std::optional<std::string> name_text(const Der& name) {
    auto sets = children(name.content);
    if (!sets) return std::nullopt;
    std::string out;
    for (auto set = sets->rbegin(); set != sets->rend(); ++set) {
        auto attributes = children(set->content);
        if (set->tag != kSet || !attributes) return std::nullopt;
        for (const Der& attribute : *attributes) {
            auto parts = children(attribute.content);
            if (!parts || parts->size() != 2 || (*parts)[0].tag != kOid) return std::nullopt;
            if (!out.empty()) out += ", ";
            out += attribute_name((*parts)[0].content) + "=" + value_text((*parts)[1]);
        }
    }
    return out;
}

Result<std::string> signer_of(ByteView pkcs7) {
    const auto bad = [](const char* what) { return fail(std::string("its signature can't be read (") + what + ")"); };
    static constexpr std::array<std::uint8_t, 9> signed_data{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
    auto info = read_der(pkcs7);
    auto info_parts = info ? children(info->content) : std::nullopt;
    if (!info_parts || info_parts->size() < 2 || (*info_parts)[0].tag != kOid || !same((*info_parts)[0].content, signed_data) ||
        (*info_parts)[1].tag != kContext0) {
        return bad("not PKCS #7 signed data");
    }
    auto body = read_der((*info_parts)[1].content);
    auto parts = body ? children(body->content) : std::nullopt;
    if (!parts || parts->size() < 4 || parts->back().tag != kSet) return bad("no signer information");
    const Der* certificates = nullptr;
    for (const Der& part : *parts) {
        if (part.tag == kContext0) certificates = &part;
    }
    auto signers = children(parts->back().content);
    if (!signers || signers->empty()) return bad("no signer");
    auto signer = children((*signers)[0].content);
    if (!signer || signer->size() < 2 || (*signer)[1].tag != kSequence) return bad("a signer not named by issuer and serial number");
    auto issuer_serial = children((*signer)[1].content);
    if (!issuer_serial || issuer_serial->size() != 2) return bad("a signer not named by issuer and serial number");
    const Der& issuer = (*issuer_serial)[0];
    const Der& serial = (*issuer_serial)[1];
    auto certs = certificates != nullptr ? children(certificates->content) : std::nullopt;
    if (!certs) return bad("no certificates");
    for (const Der& certificate : *certs) {
        auto outer = children(certificate.content);
        if (!outer || outer->empty()) continue;
        auto tbs = children((*outer)[0].content);
        if (!tbs) continue;
        const std::size_t first = !tbs->empty() && (*tbs)[0].tag == kContext0 ? 1 : 0;  // the version
        if (tbs->size() < first + 5) continue;
        const Der& cert_serial = (*tbs)[first];
        const Der& cert_issuer = (*tbs)[first + 2];
        const Der& subject = (*tbs)[first + 4];
        if (cert_serial.tag != kInteger || !same(cert_serial.whole, serial.whole) || !same(cert_issuer.whole, issuer.whole)) {
            continue;
        }
        auto text = name_text(subject);
        if (!text) return bad("the signer's subject");
        return *text;
    }
    return bad("the signer's certificate isn't in it");
}

}  // namespace

Result<std::optional<std::string>> authenticode_signer(ByteView image) {
    auto pe = read_pe_image(image);
    if (!pe) return fail(pe.error().text);
    if (pe->directory_count <= kDirSecurity || pe->directories[kDirSecurity].size == 0) {
        return std::optional<std::string>();
    }
    const DataDirectory table = pe->directories[kDirSecurity];
    const auto length = read_u32(image, table.rva);
    const auto type = read_u16(image, table.rva + 6);
    if (!length || *length <= 8 || *length > table.size || !in_bounds(table.rva, *length, image.size())) {
        return fail("its certificate table lies outside the file");
    }
    if (type != 0x0002) return fail("its certificate table isn't an Authenticode signature");
    auto subject = signer_of(image.subspan(table.rva + 8, *length - 8));
    if (!subject) return fail(subject.error().text);
    return std::optional<std::string>(*subject);
}

}  // namespace plinth::pack
