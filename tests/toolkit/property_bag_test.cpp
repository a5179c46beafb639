#include "toolkit/property_bag.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "toolkit/bmp_format.h"

using namespace orvik;

namespace {

// A 2 x 1, 24-bit BMP file: a blue and a red pixel.
std::vector<uint8_t> TinyBmp() {
  const auto header = MakeBmpHeader(2, 1, 24);
  const uint8_t row[8] = {255, 0, 0, 0, 0, 255, 0, 0};
  std::vector<uint8_t> bmp(header.size() + sizeof row);
  std::copy(header.begin(), header.end(), bmp.begin());
  std::copy(row, row + sizeof row, bmp.begin() + header.size());
  return bmp;
}

// The keys and values a stored title button carries.
PropertyBag ButtonBag() {
  PropertyBag bag;
  bag.WriteInt32("_extentx", 503);
  bag.WriteInt32("_extenty", 503);
  bag.WritePicture("backgroundpicture", MakePersistedPicture(TinyBmp()));
  bag.WritePicture("mousemovepicture", MakePersistedPicture(nullptr, 0));
  bag.WriteInt16("button", 1);
  bag.WriteString("text", "标题 title");
  bag.WriteInt16("fcolor", 0);
  bag.WriteBool("value", true);
  return bag;
}

std::vector<uint8_t> Encoded(const PropertyBag& bag) { return bag.Encode(); }

// Offset of the first byte of entry `index` in an encoded bag.
size_t EntryOffset(const std::vector<uint8_t>& data, size_t index) {
  size_t at = 10;
  for (size_t i = 0; i < index; ++i) {
    const size_t keyLength = ReadLe16(&data[at]);
    at += 2 + keyLength + 1;
    at += 4 + ReadLe32(&data[at]);
  }
  return at;
}

}  // namespace

TEST(PropertyBag, EveryTypeRoundTripsThroughTheEncoding) {
  const PropertyBag bag = ButtonBag();
  const std::vector<uint8_t> data = bag.Encode();
  ASSERT_GE(data.size(), 10u);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "OBAG");

  PropertyBag::Decoded d = PropertyBag::Decode(data.data(), data.size());
  ASSERT_TRUE(d.ok) << d.error.what << " at " << d.error.key;
  EXPECT_TRUE(d.bag == bag);
  EXPECT_EQ(d.bag.Keys(), bag.Keys());
  EXPECT_EQ(d.bag.ReadInt32("_extentx", 0), 503);
  EXPECT_EQ(d.bag.ReadInt16("button", 0), 1);
  EXPECT_EQ(d.bag.ReadString("text", ""), "标题 title");
  EXPECT_EQ(d.bag.ReadBool("value", false), true);
  EXPECT_EQ(d.bag.ReadPictureBmp("backgroundpicture"), TinyBmp());
  EXPECT_EQ(d.bag.ReadPictureBmp("mousemovepicture"), std::vector<uint8_t>{});

  PropertyBag empty;
  const std::vector<uint8_t> none = empty.Encode();
  EXPECT_EQ(none.size(), 10u);
  EXPECT_TRUE(PropertyBag::Decode(none.data(), none.size()).ok);
}

TEST(PropertyBag, KeysMatchWithoutCaseAndKeepTheirOrder) {
  PropertyBag bag = ButtonBag();
  EXPECT_EQ(bag.ReadInt16("Button", 0), 1);
  EXPECT_EQ(bag.ReadString("TEXT", ""), "标题 title");
  EXPECT_TRUE(bag.Has("BackGroundPicture"));

  // Writing under another spelling replaces the value in place.
  const size_t before = bag.size();
  bag.WriteInt16("BUTTON", 2);
  EXPECT_EQ(bag.size(), before);
  EXPECT_EQ(bag.Keys()[4], "button");
  EXPECT_EQ(bag.ReadInt16("button", 0), 2);

  EXPECT_TRUE(bag.Remove("Value"));
  EXPECT_FALSE(bag.Has("value"));
  EXPECT_EQ(bag.ReadBool("value", false), false);  // missing: the fallback
}

