#include "package/signer_name.h"

#include <gtest/gtest.h>

namespace plinth {
namespace {

TEST(SignerName, NamesAreComparedAsSetsOfAttributes) {
    const char* const kSubject = "CN=Example Ltd, O=Example Ltd, L=London, C=GB";
    const struct {
        const char* other;
        bool same;
    } cases[] = {
        {"CN=Example Ltd, O=Example Ltd, L=London, C=GB", true},
        {"C=GB, L=London, O=Example Ltd, CN=Example Ltd", true},           // another order
        {"CN=Example Ltd, O=EXAMPLE LTD, L=london, C=gb", true},           // a case change in O
        {"CN=Example   Ltd ,O= Example Ltd,L=London;C=GB", true},         // spaces and ';'
        {"CN=Example Ltd + O=Example Ltd, L=London, C=GB", true},         // a multi-valued RDN
        {"2.5.4.3=Example Ltd, OID.2.5.4.10=Example Ltd, L=London, C=GB", true},  // types by number
        {"cn=Example Ltd, o=Example Ltd, l=London, c=GB", true},
        {"CN=\"Example Ltd\", O=Example\\ Ltd, L=London, C=GB", true},    // quoted, escaped
        // A renewal that adds fields (OV to EV) is another name.
        {"CN=Example Ltd, O=Example Ltd, L=London, C=GB, SERIALNUMBER=0123, OID.2.5.4.15=Private Organization", false},
        {"CN=Example Ltd, O=Example Ltd, C=GB", false},                   // one field fewer
        {"CN=Example Ltd, O=Example Ltd, L=London, C=US", false},
        {"CN=Example Ltd, OU=Example Ltd, L=London, C=GB", false},         // the same value, another type
        {"CN=ExampleLtd, O=Example Ltd, L=London, C=GB", false},           // a space is not nothing
    };
    for (const auto& c : cases) EXPECT_EQ(same_x500_name(kSubject, c.other), c.same) << c.other;
}

TEST(SignerName, WindowsQuotingAndEscapesAreUndone) {
    // CertNameToStrW quotes a value with a separator in it and doubles a quote inside.
    const auto name = parse_x500_name(R"(CN="Example, Inc.", O="The ""Best"" Ltd", OU=R\+D, S=Kent, E=a@b.example)");
    ASSERT_TRUE(name);
    const std::vector<std::u16string> expected = {u"CN=EXAMPLE, INC.", u"O=THE \"BEST\" LTD", u"OU=R+D", u"ST=KENT",
                                                  u"E=A@B.EXAMPLE"};
    EXPECT_EQ(*name, expected);
    EXPECT_TRUE(same_x500_name("CN=A, ST=Kent", "CN=A, S=Kent"));
}

TEST(SignerName, WhatIsNoNameIsComparedAsText) {
    for (const char* text : {"", "Example Ltd", "=Example", "CN=\"open", "CN=a\\", "C N!=x", "CN=a, , O=b", "CN=a\"b"}) {
        EXPECT_FALSE(parse_x500_name(text)) << text;
    }
    EXPECT_TRUE(same_x500_name("Example Ltd", "Example Ltd"));
    EXPECT_FALSE(same_x500_name("Example Ltd", "EXAMPLE LTD"));
}

TEST(SignerName, TheManifestsPublishersAreAcceptedBesideTheOwnSigner) {
    const std::vector<std::string> publishers = {"CN=Example Ltd, O=Example Ltd, C=GB, SERIALNUMBER=0123"};
    EXPECT_TRUE(accepted_signer("O=example ltd, CN=Example Ltd, C=GB", "CN=Example Ltd, O=Example Ltd, C=GB", {}));
    EXPECT_FALSE(accepted_signer("CN=Example Ltd, O=Example Ltd, C=GB, SERIALNUMBER=0123", "CN=Example Ltd, O=Example Ltd, C=GB", {}));
    EXPECT_TRUE(accepted_signer("SERIALNUMBER=0123, CN=Example Ltd, O=Example Ltd, C=GB", "CN=Example Ltd, O=Example Ltd, C=GB",
                                publishers));
    EXPECT_FALSE(accepted_signer("CN=Mallory, O=Example Ltd, C=GB", "CN=Example Ltd, O=Example Ltd, C=GB", publishers));
}

}  // namespace
}  // namespace plinth
