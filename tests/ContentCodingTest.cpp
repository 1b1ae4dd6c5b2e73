// ContentCoding: base64 against RFC 4648 vectors and round trips; quoted-printable rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "base/ContentCoding.h"
#include "base/StringBuffer.h"

namespace {

std::string encode64(const std::string& in) {
    StringBuffer out;
    EXPECT_TRUE(ContentCoding().encodeBase64(in.data(), static_cast<std::uint32_t>(in.size()), out));
    return out.text();
}

std::string decode64(const char* text, bool* gotBlock = nullptr) {
    std::uint32_t n = 99;
    std::uint8_t* block = ContentCoding().decodeBase64(text, n);
    if (gotBlock != nullptr) *gotBlock = block != nullptr;
    if (block == nullptr) return "<none>";
    EXPECT_EQ(block[n], 0);
    std::string result(reinterpret_cast<char*>(block), n);
    std::free(block);
    return result;
}

std::string encodeQp(const std::string& in) {
    StringBuffer out;
    EXPECT_TRUE(ContentCoding().encodeQuotedPrintable(in.data(), static_cast<std::uint32_t>(in.size()), out));
    return std::string(out.text(), static_cast<std::size_t>(out.length()));
}

// Reference reading of quoted-printable: =XX is a byte, "=\r\n" vanishes, the rest is literal.
std::string decodeQp(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out += in[i];
        } else if (in.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

std::string randomBytes(std::mt19937& gen, std::size_t n, int alphabetSize) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() % static_cast<unsigned>(alphabetSize));
    return s;
}

}  // namespace

TEST(ContentCoding, Base64Rfc4648Vectors) {
    const char* vectors[][2] = {{"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (auto& v : vectors) {
        EXPECT_EQ(encode64(v[0]), v[1]);
        EXPECT_EQ(decode64(v[1]), v[0]);
    }
    EXPECT_EQ(encode64(""), "");
    EXPECT_EQ(encode64(std::string("\xFB\xFF", 2)), "+/8=");
}

TEST(ContentCoding, Base64DecodeSkipsForeignCharactersAndStopsAtPadding) {
    struct Case {
        const char* text;
        const char* decoded;
    };
    const Case cases[] = {
        {"Zm9v\r\nYmFy", "foobar"},  // line breaks are below '+'
        {"Zm 9v\tYm~Fy", "foobar"},  // so are spaces; '~' is above 'z'
        {"Zm9v-Ym.Fy", "foobar"},    // inside the range but not in the alphabet
        {"Zm8=Zm9v", "fo"},          // '=' ends the input
        {"Zm9vY", "foo"},            // a lone trailing character carries no byte
        {"!!!", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(decode64(c.text), c.decoded) << c.text;
    bool gotBlock = true;
    decode64("", &gotBlock);
    EXPECT_FALSE(gotBlock);
    decode64(nullptr, &gotBlock);
    EXPECT_FALSE(gotBlock);
}

TEST(ContentCoding, Base64RoundTripsEveryLengthAndByte) {
    std::mt19937 gen(1321);
    for (std::size_t n = 0; n < 300; ++n) {
        std::string data = randomBytes(gen, n, 256);
        std::string text = encode64(data);
        ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
        if (n > 0) {
            ASSERT_EQ(decode64(text.c_str()), data) << n;
        }
    }
}

TEST(ContentCoding, QuotedPrintableRules) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"Hello=World", "Hello=3DWorld"},
        {"caf\xE9 au lait", "caf=E9 au lait"},
        {"a \r\nb\t", "a=20\r\nb=09"},
        {"tab\there", "tab\there"},
        {".dot\r\n.again. ok", "=2Edot\r\n=2Eagain. ok"},
        {"From me\r\nFrom: you\r\nFromage\r\n From ", "=46rom me\r\nFrom: you\r\nFromage\r\n From=20"},
        {"bare\nlf\r", "bare=0Alf=0D"},
        {std::string("\0\x7F", 2), "=00=7F"},
    };
    for (const Case& c : cases) EXPECT_EQ(encodeQp(c.in), c.out) << c.in;
}

TEST(ContentCoding, QuotedPrintableSoftBreaksKeepLinesShort) {
    std::string longLine(100, 'a');
    EXPECT_EQ(encodeQp(longLine), std::string(71, 'a') + "=\r\n" + std::string(29, 'a'));
    // A soft break before '.' puts it at a line start, where it must be encoded.
    EXPECT_EQ(encodeQp(std::string(71, 'a') + ".b"), std::string(71, 'a') + "=\r\n=2Eb");
    // An encoded byte never straddles a break.
    EXPECT_EQ(encodeQp(std::string(70, 'a') + "=b"), std::string(70, 'a') + "=\r\n=3Db");
}

TEST(ContentCoding, QuotedPrintableRoundTrips) {
    std::mt19937 gen(2045);
    for (int round = 0; round < 200; ++round) {
        // Mostly text with spaces, dots, CR and LF; sometimes any byte.
        std::string data = round % 2 ? randomBytes(gen, gen() % 400, 256) : randomBytes(gen, gen() % 400, 128);
        for (char& c : data) {
            if (round % 2 == 0 && gen() % 8 == 0) c = " .\r\n=F"[gen() % 6];
        }
        std::string encoded = encodeQp(data);
        ASSERT_EQ(decodeQp(encoded), data);
        std::size_t start = 0;
        for (std::size_t end; (end = encoded.find("\r\n", start)) != std::string::npos; start = end + 2) {
            ASSERT_LE(end - start, 72u);
            ASSERT_NE(encoded[start], '.');
            ASSERT_FALSE(end > start && (encoded[end - 1] == ' ' || encoded[end - 1] == '\t'));
        }
        for (char c : encoded) ASSERT_TRUE(c == '\r' || c == '\n' || c == '\t' || (c >= 32 && c < 127));
    }
}
