#include "base/compressed_rtf.h"

#include <gtest/gtest.h>
#include <libpff.h>

#include <memory>
#include <random>
#include <string>

#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> Hex(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

void ExpectRoundTrip(const std::string& rtf) {
  const auto compressed = CompressRtf(Bytes(rtf));
  ASSERT_GE(compressed.size(), 16u);
  EXPECT_EQ(compressed[8], 'L');
  EXPECT_EQ(compressed[11], 'u');
  const auto back = DecompressRtf(compressed);
  ASSERT_TRUE(back.has_value()) << "input of " << rtf.size() << " bytes";
  EXPECT_EQ(Text(*back), rtf);
}

// The two worked examples published with the format, decompressed by our reader.
TEST(CompressedRtf, DecompressesThePublishedExamples) {
  const auto simple = Hex(
      "2d 00 00 00 2b 00 00 00 4c 5a 46 75 f1 c5 c7 a7 03 00 0a 00 72 63 70 67 31 32 35 42 32 0a "
      "f3 20 68 65 6c 09 00 20 62 77 05 b0 6c 64 7d 0a 80 0f a0 ");
  const auto one = DecompressRtf(simple);
  ASSERT_TRUE(one.has_value());
  EXPECT_EQ(Text(*one), "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n");

  const auto overlapping = Hex(
      "1a 00 00 00 1c 00 00 00 4c 5a 46 75 e2 d4 4b 51 41 00 04 20 57 58 59 5a 0d 6e 7d 01 0e b0 ");
  const auto two = DecompressRtf(overlapping);
  ASSERT_TRUE(two.has_value());
  EXPECT_EQ(Text(*two), "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}");
}

TEST(CompressedRtf, RoundTripsTextOfEveryShape) {
  ExpectRoundTrip("");
  ExpectRoundTrip("x");
  ExpectRoundTrip("{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n");
  // Runs longer than one reference and references that overlap the bytes they produce.
  ExpectRoundTrip("{\\rtf1 " + std::string(5000, 'a') + "}");
  ExpectRoundTrip("{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}");
  // Far more than the 4096-byte dictionary, so positions wrap around.
  std::string long_rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}";
  for (int i = 0; i < 3000; ++i)
    long_rtf += "\\par Line " + std::to_string(i * 7919 % 1000) + " of the body\r\n";
  long_rtf += "}";
  ExpectRoundTrip(long_rtf);
  // Incompressible bytes.
  std::mt19937 random(42);
  std::string noise(20000, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  ExpectRoundTrip(noise);
}

TEST(CompressedRtf, CompressesRepetitiveRtf) {
  std::string rtf = "{\\rtf1\\ansi";
  for (int i = 0; i < 500; ++i) rtf += "\\par Hello world";
  rtf += "}";
  const auto compressed = CompressRtf(Bytes(rtf));
  EXPECT_LT(compressed.size(), rtf.size() / 5);
}

TEST(CompressedRtf, ReadsTheUncompressedForm) {
  auto mela = Hex("10 00 00 00 05 00 00 00 4d 45 4c 41 00 00 00 00 7b 5c 72 74 66 ");
  mela.insert(mela.end(), 3, 0);  // padding after the data is ignored
  mela[0] = static_cast<std::uint8_t>(mela.size() - 4);
  const auto out = DecompressRtf(mela);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(Text(*out), "{\\rtf");
}

TEST(CompressedRtf, RejectsDamagedOrHostileInput) {
  const auto good = CompressRtf(Bytes("{\\rtf1\\ansi hello hello hello hello}"));
  EXPECT_FALSE(DecompressRtf(std::span(good).first(10)).has_value());               // short header
  EXPECT_FALSE(DecompressRtf(std::span(good).first(good.size() - 3)).has_value());  // truncated

  auto bad_crc = good;
  bad_crc[12] ^= 0xFF;
  EXPECT_FALSE(DecompressRtf(bad_crc).has_value());

  auto flipped = good;
  flipped.back() ^= 0x55;  // a damaged body no longer matches its CRC
  EXPECT_FALSE(DecompressRtf(flipped).has_value());

  // A valid stream that announces less output than it produces.
  auto short_raw = good;
  short_raw[4] = 3;
  short_raw[5] = short_raw[6] = short_raw[7] = 0;
  EXPECT_FALSE(DecompressRtf(short_raw).has_value());

  // Announcing gigabytes of output must not make the reader reserve them.
  auto huge_raw = good;
  huge_raw[7] = 0x7F;
  EXPECT_FALSE(DecompressRtf(huge_raw).has_value());

  auto bad_type = good;
  bad_type[8] = 'X';
  EXPECT_FALSE(DecompressRtf(bad_type).has_value());

  auto big_size = good;
  big_size[3] = 0x7F;  // compressed size beyond the buffer
  EXPECT_FALSE(DecompressRtf(big_size).has_value());
}

