#include <gtest/gtest.h>

#include <fstream>
#include <span>
#include <vector>

#include "common/base64.h"
#include "common/gcm.h"
#include "common/hex.h"
#include "common/random.h"
#include "common/records.h"
#include "common/sha256.h"
#include "common/signature.h"
#include "update/UpdateKey.h"
#include "support/TempDir.h"

namespace {

using namespace std::string_literals;

const unsigned char* u8(const Bytes& b) { return reinterpret_cast<const unsigned char*>(b.data()); }

TEST(HexDecode, Table) {
  const struct {
    std::string in;
    std::optional<std::string> out;  // nullopt: refused (empty result)
  } cases[] = {
      {"", ""},
      {"0A", "\x0a"},
      {"0a", "\x0a"},
      {"00abff", "\x00\xab\xff"s},
      {"ABCDEF", "\xab\xcd\xef"},
      {"abc", std::nullopt},   {"0g", std::nullopt}, {"g0", std::nullopt},
      {"0x", std::nullopt},    {"1 ", std::nullopt}, {"+ ", std::nullopt},
      {"0\0"s, std::nullopt}, {"\0"s "0", std::nullopt},
      // The pair is read as strtol reads it: leading white space or a sign before one digit.
      {" f", "\x0f"},
      {"\tA", "\x0a"},
      {"+1", "\x01"},
      {"-1", "\xff"},
      {"-f", "\xf1"},
      {"00 1", "\x00\x01"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(hexDecode(c.in), c.out.value_or(""));
  }
}

TEST(HexEncode, LowerCaseAndRoundTrips) {
  EXPECT_EQ(hexEncode("\x00\xab\xff"s), "00abff");
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(hexDecode(hexEncode(all)), all);
}

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  TempDir dir("sha");
  { std::ofstream(dir / "empty", std::ios::binary); }
  EXPECT_EQ(sha256FileHex(dir / "empty"), sha256Hex(""));
  EXPECT_EQ(sha256FileHex(dir / "missing"), "");
  EXPECT_EQ(sha256FileHex(dir.path()), "");  // a folder cannot be read as a file

  // Several chunks and a partial last one.
  std::string big;
  for (int i = 0; i < 200000; ++i) big.push_back(static_cast<char>(i * 7 + (i >> 9)));
  { std::ofstream(dir / "big", std::ios::binary) << big; }
  EXPECT_EQ(sha256FileHex(dir / "big"), sha256Hex(big));
}

// RFC 6979, A.2.5: the P-256 key and its SHA-256 signatures of "sample" and "test".
constexpr const char* kRfcX = "60FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6";
constexpr const char* kRfcY = "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299";
constexpr const char* kRfcSample =
    "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
    "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8";
constexpr const char* kRfcTest =
    "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367"
    "019F4113742A2B14BD25926B49C649155F267E60D3814B4C0CC84250E46F0083";

TEST(Signature, Rfc6979Vectors) {
  const std::string sample = kRfcSample;
  std::string lower = sample;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string flipped = sample;
  flipped[70] = flipped[70] == '0' ? '1' : '0';
  const struct {
    std::string message;
    std::string signature;
    bool ok;
  } cases[] = {
      {"sample", sample, true},
      {"sample", lower, true},
      {"test", kRfcTest, true},
      {"test", sample, false},
      {"sample", kRfcTest, false},
      {"Sample", sample, false},
      {"sample", flipped, false},
      {"sample", sample.substr(0, 126), false},
      {"sample", sample + "00", false},
      {"sample", "00" + sample, false},
      {"sample", sample.substr(0, 127), false},
      {"sample", std::string(128, '0'), false},
      {"sample", std::string(128, 'z'), false},
      {"sample", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message + " " + c.signature);
    EXPECT_EQ(verifySignatureWithKey(c.message, c.signature, kRfcX, kRfcY), c.ok);
  }
  // A key that is not a point on the curve, or of the wrong length, verifies nothing.
  std::string offCurveY = kRfcY;
  offCurveY[63] = offCurveY[63] == '9' ? '8' : '9';
  EXPECT_FALSE(verifySignatureWithKey("sample", sample, kRfcX, offCurveY));
  EXPECT_FALSE(verifySignatureWithKey("sample", sample, std::string(kRfcX).substr(2), kRfcY));
  // The built-in key is not the RFC's.
  EXPECT_FALSE(verifyUpdateSignature("sample", sample));
}

TEST(Base64Decode, Table) {
  const struct {
    std::string in;
    std::optional<std::string> out;  // nullopt: refused
  } cases[] = {
      {"", ""},
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QUJDRA==", "ABCD"},
      {"AP8A", "\x00\xff\x00"s},
      {"+/+/", "\xfb\xff\xbf"},
      {"QUJD\r\nRA==\r\n", "ABCD"},
      {" QU JD\tRA =\n= ", "ABCD"},
      {"QQ", "A"},
      {"QUI", "AB"},
      {"Q", std::nullopt},        {"QUJDR", std::nullopt},       {"QQ=", std::nullopt},
      {"Q===", std::nullopt},     {"====", std::nullopt},        {"QQ==QQ==", std::nullopt},
      {"QQ==x", std::nullopt},    {"QQ===", std::nullopt},       {"QU=I", std::nullopt},
      {"QUJD-_", std::nullopt},   {"QU\0JD"s, std::nullopt},     {"QUJD\v", std::nullopt},
      {"\xC3\xA4QUJD", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(base64Decode(c.in), c.out.value_or(""));
  }
}

TEST(RandomBytes, FillsAndDiffers) {
  unsigned char a[32] = {};
  unsigned char b[32] = {};
  ASSERT_TRUE(randomBytes(a));
  ASSERT_TRUE(randomBytes(b));
  EXPECT_NE(std::string(a, a + 32), std::string(b, b + 32));
  EXPECT_TRUE(randomBytes(std::span<unsigned char>()));
}

TEST(GcmKey, OnlyThirtyTwoBytesOfHex) {
  EXPECT_TRUE(openGcmKey(std::string(64, 'a')));
  for (const std::string& hex : {std::string(62, 'a'), std::string(66, 'a'), std::string(63, 'a'),
                                 std::string(63, 'a') + "z", std::string()}) {
    EXPECT_FALSE(openGcmKey(hex)) << hex;
  }
  EXPECT_FALSE(GcmKey().valid());
}

// McGrew and Viega, "The Galois/Counter Mode of Operation", test cases 13 to 16 (AES-256,
// 96-bit IV).
TEST(Gcm, PublishedVectors) {
  const std::string k15 = "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308";
  const std::string p15 =
      "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
      "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b391aafd255";
  const std::string c15 =
      "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
      "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662898015ad";
  const struct {
    const char* name;
    std::string key, iv, plain, aad, cipher, tag;
  } cases[] = {
      {"13", std::string(64, '0'), std::string(24, '0'), "", "", "",
       "530f8afbc74536b9a963b4f1c4cb738b"},
      {"14", std::string(64, '0'), std::string(24, '0'), std::string(32, '0'), "",
       "cea7403d4d606b6e074ec5d3baf39d18", "d0d1c8a799996bf0265b98b5d48ab919"},
      {"15", k15, "cafebabefacedbaddecaf888", p15, "", c15, "b094dac5d93471bdec1a502270e3cc6c"},
      {"16", k15, "cafebabefacedbaddecaf888", p15.substr(0, 120),
       "feedfacedeadbeeffeedfacedeadbeefabaddad2", c15.substr(0, 120),
       "76fc6ece0f4e1768cddf8853bb2d551b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto key = openGcmKey(c.key);
    ASSERT_TRUE(key);
    const Bytes iv = hexDecode(c.iv), aad = hexDecode(c.aad), cipher = hexDecode(c.cipher);
    const Bytes tag = hexDecode(c.tag);
    Bytes plain(cipher.size(), '\x55');
    ASSERT_TRUE(openGcm(*key, u8(iv), aad, u8(cipher), cipher.size(), u8(tag),
                        reinterpret_cast<unsigned char*>(plain.data())));
    EXPECT_EQ(hexEncode(plain), c.plain);

    // Any flipped bit in the ciphertext, the tag or the associated data fails the tag.
    for (int part = 0; part < 3; ++part) {
      Bytes bad[3] = {cipher, tag, aad.empty() ? Bytes("\x00"s) : aad};
      if (bad[part].empty()) continue;
      bad[part][bad[part].size() / 2] ^= 0x04;
      EXPECT_FALSE(openGcm(*key, u8(iv), bad[2], u8(bad[0]), bad[0].size(), u8(bad[1]),
                           reinterpret_cast<unsigned char*>(plain.data())))
          << "part " << part;
    }
  }
}

struct RecordParts {
  std::uint32_t length;
  const unsigned char* nonce;
  const unsigned char* cipher;
  std::size_t cipherLen;
  const unsigned char* tag;
};

RecordParts split(const Bytes& record) {
  const unsigned char* p = u8(record);
  RecordParts r{};
  r.length = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
  r.nonce = p + 4;
  r.cipher = r.nonce + kGcmNonceBytes;
  r.cipherLen = record.size() - 4 - kRecordOverhead;
  r.tag = r.cipher + r.cipherLen;
  return r;
}

TEST(Records, SealAndOpen) {
  const auto key = openGcmKey("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  const auto other = openGcmKey("100102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  ASSERT_TRUE(key && other);
  for (std::size_t size : {std::size_t{1}, std::size_t{1000}, kMaxRecordPlain}) {
    SCOPED_TRACE(size);
    std::string plain(size, '\0');
    for (std::size_t i = 0; i < size; ++i) plain[i] = static_cast<char>(i * 31);
    const auto record = sealRecord(*key, 7, plain);
    ASSERT_TRUE(record);
    ASSERT_EQ(record->size(), size + 4 + kRecordOverhead);
    const RecordParts r = split(*record);
    EXPECT_EQ(r.length, size + kRecordOverhead);
    EXPECT_NE(std::string_view(record->data() + 4 + kGcmNonceBytes, size), plain);

    std::vector<unsigned char> out(size);
    EXPECT_TRUE(openRecord(*key, 7, r.nonce, r.cipher, r.cipherLen, r.tag, out.data()));
    EXPECT_EQ(std::string(out.begin(), out.end()), plain);
    // Out of order (another index) or another key fails the tag.
    EXPECT_FALSE(openRecord(*key, 8, r.nonce, r.cipher, r.cipherLen, r.tag, out.data()));
    EXPECT_FALSE(openRecord(*key, 7u | 0x80000000u, r.nonce, r.cipher, r.cipherLen, r.tag, out.data()));
    EXPECT_FALSE(openRecord(*other, 7, r.nonce, r.cipher, r.cipherLen, r.tag, out.data()));
    for (std::size_t at : {std::size_t{4}, std::size_t{4 + kGcmNonceBytes}, record->size() - 1}) {
      Bytes bad = *record;
      bad[at] ^= 0x01;
      const RecordParts b = split(bad);
      EXPECT_FALSE(openRecord(*key, 7, b.nonce, b.cipher, b.cipherLen, b.tag, out.data())) << at;
    }

    // Sealed where it lies: the same layout, and it opens to the plaintext.
    Bytes room(4 + kGcmNonceBytes, '\0');
    room += plain + std::string(kGcmTagBytes, '\0');
    ASSERT_TRUE(sealRecordInPlace(*key, 7, std::span(reinterpret_cast<unsigned char*>(room.data()), room.size())));
    const RecordParts p = split(room);
    EXPECT_EQ(p.length, size + kRecordOverhead);
    EXPECT_NE(std::string_view(room.data() + 4 + kGcmNonceBytes, size), plain);
    EXPECT_TRUE(openRecord(*key, 7, p.nonce, p.cipher, p.cipherLen, p.tag, out.data()));
    EXPECT_EQ(std::string(out.begin(), out.end()), plain);
  }
}

TEST(Records, SizesNoncesAndAppending) {
  const auto key = openGcmKey(std::string(64, '1'));
  ASSERT_TRUE(key);
  EXPECT_FALSE(sealRecord(*key, 0, ""));
  EXPECT_FALSE(sealRecord(*key, 0, std::string(kMaxRecordPlain + 1, 'x')));
  EXPECT_FALSE(sealRecord(GcmKey(), 0, "x"));
  // In place: no plaintext, or more than a record holds, is refused.
  for (std::size_t room : {4 + kRecordOverhead, 4 + kRecordOverhead + kMaxRecordPlain + 1}) {
    std::vector<unsigned char> bytes(room);
    EXPECT_FALSE(sealRecordInPlace(*key, 0, bytes)) << room;
  }

  // Every record draws its own nonce, also for the same index and plaintext.
  const auto a = sealRecord(*key, 3, "same");
  const auto b = sealRecord(*key, 3, "same");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->substr(4, kGcmNonceBytes), b->substr(4, kGcmNonceBytes));

  // sealRecordInto appends; a refused record leaves what was there.
  Bytes out = "head";
  ASSERT_TRUE(sealRecordInto(*key, 0, "abc", out));
  ASSERT_EQ(out.size(), 4 + 4 + kRecordOverhead + 3);
  EXPECT_EQ(out.substr(0, 4), "head");
  EXPECT_FALSE(sealRecordInto(*key, 0, "", out));
  EXPECT_EQ(out.size(), 4 + 4 + kRecordOverhead + 3);
  const Bytes appended = out.substr(4);
  const RecordParts r = split(appended);
  unsigned char plain[3];
  ASSERT_TRUE(openRecord(*key, 0, r.nonce, r.cipher, r.cipherLen, r.tag, plain));
  EXPECT_EQ(std::string(plain, plain + 3), "abc");
}

}  // namespace
