#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "evaluator/checksum.h"

namespace tav::checksum_test {

namespace cs = tav::checksum;

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string hex(const cs::Digest& d, size_t size) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += digits[d.bytes[i] >> 4];
    out += digits[d.bytes[i] & 15];
  }
  return out;
}
std::string hex(const cs::Digest& d) { return hex(d, d.size); }

std::string digest_hex(const std::string& text, int index) {
  auto d = cs::digest(bytes_of(text), text.size(), index);
  EXPECT_TRUE(d.has_value());
  return d ? hex(*d) : std::string();
}

TEST(Checksum, MethodWordsAndIndexes) {
  struct Row { const char* name; cs::Method method; int index; uint32_t size; };
  const Row rows[] = {
      {"tcp", cs::Method::tcp, 0, 0},        {"crc32", cs::Method::crc32, 1, 0},
      {"MD5", cs::Method::md5, 2, 16},       {"Sha1", cs::Method::sha1, 3, 20},
      {"sha256", cs::Method::sha256, 4, 32}, {"SHA384", cs::Method::sha384, 5, 48},
      {"sha512", cs::Method::sha512, 6, 64}, {"adler32", cs::Method::adler32, -1, 0},
      {"hash", cs::Method::hash, -1, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    auto m = cs::method_from_name(r.name);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(*m, r.method);
    EXPECT_EQ(cs::method_index(*m), r.index);
    EXPECT_EQ(cs::digest_size(r.index), r.size);
  }
  EXPECT_FALSE(cs::method_from_name("sha2").has_value());
  EXPECT_FALSE(cs::method_from_name("md5x").has_value());
  EXPECT_FALSE(cs::method_from_name("").has_value());
  // Only ASCII letters fold: a non-ASCII look-alike is not a method.
  EXPECT_FALSE(cs::method_from_name("m\xC4\x91" "5").has_value());
  EXPECT_EQ(cs::digest_size(7), 0u);
}

TEST(Checksum, Crc32KnownValues) {
  struct Row { std::string text; uint32_t crc; };
  const Row rows[] = {{"", 0}, {"123456789", 0xCBF43926u}, {"abc", 0x352441C2u}};
  for (const Row& r : rows) EXPECT_EQ(cs::crc32(bytes_of(r.text), r.text.size()), r.crc) << r.text;
  std::vector<uint8_t> big(100000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(cs::crc32(big.data(), big.size()), 0x0EAF0153u);
  std::string as(100000, 'a');
  EXPECT_EQ(cs::crc32(bytes_of(as), as.size()), 0x1BE2FA87u);
}

TEST(Checksum, Adler32KnownValues) {
  struct Row { std::string text; uint32_t adler; };
  const Row rows[] = {{"", 1}, {"abc", 0x024D0127u}, {"Wikipedia", 0x11E60398u}};
  for (const Row& r : rows)
    EXPECT_EQ(cs::adler32(bytes_of(r.text), r.text.size()), r.adler) << r.text;
  // All-0xFF bytes drive the running sums hardest: the modulo must be taken in time.
  std::vector<uint8_t> ff(100000, 0xFF);
  EXPECT_EQ(cs::adler32(ff.data(), ff.size()), 0x149A302Cu);
  std::string as(100000, 'a');
  EXPECT_EQ(cs::adler32(bytes_of(as), as.size()), 0x79660B4Du);
}

TEST(Checksum, Crc32AndAdler32AgreeWithZlibAcrossRunBoundaries) {
  std::vector<uint8_t> data(40000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xFF - (i * 13) % 7);
  for (size_t len : {1u, 15u, 16u, 17u, 3853u, 3854u, 3855u, 5551u, 5552u, 5553u, 11104u, 40000u}) {
    SCOPED_TRACE(len);
    EXPECT_EQ(cs::adler32(data.data(), len),
              ::adler32(::adler32(0, nullptr, 0), data.data(), static_cast<uInt>(len)));
    EXPECT_EQ(cs::crc32(data.data(), len),
              ::crc32(::crc32(0, nullptr, 0), data.data(), static_cast<uInt>(len)));
  }
}

TEST(Checksum, InternetChecksum) {
  struct Row { std::vector<uint8_t> data; uint16_t sum; };
  const Row rows[] = {
      {{}, 0xFFFF},
      {{0x01, 0x02, 0x03}, 0xFBFD},
      // RFC 1071's worked example: the words sum to 0xDDF2 after the end-around carry.
      {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},
      {{0xFF}, 0x00FF},
  };
  for (const Row& r : rows) EXPECT_EQ(cs::tcp(r.data.data(), r.data.size()), r.sum);
}

TEST(Checksum, InternetChecksumKeepsCarriesOfLongInputs) {
  // 100,000 words of 0xFFFF add up past 2^32; the one's-complement sum is still 0xFFFF
  // (negative zero), so the checksum is 0. A 32-bit accumulator would give 0x0001.
  std::vector<uint8_t> data(200000, 0xFF);
  EXPECT_EQ(cs::tcp(data.data(), data.size()), 0x0000);
  // A valid checksum appended to data makes the whole sum check to 0.
  std::vector<uint8_t> packet(300001);
  for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<uint8_t>(0xF0 + i % 16);
  packet.push_back(0);   // pad to even so the checksum word lands on a word boundary
  uint16_t sum = cs::tcp(packet.data(), packet.size());
  packet.push_back(static_cast<uint8_t>(sum >> 8));
  packet.push_back(static_cast<uint8_t>(sum));
  EXPECT_EQ(cs::tcp(packet.data(), packet.size()), 0x0000);
}

TEST(Checksum, Md5Rfc1321Suite) {
  struct Row { std::string text; const char* md5; };
  const Row rows[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Row& r : rows) EXPECT_EQ(digest_hex(r.text, cs::INDEX_MD5), r.md5) << r.text;
}

TEST(Checksum, ShaFips180Vectors) {
  const std::string abc = "abc";
  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string two_blocks_64 =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
      "lmnopqrsmnopqrstnopqrstu";
  const std::string million(1000000, 'a');
  struct Row { const std::string* text; int index; const char* hex; };
  const Row rows[] = {
      {&abc, cs::INDEX_SHA1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {&two_blocks, cs::INDEX_SHA1, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {&million, cs::INDEX_SHA1, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {&abc, cs::INDEX_SHA256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {&two_blocks, cs::INDEX_SHA256,
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {&million, cs::INDEX_SHA256,
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {&abc, cs::INDEX_SHA384,
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed"
       "8086072ba1e7cc2358baeca134c825a7"},
      {&two_blocks_64, cs::INDEX_SHA384,
       "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712"
       "fcc7c71a557e2db966c3e9fa91746039"},
      {&abc, cs::INDEX_SHA512,
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
       "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
      {&two_blocks_64, cs::INDEX_SHA512,
       "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
       "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
      {&million, cs::INDEX_SHA512,
       "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
       "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.index);
    EXPECT_EQ(digest_hex(*r.text, r.index), r.hex);
  }
  EXPECT_EQ(digest_hex("", cs::INDEX_SHA256),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Checksum, DigestRefusesMethodsWithoutOne) {
  const std::string text = "abc";
  for (int index : {-1, cs::INDEX_TCP, cs::INDEX_CRC32, 7})
    EXPECT_FALSE(cs::digest(bytes_of(text), text.size(), index).has_value()) << index;
  for (int index : {-1, cs::INDEX_TCP, cs::INDEX_CRC32, 7})
    EXPECT_FALSE(cs::hmac(bytes_of(text), 3, bytes_of(text), 3, index).has_value()) << index;
}

std::vector<uint8_t> repeat(uint8_t byte, size_t n) { return std::vector<uint8_t>(n, byte); }
std::vector<uint8_t> from_text(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Checksum, HmacRfc4231Vectors) {
  std::vector<uint8_t> key4;
  for (uint8_t b = 1; b <= 25; ++b) key4.push_back(b);
  struct Case { std::vector<uint8_t> key, data; const char* sha256; const char* sha384; const char* sha512; };
  const Case cases[] = {
      {repeat(0x0B, 20), from_text("Hi There"),
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
      {from_text("Jefe"), from_text("what do ya want for nothing?"),
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {repeat(0xAA, 20), repeat(0xDD, 50),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe",
       "88062608d3e6ad8a0aa2ace014c8a86f0aa635d947ac9febe83ef4e55966144b2a5ab39dc13814b94e3ab6e101a34f27",
       "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39bf3e848279a722c806b485a47e67c807b946a337bee8942674278859e13292fb"},
      {key4, repeat(0xCD, 50),
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b",
       "3e8a69b7783c25851933ab6290af6ca77a9981480850009cc5577c6e1f573b4e6801dd23c4a7d679ccf8a386c674cffb",
       "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3dba91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd"},
      // Case 5 only fixes the first 128 bits.
      {repeat(0x0C, 20), from_text("Test With Truncation"),
       "a3b6167473100ee06e0c796c2955552b", "3abf34c3503b2a23a46efc619baef897",
       "415fad6271580a531d4179bc891d87a6"},
      // Cases 6 and 7: a 131-byte key is longer than every block and is hashed first.
      {repeat(0xAA, 131), from_text("Test Using Larger Than Block-Size Key - Hash Key First"),
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
       "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952",
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"},
      {repeat(0xAA, 131),
       from_text("This is a test using a larger than block-size key and a larger than block-size "
                 "data. The key needs to be hashed before being used by the HMAC algorithm."),
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2",
       "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c46523e",
       "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e4de15134676fb6de0446065c97440fa8c6a58"},
  };
  int n = 0;
  for (const Case& c : cases) {
    ++n;
    const std::pair<int, const char*> expected[] = {
        {cs::INDEX_SHA256, c.sha256}, {cs::INDEX_SHA384, c.sha384}, {cs::INDEX_SHA512, c.sha512}};
    for (auto [index, want] : expected) {
      SCOPED_TRACE(testing::Message() << "case " << n << " index " << index);
      auto h = cs::hmac(c.data.data(), c.data.size(), c.key.data(), c.key.size(), index);
      ASSERT_TRUE(h.has_value());
      EXPECT_EQ(h->size, cs::digest_size(index));
      EXPECT_EQ(hex(*h, std::strlen(want) / 2), want);
    }
  }
}

TEST(Checksum, HmacMd5AndSha1Rfc2202) {
  const std::string data = "Hi There";
  auto md5 = cs::hmac(bytes_of(data), data.size(), repeat(0x0B, 16).data(), 16, cs::INDEX_MD5);
  ASSERT_TRUE(md5.has_value());
  EXPECT_EQ(hex(*md5), "9294727a3638bb1c13f48ef8158bfc9d");
  auto key20 = repeat(0x0B, 20);
  auto sha1 = cs::hmac(bytes_of(data), data.size(), key20.data(), 20, cs::INDEX_SHA1);
  ASSERT_TRUE(sha1.has_value());
  EXPECT_EQ(hex(*sha1), "b617318655057264e28bc0b6fb378c8ef146be00");
}

TEST(Checksum, HmacKeyAtBlockSizeIsUsedAsIsAndLongerIsHashed) {
  const std::string data = "block edge";
  for (auto [index, block] : {std::pair{cs::INDEX_SHA256, 64}, std::pair{cs::INDEX_SHA512, 128}}) {
    SCOPED_TRACE(index);
    for (int extra : {0, 1}) {
      std::vector<uint8_t> key(block + extra);
      for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 31 + 5);
      auto keyed = cs::hmac(bytes_of(data), data.size(), key.data(), key.size(), index);
      auto hashed_key = cs::digest(key.data(), key.size(), index);
      ASSERT_TRUE(keyed && hashed_key);
      auto under_hash = cs::hmac(bytes_of(data), data.size(), hashed_key->bytes,
                                 hashed_key->size, index);
      ASSERT_TRUE(under_hash);
      // A key longer than the block acts exactly as its digest; one of block size does not.
      EXPECT_EQ(hex(*keyed) == hex(*under_hash), extra == 1);
    }
  }
}

TEST(Checksum, LibcryptoFailureIsReportedNotReturnedAsADigest) {
  // Point libcrypto's default fetch at a provider that does not exist: every digest fetch
  // then fails inside libcrypto, as it would with a broken installation.
  ASSERT_EQ(EVP_set_default_properties(nullptr, "provider=tav-no-such-provider"), 1);
  const std::string text = "abc";
  for (int index = cs::INDEX_MD5; index <= cs::INDEX_SHA512; ++index) {
    EXPECT_FALSE(cs::digest(bytes_of(text), text.size(), index).has_value()) << index;
    EXPECT_FALSE(cs::hmac(bytes_of(text), 3, bytes_of(text), 3, index).has_value()) << index;
  }
  ASSERT_EQ(EVP_set_default_properties(nullptr, ""), 1);
  EXPECT_EQ(digest_hex(text, cs::INDEX_MD5), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace tav::checksum_test