TEST(CompressedRtf, OutlookCrcMatchesTheKnownValue) {
  // The CRC in the first published example covers the bytes after the header.
  const auto simple = Hex(
      "2d 00 00 00 2b 00 00 00 4c 5a 46 75 f1 c5 c7 a7 03 00 0a 00 72 63 70 67 31 32 35 42 32 0a "
      "f3 20 68 65 6c 09 00 20 62 77 05 b0 6c 64 7d 0a 80 0f a0 ");
  EXPECT_EQ(OutlookCrc32(std::span(simple).subspan(16)), 0xA7C7C5F1u);
}

struct PffFileCloser {
  void operator()(libpff_file_t* file) const {
    libpff_file_close(file, nullptr);
    libpff_file_free(&file, nullptr);
  }
};
struct PffItemFree {
  void operator()(libpff_item_t* item) const { libpff_item_free(&item, nullptr); }
};

// libpff decompresses PidTagRtfCompressed itself; it must get back exactly what went in.
TEST(CompressedRtf, LibpffDecompressesWhatWeCompress) {
  std::string rtf = "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Times New Roman;}}";
  for (int i = 0; i < 400; ++i) rtf += "\\par caf\\'e9 line " + std::to_string(i) + "\r\n";
  rtf += "}";
  test::TempDir dir;
  pstgen::Store store;
  store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note").SetRtf(rtf);
  const auto path = dir.path() / "rtf.pst";
  pstgen::Write(store, path);

  libpff_file_t* raw_file = nullptr;
  ASSERT_EQ(libpff_file_initialize(&raw_file, nullptr), 1);
  std::unique_ptr<libpff_file_t, PffFileCloser> file(raw_file);
  ASSERT_EQ(libpff_file_open(file.get(), path.c_str(), LIBPFF_OPEN_READ, nullptr), 1);
  using Item = std::unique_ptr<libpff_item_t, PffItemFree>;
  // libpff refuses an output pointer that is already set, and lists a folder's children only
  // once asked how many there are.
  const auto child = [](libpff_item_t* folder, int index, bool message) {
    int count = 0;
    libpff_item_t* raw = nullptr;
    if (message) {
      libpff_folder_get_number_of_sub_messages(folder, &count, nullptr);
      libpff_folder_get_sub_message(folder, index, &raw, nullptr);
    } else {
      libpff_folder_get_number_of_sub_folders(folder, &count, nullptr);
      libpff_folder_get_sub_folder(folder, index, &raw, nullptr);
    }
    return Item(raw);
  };
  libpff_item_t* raw_root = nullptr;
  ASSERT_EQ(libpff_file_get_root_folder(file.get(), &raw_root, nullptr), 1);
  const Item root(raw_root);
  const Item top = child(root.get(), 0, false);  // Top of Personal Folders
  ASSERT_TRUE(top);
  const Item inbox = child(top.get(), 1, false);  // after Deleted Items
  ASSERT_TRUE(inbox);
  const Item message = child(inbox.get(), 0, true);
  ASSERT_TRUE(message);
  std::size_t size = 0;
  ASSERT_EQ(libpff_message_get_rtf_body_size(message.get(), &size, nullptr), 1);
  std::string body(size, '\0');
  ASSERT_EQ(libpff_message_get_rtf_body(message.get(), reinterpret_cast<std::uint8_t*>(body.data()),
                                        size, nullptr),
            1);
  while (!body.empty() && body.back() == '\0') body.pop_back();
  EXPECT_EQ(body, rtf);
}

}  // namespace
}  // namespace bm
