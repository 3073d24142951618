#include "authenticode_signer.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "pe_image.h"
#include "synthetic_pe.h"

namespace plinth::pack {
namespace {

// A DER element of this tag around the contents.
Bytes der(std::uint8_t tag, std::initializer_list<Bytes> parts) {
    Bytes content;
    for (const Bytes& part : parts) content.insert(content.end(), part.begin(), part.end());
    Bytes out{tag};
    if (content.size() < 0x80) {
        out.push_back(static_cast<std::uint8_t>(content.size()));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(content.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(content.size()));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}
Bytes raw(std::initializer_list<std::uint8_t> bytes) { return Bytes(bytes); }
Bytes text(std::uint8_t tag, const std::string& s) { return der(tag, {Bytes(s.begin(), s.end())}); }
Bytes attribute(std::uint8_t type, Bytes value) { return der(0x31, {der(0x30, {der(0x06, {raw({0x55, 0x04, type})}), value})}); }
// C=GB, O=..., CN=... in the order certificates encode them.
Bytes name(const std::string& organisation, Bytes common) {
    return der(0x30, {attribute(6, text(0x13, "GB")), attribute(10, text(0x0C, organisation)), attribute(3, common)});
}
Bytes certificate(std::uint8_t serial, const Bytes& issuer, const Bytes& subject) {
    const Bytes algorithm = der(0x30, {der(0x06, {raw({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B})})});
    return der(0x30, {der(0x30, {der(0xA0, {der(0x02, {raw({2})})}), der(0x02, {raw({serial})}), algorithm, issuer,
                                 der(0x30, {}), subject, der(0x30, {})}),
                      algorithm, der(0x03, {raw({0})})});
}
Bytes pkcs7(const Bytes& certificates, std::uint8_t signer_serial, const Bytes& signer_issuer) {
    const Bytes signer = der(0x30, {der(0x02, {raw({1})}), der(0x30, {signer_issuer, der(0x02, {raw({signer_serial})})})});
    const Bytes signed_data = der(0x30, {der(0x02, {raw({1})}), der(0x31, {}), der(0x30, {}), der(0xA0, {certificates}),
                                         der(0x31, {signer})});
    return der(0x30, {der(0x06, {raw({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02})}), der(0xA0, {signed_data})});
}

// An image whose certificate table holds `signature` as a WIN_CERTIFICATE of `type`.
Bytes signed_image(const Bytes& signature, std::uint16_t type = 0x0002) {
    testing::SyntheticPe pe;
    pe.sections.push_back({".text", Bytes(0x200, 0xC3), 0x60000020});
    Bytes image = testing::build_pe(pe);
    const auto table = static_cast<std::uint32_t>(image.size());
    append_u32(image, static_cast<std::uint32_t>(8 + signature.size()));
    append_u16(image, 0x0200);
    append_u16(image, type);
    image.insert(image.end(), signature.begin(), signature.end());
    pad_to(image, 8);
    const auto pe_image = read_pe_image(image);
    put_u32(image, pe_image->directory_offset(kDirSecurity), table);
    put_u32(image, pe_image->directory_offset(kDirSecurity) + 4, static_cast<std::uint32_t>(image.size() - table));
    return image;
}

TEST(AuthenticodeSigner, NamesTheCertificateTheSignerInformationPointsAt) {
    const Bytes root = name("Example CA", text(0x0C, "Example Root"));
    const Bytes leaf = name("Example, Ltd", text(0x13, "Notes"));
    // BMP string: "Zoë" in UTF-16 big-endian.
    const Bytes bmp = name("Example Ltd", der(0x1E, {raw({0, 'Z', 0, 'o', 0, 0xEB})}));
    const Bytes both = [&] {
        Bytes out = certificate(1, root, root);
        const Bytes second = certificate(7, root, leaf);
        out.insert(out.end(), second.begin(), second.end());
        return out;
    }();
    const struct {
        const char* label;
        Bytes signature;
        const char* subject;  // null: refused
    } cases[] = {
        {"the leaf by its serial", pkcs7(both, 7, root), "CN=Notes, O=\"Example, Ltd\", C=GB"},
        {"the root by its serial", pkcs7(both, 1, root), "CN=Example Root, O=Example CA, C=GB"},
        {"a BMP string", pkcs7(certificate(3, root, bmp), 3, root), "CN=Zo\xC3\xAB, O=Example Ltd, C=GB"},
        {"a serial no certificate has", pkcs7(both, 9, root), nullptr},
        {"the serial of another issuer", pkcs7(both, 7, leaf), nullptr},
        {"not signed data", der(0x30, {der(0x06, {raw({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01})})}), nullptr},
        {"cut short", [&] { Bytes whole = pkcs7(both, 7, root); whole.resize(whole.size() - 5); return whole; }(), nullptr},
    };
    for (const auto& c : cases) {
        const auto signer = authenticode_signer(signed_image(c.signature));
        if (c.subject == nullptr) {
            EXPECT_FALSE(signer.ok()) << c.label;
            if (!signer.ok()) EXPECT_EQ(signer.error().text.rfind("its signature can't be read (", 0), 0u) << signer.error().text;
        } else {
            ASSERT_TRUE(signer.ok()) << c.label << ": " << signer.error().text;
            ASSERT_TRUE(signer->has_value()) << c.label;
            EXPECT_EQ(**signer, c.subject) << c.label;
        }
    }
}

TEST(AuthenticodeSigner, AnUnsignedImageHasNoneAndAnotherTableIsRefused) {
    testing::SyntheticPe pe;
    pe.sections.push_back({".text", Bytes(0x200, 0xC3), 0x60000020});
    const auto unsigned_image = authenticode_signer(testing::build_pe(pe));
    ASSERT_TRUE(unsigned_image.ok());
    EXPECT_FALSE(unsigned_image->has_value());
    const auto x509_table = authenticode_signer(signed_image(Bytes(16, 0), 0x0001));
    ASSERT_FALSE(x509_table.ok());
    EXPECT_EQ(x509_table.error().text, "its certificate table isn't an Authenticode signature");
    Bytes outside = signed_image(Bytes(16, 0));
    outside.resize(outside.size() - 16);
    EXPECT_FALSE(authenticode_signer(outside).ok());
}

}  // namespace
}  // namespace plinth::pack