TEST(PropertyBag, IntegersConvertBetweenWidthsAndOverflowFails) {
  PropertyBag bag;
  bag.WriteInt16("fcolor", 0);
  bag.WriteInt32("big", 70000);
  bag.WriteInt32("small", -5);
  bag.WriteBool("flag", true);
  bag.WriteString("name", "x");

  EXPECT_EQ(bag.ReadInt32("fcolor", 7), 0);  // a zero colour stored as int16
  EXPECT_EQ(bag.ReadInt16("small", 0), -5);
  EXPECT_EQ(bag.ReadInt16("big", 0), std::nullopt);  // does not fit 16 bits
  EXPECT_EQ(bag.ReadInt32("big", 0), 70000);
  EXPECT_EQ(bag.ReadBool("big", false), true);  // nonzero is true
  EXPECT_EQ(bag.ReadInt16("flag", 0), -1);      // true is -1
  EXPECT_EQ(bag.ReadInt16("missing", 1), 1);    // a bag without the key gives the default

  EXPECT_EQ(bag.ReadInt32("name", 0), std::nullopt);  // a string is not an integer
  EXPECT_EQ(bag.ReadString("fcolor", ""), std::nullopt);
  EXPECT_EQ(bag.ReadPictureBmp("fcolor"), std::nullopt);  // a picture that is not a picture
}

TEST(PropertyBag, RefusesValuesItCouldNotReadBack) {
  PropertyBag bag;
  EXPECT_FALSE(bag.WriteInt32("", 1));
  EXPECT_FALSE(bag.WriteInt32(std::string(256, 'k'), 1));
  EXPECT_TRUE(bag.WriteInt32(std::string(255, 'k'), 1));
  EXPECT_FALSE(bag.WriteString("bad", std::string("\xC0\xAF", 2)));      // overlong '/'
  EXPECT_FALSE(bag.WriteString("bad", std::string("\xED\xA0\x80", 3)));  // surrogate
  EXPECT_FALSE(bag.WritePicture("pic", TinyBmp()));  // a BMP without the persisted header
  EXPECT_EQ(bag.size(), 1u);
}

TEST(PropertyBag, PersistedPictureFormIsClassIdMagicCountThenBmp) {
  const std::vector<uint8_t> bmp = TinyBmp();
  const std::vector<uint8_t> p = MakePersistedPicture(bmp);
  ASSERT_EQ(p.size(), 24 + bmp.size());
  const uint8_t clsid[16] = {0x04, 0x52, 0xE3, 0x0B, 0x91, 0x8F, 0xCE, 0x11,
                             0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51};
  EXPECT_TRUE(std::equal(clsid, clsid + 16, p.begin()));
  EXPECT_EQ(ReadLe32(&p[16]), 0x746Cu);
  EXPECT_EQ(ReadLe32(&p[20]), bmp.size());
  EXPECT_EQ(PersistedPictureBmp(p.data(), p.size()), bmp);

  std::vector<uint8_t> wrongCount = p;
  WriteLe32(&wrongCount[20], static_cast<uint32_t>(bmp.size() + 1));
  EXPECT_EQ(PersistedPictureBmp(wrongCount.data(), wrongCount.size()), std::nullopt);
  std::vector<uint8_t> wrongClass = p;
  wrongClass[3] ^= 1;
  EXPECT_EQ(PersistedPictureBmp(wrongClass.data(), wrongClass.size()), std::nullopt);
  EXPECT_EQ(PersistedPictureBmp(p.data(), 23), std::nullopt);
}

TEST(PropertyBagDecode, TruncationFailsAtTheEntryItCuts) {
  const PropertyBag bag = ButtonBag();
  const std::vector<uint8_t> data = Encoded(bag);
  const std::vector<std::string> keys = bag.Keys();
  // Every proper prefix fails. A cut that leaves too few bytes for the stated count fails in
  // the header; any other cut fails at the entry it falls in, keeping the entries before it.
  for (size_t cut = 0; cut < data.size(); ++cut) {
    PropertyBag::Decoded d = PropertyBag::Decode(data.data(), cut);
    ASSERT_FALSE(d.ok) << "prefix of " << cut << " bytes decoded";
    if (cut < 10 || (cut - 10) / 8 < keys.size()) {
      EXPECT_TRUE(d.error.key.empty()) << "cut " << cut;
      EXPECT_EQ(d.bag.size(), 0u) << "cut " << cut;
      continue;
    }
    size_t entry = 0;
    while (entry + 1 < keys.size() && EntryOffset(data, entry + 1) <= cut) ++entry;
    EXPECT_EQ(d.error.index, entry) << "cut " << cut;
    ASSERT_EQ(d.bag.size(), entry) << "cut " << cut;
    for (size_t i = 0; i < entry; ++i) EXPECT_TRUE(d.bag.Has(keys[i]));
    if (cut >= EntryOffset(data, entry) + 2 + keys[entry].size()) {
      EXPECT_EQ(d.error.key, keys[entry]) << "cut " << cut;
    }
  }
  // With a count that still fits the shortened data, the failure names the cut entry.
  std::vector<uint8_t> shortened(data.begin(), data.begin() + EntryOffset(data, 5) + 3);
  WriteLe32(&shortened[6], 6);
  PropertyBag::Decoded d = PropertyBag::Decode(shortened.data(), shortened.size());
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.error.index, 5u);
  EXPECT_EQ(d.bag.size(), 5u);
  EXPECT_EQ(d.bag.ReadInt16("button", 0), 1);
}

TEST(PropertyBagDecode, CorruptEntriesNameTheirKey) {
  const std::vector<uint8_t> good = Encoded(ButtonBag());
  auto expectFailAt = [](std::vector<uint8_t> data, const std::string& key, size_t kept) {
    PropertyBag::Decoded d = PropertyBag::Decode(data.data(), data.size());
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.error.key, key) << d.error.what;
    EXPECT_EQ(d.bag.size(), kept);
  };

  // A picture whose class identifier is wrong: "a picture that is not a picture".
  std::vector<uint8_t> data = good;
  size_t at = EntryOffset(data, 2);
  data[at + 2 + 17 + 1 + 4] ^= 0xFF;
  expectFailAt(data, "backgroundpicture", 2);

  // An int16 whose length says 4.
  data = good;
  at = EntryOffset(data, 4);
  WriteLe32(&data[at + 2 + 6 + 1], 4);
  expectFailAt(data, "button", 4);

  // An unknown type byte.
  data = good;
  at = EntryOffset(data, 5);
  data[at + 2 + 4] = 99;
  expectFailAt(data, "text", 5);

  // A bool byte other than 0 or 1.
  data = good;
  at = EntryOffset(data, 7);
  data[at + 2 + 5 + 1 + 4] = 7;
  expectFailAt(data, "value", 7);

  // A value length far past the end.
  data = good;
  at = EntryOffset(data, 6);
  WriteLe32(&data[at + 2 + 6 + 1], 0xFFFFFFF0u);
  expectFailAt(data, "fcolor", 6);

  // A key repeated with another case.
  data = good;
  at = EntryOffset(data, 1);
  data[at + 2 + 7] = 'x';  // "_extenty" becomes "_Extentx", the first key in other case
  data[at + 2 + 1] = 'E';
  expectFailAt(data, "_Extentx", 1);
}

TEST(PropertyBagDecode, HeaderProblemsFailBeforeAnyEntry) {
  std::vector<uint8_t> data = Encoded(ButtonBag());
  std::vector<uint8_t> bad = data;
  bad[0] = 'X';
  EXPECT_EQ(PropertyBag::Decode(bad.data(), bad.size()).error.what, "not a property bag");
  bad = data;
  bad[4] = 2;
  EXPECT_FALSE(PropertyBag::Decode(bad.data(), bad.size()).ok);
  // A huge count is refused before anything is reserved for it.
  bad = data;
  WriteLe32(&bad[6], 0xFFFFFFFFu);
  PropertyBag::Decoded d = PropertyBag::Decode(bad.data(), bad.size());
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.bag.size(), 0u);
  // Trailing bytes after the last entry.
  bad = data;
  bad.push_back(0);
  d = PropertyBag::Decode(bad.data(), bad.size());
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.bag.size(), 8u);
  EXPECT_EQ(PropertyBag::Decode(nullptr, 0).ok, false);
}
